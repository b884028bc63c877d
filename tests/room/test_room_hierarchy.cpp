#include "room/room_entity_store.h"
#include "room/room_hierarchy.h"
#include "support/test_main.h"

#include <QElapsedTimer>

#include <functional>

namespace {

// One held room; the arguments in the order a table row gives them.
struct RoomSpec
{
    RoomSpec(QString id_ = {}, QString parent_ = {}, QStringList children_ = {}, bool allowSubRoomBroadcast_ = true,
             QHash<QString, RoomChildOverride> overrides_ = {}, int bitrate_ = 0, QStringList present_ = {})
        : id(std::move(id_))
        , parent(std::move(parent_))
        , children(std::move(children_))
        , allowSubRoomBroadcast(allowSubRoomBroadcast_)
        , overrides(std::move(overrides_))
        , bitrate(bitrate_)
        , present(std::move(present_))
    {}

    QString id;
    QString parent;
    QStringList children;
    bool allowSubRoomBroadcast = true;
    QHash<QString, RoomChildOverride> overrides;
    int bitrate = 0;
    QStringList present;
};

// Retains each room and fills its public part.
void hold(RoomEntityStore &store, const QList<RoomSpec> &rooms)
{
    QList<RoomUpdate> batch;
    for (const RoomSpec &spec : rooms) {
        store.retain(spec.id);
        RoomPublicSnapshot snapshot;
        snapshot.name = spec.id.toUpper();
        snapshot.state.parentRoomId = spec.parent;
        snapshot.state.childRoomIds = spec.children;
        snapshot.state.allowSubRoomBroadcast = spec.allowSubRoomBroadcast;
        snapshot.state.childOverrides = spec.overrides;
        snapshot.state.bitrate = spec.bitrate;
        snapshot.state.present = spec.present;
        batch.append({spec.id, snapshot});
    }
    store.applySnapshots(batch);
}

QStringList nodeIds(const QList<RoomNode> &nodes)
{
    QStringList ids;
    for (const RoomNode &node : nodes)
        ids.append(node.roomId);
    return ids;
}

QString blockedText(const QList<RoomNode> &nodes)
{
    QStringList items;
    for (const RoomNode &node : nodes)
        items.append(node.roomId + (node.broadcastBlocked ? QStringLiteral("=blocked") : QStringLiteral("=open")));
    return items.join(u',');
}

RoomChildOverride childOverride(std::optional<bool> allow, std::optional<bool> chat = std::nullopt)
{
    return RoomChildOverride{allow, chat};
}

} // namespace

Q_DECLARE_METATYPE(RoomSpec)
Q_DECLARE_METATYPE(std::optional<bool>)

class RoomHierarchyTest : public QObject
{
    Q_OBJECT

private slots:
    void related_data()
    {
        QTest::addColumn<QList<RoomSpec>>("rooms");
        QTest::addColumn<QString>("roomId");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("empty id") << QList<RoomSpec>{} << "" << QStringList{};
        QTest::newRow("room not held") << QList<RoomSpec>{} << "r" << QStringList{"r"};
        QTest::newRow("room alone") << QList<RoomSpec>{{"r"}} << "r" << QStringList{"r"};
        QTest::newRow("children, parent, siblings") << QList<RoomSpec>{{"r", "p", {"c1", "c2"}}, {"p", "", {"r", "c3"}}}
                                                    << "r" << QStringList{"r", "c1", "c2", "p", "c3"};
        QTest::newRow("parent not held") << QList<RoomSpec>{{"r", "p", {"c1"}}} << "r" << QStringList{"r", "c1", "p"};
        QTest::newRow("parent among its children") << QList<RoomSpec>{{"r", "p", {"p", "c1"}}, {"p", "", {"r", "c2"}}}
                                                   << "r" << QStringList{"r", "p", "c1", "c2"};
        QTest::newRow("empty and repeated children")
            << QList<RoomSpec>{{"r", "", {"c1", "", "c1", "r"}}} << "r" << QStringList{"r", "c1"};
        QTest::newRow("case matters") << QList<RoomSpec>{{"r", "", {"R", "c"}}} << "r" << QStringList{"r", "R", "c"};
    }

    void related()
    {
        QFETCH(QList<RoomSpec>, rooms);
        QFETCH(QString, roomId);
        QFETCH(QStringList, expected);
        RoomEntityStore store;
        hold(store, rooms);
        QCOMPARE(relatedRoomIds(store, roomId), expected);
        QCOMPARE(relatedRoomIds(&store, roomId), expected);
    }

