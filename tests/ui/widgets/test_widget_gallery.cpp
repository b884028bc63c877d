#include "ui/widgets/hint_tip.h"
#include "ui/widgets/level_meter.h"
#include "ui/widgets/section_divider.h"
#include "ui/widgets/segmented_control.h"
#include "ui/widgets/volume_control.h"

#include "theme/style_helpers.h"
#include "theme/theme_palette.h"
#include "theme/tinted_icon.h"

#include "support/test_main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleFactory>

// Lays out the basic widgets and the themed standard widgets on one page, checks a
// few of its colours and saves it as a picture for a person to look at.
class WidgetGalleryTest : public QObject
{
    Q_OBJECT

private slots:
    void gallery();
};

void WidgetGalleryTest::gallery()
{
    QFile sheet(QStringLiteral(":/minimal-theme.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    qApp->setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));

    QWidget page;
    page.setAttribute(Qt::WA_StyledBackground);
    page.setObjectName(QStringLiteral("gallery"));
    page.setStyleSheet(style::resolveTheme(QStringLiteral("#gallery { background: @panelBg@; }")));
    auto *grid = new QGridLayout(&page);
    grid->setSpacing(10);
    int row = 0;

    grid->addWidget(new SectionDivider(QStringLiteral("基础控件"), &page), row++, 0, 1, 4);

    auto *segments = new SegmentedControl(&page);
    segments->addSegment(QStringLiteral("关闭"), QStringLiteral("off"), QColor());
    segments->addSegment(QStringLiteral("宽松"), QStringLiteral("loose"), ThemePalette::color("stateMid"));
    segments->addSegment(QStringLiteral("严格"), QStringLiteral("strict"), ThemePalette::color("stateStrict"));
    segments->setValue(QStringLiteral("loose"));
    auto *disabledSegments = new SegmentedControl(&page);
    disabledSegments->addSegment(QStringLiteral("自由"), QStringLiteral("a"), QColor());
    disabledSegments->addSegment(QStringLiteral("按键"), QStringLiteral("b"), QColor());
    disabledSegments->setEnabled(false);
    auto *tip = new HintTip(&page);
    tip->setText(QStringLiteral("说明"));
    grid->addWidget(segments, row, 0);
    grid->addWidget(disabledSegments, row, 1);
    grid->addWidget(tip, row++, 2);

    auto *volume = new VolumeControl(true, &page);
    volume->setGainDb(6);
    volume->setLevel(-9.0);
    grid->addWidget(volume, row, 0, 1, 2);
    auto *meter = new LevelMeter(&page);
    meter->setLevel(-30.0);
    grid->addWidget(meter, row++, 2, 1, 2);

    grid->addWidget(new SectionDivider(QStringLiteral("按钮"), &page), row++, 0, 1, 4);
    int column = 0;
    for (const char *variant : {"", "primary", "success", "danger", "link", "linkDanger", "outline", "ghost"}) {
        auto *button = new QPushButton(QString::fromLatin1(*variant ? variant : "plain"), &page);
        style::setStyleProperty(button, "variant", variant);
        grid->addWidget(button, row + column / 4, column % 4);
        ++column;
    }
    row += 2;
    for (const char *state : {"off", "primary", "primaryHold", "danger"}) {
        auto *button = new QPushButton(QString::fromLatin1(state), &page);
        style::setStyleProperty(button, "console", "true");
        style::setStyleProperty(button, "state", state);
        grid->addWidget(button, row, column++ % 4);
    }
    ++row;

    grid->addWidget(new SectionDivider(QStringLiteral("图标"), &page), row++, 0, 1, 4);
    auto *icons = new QWidget(&page);
    auto *iconRow = new QHBoxLayout(icons);
    for (const char *name : {"gear", "power", "smile", "image", "compose", "bold", "italic", "underline",
                             "strikethrough", "code", "quote", "eye-off", "plus", "eye", "trash"}) {
        auto *label = new QLabel(icons);
        const QIcon icon = makeTintedIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)),
                                          ThemePalette::color("text"), ThemePalette::color("textFaint"), 16);
        label->setPixmap(icon.pixmap(16, 16));
        iconRow->addWidget(label);
    }
    auto *appIcon = new QLabel(icons);
    appIcon->setPixmap(QIcon(QStringLiteral(":/icons/icon.ico")).pixmap(32, 32));
    iconRow->addWidget(appIcon);
    grid->addWidget(icons, row++, 0, 1, 4);

    auto *edit = new QLineEdit(QStringLiteral("输入"), &page);
    auto *errorEdit = new QLineEdit(QStringLiteral("错误"), &page);
    style::setStyleProperty(errorEdit, "state", "error");
    auto *check = new QCheckBox(QStringLiteral("已选"), &page);
    check->setChecked(true);
    auto *combo = new QComboBox(&page);
    combo->addItems({QStringLiteral("48 kbps"), QStringLiteral("64 kbps")});
    grid->addWidget(edit, row, 0);
    grid->addWidget(errorEdit, row, 1);
    grid->addWidget(check, row, 2);
    grid->addWidget(combo, row++, 3);
    auto *hint = new QLabel(QStringLiteral("提示文字"), &page);
    hint->setProperty("role", QStringLiteral("hint"));
    auto *error = new QLabel(QStringLiteral("操作失败"), &page);
    error->setProperty("role", QStringLiteral("error"));
    grid->addWidget(hint, row, 0);
    grid->addWidget(error, row++, 1);

    page.resize(560, page.sizeHint().height());
    page.show();
    const QImage image = page.grab().toImage();

    QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
    QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/basic_widgets.png")));

    // The selected segment shows its accent; the meter shows green at its left end.
    const QPoint selected = segments->mapTo(&page, QPoint(segments->segments().at(1).x + 3, 3));
    QCOMPARE(image.pixel(selected), ThemePalette::color("stateMid").rgb());
    const QPoint meterLeft = volume->meter()->mapTo(&page, QPoint(1, 3));
    QCOMPARE(image.pixel(meterLeft), ThemePalette::color("success").rgb());
    int checkedFill = 0;
    for (int y = 0; y < check->height(); ++y)
        for (int x = 0; x < 18; ++x)
            checkedFill += image.pixel(check->mapTo(&page, QPoint(x, y))) == ThemePalette::color("primary").rgb();
    QVERIFY(checkedFill > 40);
}

KESTOVA_TEST_MAIN(WidgetGalleryTest)
#include "test_widget_gallery.moc"
