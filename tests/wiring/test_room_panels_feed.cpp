#include "wiring/room_panels_feed.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

class TestRoomPanelsFeed : public QObject
{
    Q_OBJECT

private slots:
    void manyChangesInOneTurnRebuildOnce();
    void unchangedInputsDoNotRebuild();
    void tickFollowsTheAssemblerAndComesWithoutOne();
};

void TestRoomPanelsFeed::manyChangesInOneTurnRebuildOnce()
{
    wiring::RoomPanelsFeed feed;
    int assembled = 0;
    QStringList seenSpeakers;
    feed.setAssembler([&] {
        ++assembled;
        seenSpeakers = feed.ownSpeakers();
    });
    for (int i = 0; i < 1000; ++i) {
        feed.markDirty();
        feed.setOwnSpeakers({QStringLiteral("u%1").arg(i)});
        feed.setParentSpeakers({QStringLiteral("p%1").arg(i)});
        feed.setParentBroadcastAllowed(i % 2 == 0);
    }
    QCOMPARE(assembled, 0);
    QVERIFY(feed.isDirty());
    QTRY_COMPARE(assembled, 1);
    // The rebuild reads the state as it is on that turn.
    QCOMPARE(seenSpeakers, QStringList{"u999"});
    QCOMPARE(feed.parentSpeakers(), QStringList{"p999"});
    QCOMPARE(feed.parentBroadcastAllowed(), false);
    QCoreApplication::processEvents();
    QCOMPARE(assembled, 1);
    QVERIFY(!feed.isDirty());
}

void TestRoomPanelsFeed::unchangedInputsDoNotRebuild()
{
    wiring::RoomPanelsFeed feed;
    QVERIFY(feed.parentBroadcastAllowed());
    feed.setParentBroadcastAllowed(true);
    feed.setOwnSpeakers({});
    feed.setParentSpeakers({});
    QVERIFY(!feed.isDirty());

    feed.setOwnSpeakers({"a", "b"});
    QVERIFY(feed.isDirty());
    QTRY_VERIFY(!feed.isDirty());
    feed.setOwnSpeakers({"a", "b"});
    QVERIFY(!feed.isDirty());
    // Order counts: the same ids in another order are a change.
    feed.setOwnSpeakers({"b", "a"});
    QVERIFY(feed.isDirty());
    QTRY_VERIFY(!feed.isDirty());

    feed.setParentBroadcastAllowed(false);
    QVERIFY(feed.isDirty());
    QTRY_VERIFY(!feed.isDirty());
    feed.setParentBroadcastAllowed(false);
    QVERIFY(!feed.isDirty());
}

void TestRoomPanelsFeed::tickFollowsTheAssemblerAndComesWithoutOne()
{
    wiring::RoomPanelsFeed bare;
    QSignalSpy bareTicks(&bare, &wiring::RoomPanelsFeed::assembleTicked);
    bare.markDirty();
    QTRY_COMPARE(bareTicks.size(), 1);

    wiring::RoomPanelsFeed feed;
    QStringList order;
    feed.setAssembler([&order] { order << "assemble"; });
    connect(&feed, &wiring::RoomPanelsFeed::assembleTicked, this, [&order] { order << "tick"; });
    feed.markDirty();
    feed.markDirty();
    QTRY_COMPARE(order, (QStringList{"assemble", "tick"}));
}

QTEST_GUILESS_MAIN(TestRoomPanelsFeed)
#include "test_room_panels_feed.moc"
