#include "ui/login/login_form.h"
#include "ui/login/login_window.h"

#include "theme/style_helpers.h"
#include "theme/theme_palette.h"
#include "ui/frame/window_title_bar.h"

#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>

// Shows the login window on a real (virtual) display, saves what the screen shows and
// checks its size and a few colours against the palette.
class LoginWindowPictureTest : public QObject
{
    Q_OBJECT

private slots:
    void picture();
};

void LoginWindowPictureTest::picture()
{
    QFile sheet(QStringLiteral(":/minimal-theme.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    qApp->setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));

    LoginWindow window;
    window.move(40, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(window.size(), QSize(800, 600));

    QImage image;
    // The compositor-free display needs a moment to paint; wait until the body is white.
    QTRY_VERIFY_WITH_TIMEOUT((image = window.screen()->grabWindow(window.winId()).toImage(),
                              image.size() == QSize(800, 600)
                                  && image.pixel(400, 200) == ThemePalette::color("white").rgb()),
                             5000);
    QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
    QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/login_window.png")));

    // Title bar in panelBg with its border line; body white; the disabled login button grey.
    QCOMPARE(image.pixel(400, 10), ThemePalette::color("panelBg").rgb());
    QCOMPARE(image.pixel(400, 39), ThemePalette::color("border").rgb());
    QPushButton *login = window.form()->loginButton();
    const QPoint inside = login->mapTo(&window, QPoint(4, login->height() / 2));
    QCOMPARE(image.pixel(inside), ThemePalette::color("overlayBg").rgb());
    // The status strip along the bottom edge is white with a divider line on top.
    QCOMPARE(image.pixel(400, 600 - 24), ThemePalette::color("divider").rgb());
}

KESTOVA_TEST_MAIN(LoginWindowPictureTest)
#include "test_login_window_picture.moc"