    // A parent with 40,000 children, each listed twice: every id once, in order, and in
    // linear time (a walk that searched the list for each id took seconds here).
    void largeFamilyIsWalkedOnceEach()
    {
        QStringList children;
        QStringList expected{"c-0", "p"};
        for (int i = 0; i < 20000; ++i) {
            const QString id = QStringLiteral("c-%1").arg(i);
            children << id << id;
            if (i > 0)
                expected << id;
        }
        RoomEntityStore store;
        hold(store, {{"c-0", "p"}, {"p", "", children}});
        QElapsedTimer timer;
        timer.start();
        const QStringList ids = relatedRoomIds(store, "c-0");
        const qint64 elapsedMs = timer.elapsed();
        QCOMPARE(ids, expected);
        // Linear takes about a millisecond; the bound leaves room for slow and sanitised builds.
        QVERIFY2(elapsedMs < 250, qPrintable(QStringLiteral("took %1 ms").arg(elapsedMs)));
    }

    void nullStoreGivesEmptyResults()
    {
        const RoomEntityStore *none = nullptr;
        QVERIFY(relatedRoomIds(none, "r").isEmpty());
        const RoomHierarchy hierarchy = buildRoomHierarchy(none, "r");
        QCOMPARE(hierarchy.hasParent, false);
        QVERIFY(hierarchy.children.isEmpty() && hierarchy.siblings.isEmpty());
        QCOMPARE(subroomBroadcastAllowed(none, "r"), std::optional<bool>());
        QCOMPARE(parentRoomBitrate(none, "r"), 0);
    }

    void hierarchyOfARoomNotHeld()
    {
        RoomEntityStore store;
        hold(store, {{"p", "", {"r"}}});
        const RoomHierarchy hierarchy = buildRoomHierarchy(store, "r");
        QCOMPARE(hierarchy.hasParent, false);
        QVERIFY(hierarchy.parent.roomId.isEmpty());
        QVERIFY(hierarchy.siblings.isEmpty());
        QVERIFY(hierarchy.children.isEmpty());
    }

    void hierarchyWithParentNotHeld()
    {
        RoomEntityStore store;
        hold(store, {{"r", "p", {"c1"}}});
        const RoomHierarchy hierarchy = buildRoomHierarchy(&store, "r");
        QCOMPARE(hierarchy.hasParent, true);
        QCOMPARE(hierarchy.parent.roomId, QStringLiteral("p"));
        QVERIFY(hierarchy.parent.name.isEmpty());
        QVERIFY(hierarchy.parent.present.isEmpty());
        QCOMPARE(hierarchy.parent.broadcastBlocked, false);
        QVERIFY(hierarchy.siblings.isEmpty());
        QCOMPARE(nodeIds(hierarchy.children), QStringList{"c1"});
    }

    void fullHierarchy()
    {
        RoomEntityStore store;
        hold(store, {{"r", "p", {"c1", "c2"}, false, {{"c1", childOverride(true)}}},
                     {"p", "", {"s1", "r", "s2"}, true, {{"s2", childOverride(false)}}, 0, {"pu"}},
                     {"c1", "r", {}, true, {}, 0, {"u1", "u2"}},
                     {"s1", "p"}});
        const RoomHierarchy hierarchy = buildRoomHierarchy(store, "r");
        QCOMPARE(hierarchy.hasParent, true);
        QCOMPARE(hierarchy.parent.roomId, QStringLiteral("p"));
        QCOMPARE(hierarchy.parent.name, QStringLiteral("P"));
        QCOMPARE(hierarchy.parent.present, QStringList{"pu"});
        QCOMPARE(hierarchy.parent.broadcastBlocked, false);
        QCOMPARE(hierarchy.parent.childOverride, RoomChildOverride());
        // Siblings in the parent's order without the room itself; the one that is not
        // held still has a node with the parent's verdict on it.
        QCOMPARE(blockedText(hierarchy.siblings), QStringLiteral("s1=open,s2=blocked"));
        QCOMPARE(hierarchy.siblings.at(0).name, QStringLiteral("S1"));
        QVERIFY(hierarchy.siblings.at(1).name.isEmpty());
        QCOMPARE(hierarchy.siblings.at(1).childOverride, childOverride(false));
        // Children: c1 opened by its override against the room's closed setting; c2
        // (not held) falls under the setting.
        QCOMPARE(blockedText(hierarchy.children), QStringLiteral("c1=open,c2=blocked"));
        QCOMPARE(hierarchy.children.at(0).present, (QStringList{"u1", "u2"}));
        QVERIFY(hierarchy.children.at(1).present.isEmpty());
    }

