#include "theme/style_helpers.h"
#include "theme/theme_palette.h"

#include "support/log_capture.h"
#include "support/test_main.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QVBoxLayout>

namespace {

QString shippedSheet()
{
    QFile file(QStringLiteral(":/minimal-theme.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QColor pixelAt(QWidget *widget, QPoint point)
{
    return widget->grab().toImage().pixelColor(point);
}

QColor centre(QWidget *widget)
{
    return pixelAt(widget, QPoint(widget->width() / 2, widget->height() / 2));
}

using Properties = QList<QPair<QByteArray, QString>>;

} // namespace

class StyleSheetTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void resolve_data();
    void resolve();
    void unknownPlaceholderIsLoggedOnce();
    void shippedSheetHoldsOnlyPlaceholders();
    void setStylePropertySetsRemovesAndRepolishes();
    void buttonLooks_data();
    void buttonLooks();
    void labelRoles_data();
    void labelRoles();
    void styledContainers();
    void errorBorderSurvivesFocus();
};

void StyleSheetTest::initTestCase()
{
    const QString sheet = shippedSheet();
    QVERIFY(!sheet.isEmpty());
    qApp->setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    qApp->setStyleSheet(style::resolveTheme(sheet));
}

void StyleSheetTest::resolve_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("token") << "@primary@"
                           << "#52b788";
    QTest::newRow("capital P") << "@Primary@"
                               << "@Primary@";
    QTest::newRow("not a token") << "color: @nope@;"
                                 << "color: @nope@;";
    QTest::newRow("lone at") << "a @ b"
                             << "a @ b";
    QTest::newRow("prefix of a longer token") << "@primary@ @primaryText@"
                                              << "#52b788 #006945";
    QTest::newRow("adjacent") << "@text@@base@"
                              << "#3d413f#fbfcfb";
    QTest::newRow("repeated") << "@danger@,@danger@"
                              << "#ff0000,#ff0000";
    QTest::newRow("no placeholder") << "QLabel { color: red; }"
                                    << "QLabel { color: red; }";
    QTest::newRow("empty") << ""
                           << "";
}

void StyleSheetTest::resolve()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(style::resolveTheme(input), expected);
}

void StyleSheetTest::unknownPlaceholderIsLoggedOnce()
{
    testsupport::LogCapture log;
    QCOMPARE(style::resolveTheme(QStringLiteral("a:@tpyoColour@; b:@primary@")),
             QStringLiteral("a:@tpyoColour@; b:#52b788"));
    QCOMPARE(style::resolveTheme(QStringLiteral("@tpyoColour@ @tpyoColour@")),
             QStringLiteral("@tpyoColour@ @tpyoColour@"));
    QCOMPARE(log.count(QStringLiteral("ui"), QStringLiteral("tpyoColour")), 1);
    style::resolveTheme(QStringLiteral("@otherTypo@"));
    QCOMPARE(log.count(QStringLiteral("ui"), QStringLiteral("otherTypo")), 1);
    // A lone "@" is not a placeholder and is not reported.
    style::resolveTheme(QStringLiteral("mail@host"));
    QCOMPARE(log.count(QStringLiteral("ui"), QStringLiteral("host")), 0);
}

void StyleSheetTest::shippedSheetHoldsOnlyPlaceholders()
{
    const QString sheet = shippedSheet();
    static const QRegularExpression placeholder(QStringLiteral("@([^@\\s]*)@"));
    int seen = 0;
    for (auto it = placeholder.globalMatch(sheet); it.hasNext();) {
        const QString name = it.next().captured(1);
        QVERIFY2(ThemePalette::instance().colors().contains(name.toLatin1()), qPrintable(name));
        ++seen;
    }
    QVERIFY(seen > 100);
    const QString resolved = style::resolveTheme(sheet);
    QVERIFY(!resolved.contains(QLatin1Char('@')));
    // The sheet carries no colour of its own.
    QVERIFY(!sheet.contains(QRegularExpression(QStringLiteral("#[0-9a-fA-F]{3,8}\\b"))));
    QVERIFY(!sheet.contains(QStringLiteral("rgb")));
}

void StyleSheetTest::setStylePropertySetsRemovesAndRepolishes()
{
    QPushButton button;
    button.resize(80, 30);
    button.show();
    QCOMPARE(centre(&button).rgb(), ThemePalette::color("controlBg").rgb());

    style::setStyleProperty(&button, "variant", "primary");
    QCOMPARE(button.property("variant"), QVariant(QStringLiteral("primary")));
    QCOMPARE(centre(&button).rgb(), ThemePalette::color("primary").rgb());

    style::setStyleProperty(&button, "variant", "danger");
    QCOMPARE(centre(&button).rgb(), ThemePalette::color("danger").rgb());

    style::setStyleProperty(&button, "variant", "");
    QVERIFY(!button.property("variant").isValid());
    QVERIFY(!button.dynamicPropertyNames().contains("variant"));
    QCOMPARE(centre(&button).rgb(), ThemePalette::color("controlBg").rgb());

    style::setStyleProperty(&button, "variant", "success");
    style::setStyleProperty(&button, "variant", nullptr);
    QVERIFY(!button.property("variant").isValid());
    QCOMPARE(centre(&button).rgb(), ThemePalette::color("controlBg").rgb());
}

