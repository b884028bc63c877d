#include "ui/login/login_window.h"

#include "support/test_main.h"

#include <QGuiApplication>
#include <QTest>
#include <QTimer>

class LoginWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void closing_data();
    void closing();
};

void LoginWindowTest::closing_data()
{
    QTest::addColumn<bool>("tray");
    QTest::addColumn<int>("exitCode"); // 0: the close quit the client; 7: it was still running
    QTest::newRow("tray: hidden, still running") << true << 7;
    QTest::newRow("no tray: quits") << false << 0;
}

void LoginWindowTest::closing()
{
    QFETCH(bool, tray);
    QFETCH(int, exitCode);
    // As the client runs: the last window closing quits nothing by itself.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    LoginWindow window;
    window.setTrayCheck([tray] { return tray; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    bool closed = false;
    QTimer::singleShot(0, &window, [&] { closed = window.close(); });
    // Ends the loop with 7 unless the close quit it first.
    QTimer stillRunning;
    stillRunning.setSingleShot(true);
    connect(&stillRunning, &QTimer::timeout, qApp, [] { QCoreApplication::exit(7); });
    stillRunning.start(300);
    QCOMPARE(qApp->exec(), exitCode);
    QVERIFY(closed);
    QVERIFY(!window.isVisible());
}

KESTOVA_TEST_MAIN(LoginWindowTest)
#include "test_login_window.moc"
