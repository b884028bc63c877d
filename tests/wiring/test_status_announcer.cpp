#include "wiring/status_announcer.h"

#include "support/test_main.h"
#include "ui/main/main_status_bar.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

namespace {

// Waits until the bar has played its queue and rests on `sticky`.
bool settles(MainStatusBar &bar, const QString &sticky = QString())
{
    return QTest::qWaitFor([&] { return bar.currentMessage() == sticky; }, 2000);
}

QString kindOf(const MainStatusBar &bar)
{
    return bar.messageLabel()->property("kind").toString();
}

} // namespace

class TestStatusAnnouncer : public QObject
{
    Q_OBJECT

private slots:
    void roomChanges_data();
    void roomChanges();
    void shortLossShowsNothing();
    void longLossIsStickyUntilBack();
};

void TestStatusAnnouncer::roomChanges_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("shown"); // one per id, empty when nothing is shown
    QTest::newRow("opened in a room, then left, then another")
        << "r1" << QStringList{"r1", "", "r2"} << QStringList{"", "已退出房间", "已加入房间"};
    QTest::newRow("opened in the lobby, then entered") << "" << QStringList{"", "r1"} << QStringList{"", "已加入房间"};
    QTest::newRow("straight from one room to another") << "r1" << QStringList{"r2"} << QStringList{"已加入房间"};
    QTest::newRow("repeats of the same room are silent") << "r1" << QStringList{"r1", "r1"} << QStringList{"", ""};
}

void TestStatusAnnouncer::roomChanges()
{
    QFETCH(QString, first);
    QFETCH(QStringList, ids);
    QFETCH(QStringList, shown);
    MainStatusBar bar;
    bar.setTimings(1, 1, 1);
    StatusAnnouncer announcer(&bar);
    announcer.setActiveRoomId(first);
    QCOMPARE(bar.currentMessage(), QString()); // the first id is only recorded
    for (int i = 0; i < ids.size(); ++i) {
        announcer.setActiveRoomId(ids.at(i));
        QCOMPARE(bar.currentMessage(), shown.at(i));
        if (!shown.at(i).isEmpty())
            QCOMPARE(kindOf(bar), QString());
        QVERIFY(settles(bar));
    }
}

void TestStatusAnnouncer::shortLossShowsNothing()
{
    MainStatusBar bar;
    bar.setTimings(1, 1, 1);
    StatusAnnouncer announcer(&bar);
    QCOMPARE(announcer.lossTimer()->interval(), 1500);
    QVERIFY(announcer.lossTimer()->isSingleShot());
    announcer.setRealtimeConnected(true); // no change: nothing
    QVERIFY(!announcer.lossTimer()->isActive());
    announcer.setRealtimeConnected(false);
    QVERIFY(announcer.lossTimer()->isActive());
    announcer.setRealtimeConnected(true);
    QVERIFY(!announcer.lossTimer()->isActive());
    QCOMPARE(bar.currentMessage(), QString());
}

void TestStatusAnnouncer::longLossIsStickyUntilBack()
{
    MainStatusBar bar;
    bar.setTimings(1, 1, 1);
    StatusAnnouncer announcer(&bar);
    announcer.lossTimer()->setInterval(1); // time passes at once
    announcer.setRealtimeConnected(false);
    // Further losses in a row do not start the wait again.
    announcer.lossTimer()->stop();
    announcer.setRealtimeConnected(false);
    QVERIFY(!announcer.lossTimer()->isActive());
    announcer.lossTimer()->start();
    QVERIFY(settles(bar, QStringLiteral("已断线，重连中")));
    QCOMPARE(kindOf(bar), QStringLiteral("danger"));

    announcer.setRealtimeConnected(true);
    QCOMPARE(bar.currentMessage(), QStringLiteral("重连成功"));
    QCOMPARE(kindOf(bar), QString());
    QVERIFY(settles(bar));
    // Back again without a loss on screen: nothing more.
    announcer.setRealtimeConnected(false);
    announcer.setRealtimeConnected(true);
    QCOMPARE(bar.currentMessage(), QString());
}

KESTOVA_TEST_MAIN(TestStatusAnnouncer)
#include "test_status_announcer.moc"