void StyleSheetTest::buttonLooks_data()
{
    QTest::addColumn<Properties>("properties");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QByteArray>("background");

    const Properties console{{"console", "true"}};
    QTest::newRow("plain") << Properties{} << false << true << QByteArray("controlBg");
    QTest::newRow("plain checked") << Properties{} << true << true << QByteArray("selectBg");
    QTest::newRow("checked danger") << Properties{{"checkedVariant", "danger"}} << true << true << QByteArray("danger");
    QTest::newRow("plain disabled") << Properties{} << false << false << QByteArray("overlayBg");
    QTest::newRow("primary") << Properties{{"variant", "primary"}} << false << true << QByteArray("primary");
    QTest::newRow("primary disabled") << Properties{{"variant", "primary"}} << false << false
                                      << QByteArray("overlayBg");
    QTest::newRow("success") << Properties{{"variant", "success"}} << false << true << QByteArray("success");
    QTest::newRow("danger") << Properties{{"variant", "danger"}} << false << true << QByteArray("danger");
    QTest::newRow("card") << Properties{{"variant", "card"}} << false << true << QByteArray("inputBg");
    QTest::newRow("card checked") << Properties{{"variant", "card"}} << true << true << QByteArray("selectBg");
    QTest::newRow("console") << console << false << true << QByteArray("inputBg");
    QTest::newRow("console disabled") << console << false << false << QByteArray("controlBg");
    QTest::newRow("console off") << (console + Properties{{"state", "off"}}) << false << true
                                 << QByteArray("textFaint");
    QTest::newRow("console primary") << (console + Properties{{"state", "primary"}}) << false << true
                                     << QByteArray("primary");
    QTest::newRow("console hold") << (console + Properties{{"state", "primaryHold"}}) << false << true
                                  << QByteArray("primaryPressed");
    QTest::newRow("console danger") << (console + Properties{{"state", "danger"}}) << false << true
                                    << QByteArray("danger");
    // The danger state rule follows the disabled rule, so a disabled red button stays red.
    QTest::newRow("console danger disabled")
        << (console + Properties{{"state", "danger"}}) << false << false << QByteArray("danger");
    QTest::newRow("console primary disabled")
        << (console + Properties{{"state", "primary"}}) << false << false << QByteArray("controlBg");
}

void StyleSheetTest::buttonLooks()
{
    QFETCH(Properties, properties);
    QFETCH(bool, checked);
    QFETCH(bool, enabled);
    QFETCH(QByteArray, background);

    QPushButton button;
    button.resize(90, 40);
    button.setCheckable(checked);
    button.setChecked(checked);
    button.setEnabled(enabled);
    button.show();
    for (const auto &[name, value] : properties)
        style::setStyleProperty(&button, name.constData(), value.toLatin1().constData());
    QCOMPARE(centre(&button).name(), ThemePalette::color(background.constData()).name());
}

void StyleSheetTest::labelRoles_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<QByteArray>("colour");
    QTest::newRow("none") << QString() << QByteArray("text");
    QTest::newRow("secondary") << "secondary" << QByteArray("textSub");
    QTest::newRow("hint") << "hint" << QByteArray("textMuted");
    QTest::newRow("placeholder") << "placeholder" << QByteArray("textMuted");
    QTest::newRow("error") << "error" << QByteArray("dangerText");
    QTest::newRow("ok") << "ok" << QByteArray("successText");
}

void StyleSheetTest::labelRoles()
{
    QFETCH(QString, role);
    QFETCH(QByteArray, colour);
    QLabel label(QStringLiteral("状态"));
    label.show();
    style::setStyleProperty(&label, "role", role.toLatin1().constData());
    QCOMPARE(label.palette().color(QPalette::WindowText).rgb(), ThemePalette::color(colour.constData()).rgb());
}

void StyleSheetTest::styledContainers()
{
    QWidget card;
    card.setAttribute(Qt::WA_StyledBackground);
    card.setProperty("role", QStringLiteral("pcard"));
    card.resize(60, 40);
    card.show();
    QCOMPARE(centre(&card).rgb(), ThemePalette::color("inputBg").rgb());
    QCOMPARE(pixelAt(&card, QPoint(0, 20)).rgb(), ThemePalette::color("border").rgb());

    QWidget separator;
    separator.setAttribute(Qt::WA_StyledBackground);
    separator.resize(60, 1);
    separator.show();
    style::setStyleProperty(&separator, "role", "rowSeparator");
    QCOMPARE(pixelAt(&separator, QPoint(30, 0)).rgb(), ThemePalette::color("divider").rgb());
}

void StyleSheetTest::errorBorderSurvivesFocus()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *edit = new QLineEdit(&window);
    auto *other = new QLineEdit(&window);
    layout->addWidget(edit);
    layout->addWidget(other);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());

    const auto border = [&] { return pixelAt(edit, QPoint(0, edit->height() / 2)).name(); };
    QCOMPARE(border(), ThemePalette::color("border").name());

    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QCOMPARE(border(), ThemePalette::color("primary").name());

    style::setStyleProperty(edit, "state", "error");
    QCOMPARE(border(), ThemePalette::color("danger").name());
    other->setFocus();
    QTRY_VERIFY(!edit->hasFocus());
    QCOMPARE(border(), ThemePalette::color("danger").name());

    style::setStyleProperty(edit, "state", nullptr);
    QCOMPARE(border(), ThemePalette::color("border").name());
}

KESTOVA_TEST_MAIN(StyleSheetTest)
#include "test_style_sheet.moc"
