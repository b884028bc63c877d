#include "ui/dialogs/startup_retry_dialog.h"
#include "ui/dialogs/update_progress_dialog.h"

#include "support/test_main.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

class StartupDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void progressClamps_data();
    void progressClamps();
    void retryToggles();
    void closingTheRetryDialogQuits();
};

void StartupDialogsTest::progressClamps_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("shown");
    QTest::newRow("below") << -5 << 0;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("middle") << 42 << 42;
    QTest::newRow("full") << 100 << 100;
    QTest::newRow("above") << 150 << 100;
}

void StartupDialogsTest::progressClamps()
{
    QFETCH(int, percent);
    QFETCH(int, shown);
    UpdateProgressDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("更新"));
    QCOMPARE(dialog.size(), QSize(360, 96));
    QVERIFY(!dialog.findChild<QProgressBar *>()->isTextVisible());
    dialog.setDownloadPercent(percent);
    QCOMPARE(dialog.percent(), shown);
}

void StartupDialogsTest::retryToggles()
{
    StartupRetryDialog dialog;
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("连接服务器"));
    QSignalSpy retry(&dialog, &StartupRetryDialog::retryRequested);
    dialog.showRetry();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.message(), QStringLiteral("无法连接服务器 😥\n请检查网络后重试"));

    dialog.retry()->click();
    QCOMPARE(retry.count(), 1);
    QCOMPARE(dialog.message(), QStringLiteral("连接中…"));
    QVERIFY(!dialog.retry()->isEnabled());
    dialog.retry()->click(); // disabled: a second click is impossible
    QCOMPARE(retry.count(), 1);

    dialog.showRetry(); // the gate failed again
    QVERIFY(dialog.retry()->isEnabled());
    QCOMPARE(dialog.message(), QStringLiteral("无法连接服务器 😥\n请检查网络后重试"));
}

void StartupDialogsTest::closingTheRetryDialogQuits()
{
    StartupRetryDialog dialog;
    dialog.showRetry();
    // Closing quits the application's event loop with code 0 (7 would mean it kept running).
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.close(); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(7); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!dialog.isVisible());
}

KESTOVA_TEST_MAIN(StartupDialogsTest)
#include "test_startup_dialogs.moc"
