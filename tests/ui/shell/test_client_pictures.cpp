// Pictures of the real windows on a virtual X display: the login window of the client
// program started against the local service, and the main window.
#include "../../server/local_service_rig.h"
#include "support/test_main.h"
#include "theme/style_helpers.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStyleFactory>

namespace {

constexpr int kWaitMs = 20000;

QString screenshotPath(const char *name)
{
    QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
    return QStringLiteral(KESTOVA_SCREENSHOT_DIR "/") + QLatin1String(name);
}

// True once the client's window has painted its white form over the black root window.
bool screenShowsWindow(QImage *image)
{
    *image = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (image->isNull())
        return false;
    const QColor centre = image->pixelColor(image->width() / 2, image->height() / 2);
    return centre.lightness() > 200;
}

} // namespace

class ClientPicturesTest : public QObject
{
    Q_OBJECT

private slots:
    void loginWindowOfTheRealClient()
    {
        servertest::ServiceRig rig;
        QVERIFY(rig.start());
        const QString url = rig.service->baseUrl();

        QProcess client;
        client.setProcessChannelMode(QProcess::SeparateChannels);
        client.start(QStringLiteral(KESTOVA_CLIENT), {"--api", url, "--assets", url});
        QVERIFY(client.waitForStarted(kWaitMs));
        QString log;
        auto read = [&] { log += QString::fromUtf8(client.readAllStandardError()); };
        QTRY_VERIFY2_WITH_TIMEOUT((read(), log.contains("startup gate passed, showing login")), qPrintable(log),
                                  kWaitMs);
        QImage screen;
        QTRY_VERIFY_WITH_TIMEOUT(screenShowsWindow(&screen), kWaitMs);
        QVERIFY(screen.save(screenshotPath("client_login_window.png")));
        QCOMPARE(client.state(), QProcess::Running);

        client.terminate();
        if (!client.waitForFinished(kWaitMs)) {
            client.kill();
            client.waitForFinished(kWaitMs);
        }
    }

    void mainWindow()
    {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
        QFile sheet(QStringLiteral(":/minimal-theme.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));

        MainWindow window{MainWindowOptions{}};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage picture = window.grab().toImage();
        QCOMPARE(picture.size(), QSize(1200, 780));
        QVERIFY(picture.save(screenshotPath("main_window.png")));
    }
};

KESTOVA_TEST_MAIN(ClientPicturesTest)
#include "test_client_pictures.moc"