    void broadcast_data()
    {
        QTest::addColumn<bool>("parentAllows");
        QTest::addColumn<std::optional<bool>>("allowBroadcast");
        QTest::addColumn<std::optional<bool>>("allowChat");
        QTest::addColumn<bool>("allowed");

        const std::optional<bool> unset;
        QTest::newRow("setting on, no override") << true << unset << unset << true;
        QTest::newRow("setting off, no override") << false << unset << unset << false;
        QTest::newRow("override opens") << false << std::optional<bool>(true) << unset << true;
        QTest::newRow("override closes") << true << std::optional<bool>(false) << unset << false;
        QTest::newRow("chat-only override, setting off") << false << unset << std::optional<bool>(true) << false;
        QTest::newRow("chat-only override, setting on") << true << unset << std::optional<bool>(false) << true;
    }

    // The one broadcasting rule, as the node of the child and as the sub-room question.
    void broadcast()
    {
        QFETCH(bool, parentAllows);
        QFETCH(std::optional<bool>, allowBroadcast);
        QFETCH(std::optional<bool>, allowChat);
        QFETCH(bool, allowed);

        QHash<QString, RoomChildOverride> overrides;
        if (allowBroadcast || allowChat)
            overrides.insert("c", childOverride(allowBroadcast, allowChat));
        RoomEntityStore store;
        hold(store, {{"p", "", {"c", "other"}, parentAllows, overrides, 96000}, {"c", "p"}, {"other", "p"}});

        const RoomHierarchy hierarchy = buildRoomHierarchy(store, "p");
        QCOMPARE(hierarchy.children.at(0).broadcastBlocked, !allowed);
        QCOMPARE(hierarchy.children.at(0).childOverride.allowChat, allowChat);
        // A child without an override always follows the setting.
        QCOMPARE(hierarchy.children.at(1).broadcastBlocked, !parentAllows);
        QCOMPARE(subroomBroadcastAllowed(store, "c"), std::optional<bool>(allowed));
        QCOMPARE(subroomBroadcastAllowed(&store, "c"), std::optional<bool>(allowed));
        QCOMPARE(buildRoomHierarchy(store, "c").siblings.at(0).broadcastBlocked, !parentAllows);
        QCOMPARE(parentRoomBitrate(store, "c"), 96000);
        QCOMPARE(parentRoomBitrate(&store, "c"), 96000);
    }

    void withoutHeldParent()
    {
        RoomEntityStore store;
        hold(store, {{"top", "", {}, false, {}, 64000}, {"orphan", "gone"}});
        QCOMPARE(subroomBroadcastAllowed(store, "top"), std::optional<bool>());
        QCOMPARE(parentRoomBitrate(store, "top"), 0);
        QCOMPARE(subroomBroadcastAllowed(store, "orphan"), std::optional<bool>());
        QCOMPARE(parentRoomBitrate(store, "orphan"), 0);
        QCOMPARE(subroomBroadcastAllowed(store, "unknown"), std::optional<bool>());
        QCOMPARE(parentRoomBitrate(store, "unknown"), 0);
    }

    void nodeMarksWhoMayNotSpeak()
    {
        RoomEntityStore store;
        RoomEntity *room = store.retain("r");
        QVERIFY(room);
        RoomPublicSnapshot snapshot;
        snapshot.name = "room";
        snapshot.state.present = {"muted", "speaker", "silent", "gone"};
        snapshot.state.disconnected = {"gone"};
        snapshot.state.voiceMuted = {"muted"};
        snapshot.state.memberRoles = {{"muted", 1}, {"speaker", 1}, {"silent", 2}};
        RoomAclRole speaker{1, "speaker", 1, {"core.room.speak"}, false};
        RoomAclRole listener{2, "listener", 0, {}, true};
        snapshot.state.roles = {speaker, listener};
        store.applySnapshots({{"r", snapshot}});

        const RoomNode node = buildRoomNode(store, "r", nullptr);
        QCOMPARE(node.roomId, QStringLiteral("r"));
        QCOMPARE(node.name, QStringLiteral("room"));
        QCOMPARE(node.present, (QStringList{"muted", "speaker", "silent", "gone"}));
        // Voice-muted despite the role, a role without the key, no role at all.
        QCOMPARE(node.speechBlocked, (QSet<QString>{"muted", "silent", "gone"}));
        QCOMPARE(node.disconnected, QSet<QString>{"gone"});
        QCOMPARE(node.broadcastBlocked, false);
    }
};

KESTOVA_TEST_MAIN(RoomHierarchyTest)
#include "test_room_hierarchy.moc"
