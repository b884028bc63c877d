#include "wiring/room_panel_state.h"

#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "support/room_snapshot_builder.h"

#include <QTest>

#include <functional>

using testsupport::RoomSnapshotBuilder;

namespace {

// A store filled with snapshots as the gateway delivers them.
struct Rooms
{
    RoomEntityStore store;
    RoomEntityFeed feed{&store};

    void add(const RoomSnapshotBuilder &room)
    {
        store.retain(room.roomId());
        feed.onStreamSnapshot(room.publicTarget(), room.publicSnapshot());
    }
};

// Members who may speak, with the owner role and the member role in the role list.
RoomSnapshotBuilder room(const QString &id, const QString &name, const QStringList &present)
{
    RoomSnapshotBuilder b(id);
    b.name(name).present(present).role(-1, "owner", 100, {"core.room.speak"}).role(1, "member", 1, {"core.room.speak"});
    for (const QString &user : present)
        b.memberRole(user, 1);
    return b;
}

MyRoomEntry entry(const QString &id, bool temporary, bool loaded = true, const QString &name = {})
{
    MyRoomEntry e;
    e.roomId = id;
    e.name = name;
    e.temporary = temporary;
    e.loaded = loaded;
    return e;
}

// One line per section caption and per block:
//   id "title" (count) [tags] dot=N bold fixed open | user=name~[dots] ...
// where "~" marks a member drawn dimmed; the flags appear only when set.
QString describe(const blocks::BlockListData &data)
{
    QStringList lines;
    for (const blocks::BlockSection &section : data.sections) {
        if (!section.caption.isEmpty())
            lines << "# " + section.caption;
        for (const blocks::RoomBlockData &b : section.rooms) {
            QString line = QStringLiteral("%1 \"%2\" (%3) [%4] dot=%5")
                               .arg(b.roomId, b.title)
                               .arg(b.memberCount)
                               .arg(b.tags.join(','))
                               .arg(b.statusDot);
            if (b.bold)
                line += " bold";
            if (!b.draggable)
                line += " fixed";
            if (b.expanded)
                line += " open";
            QStringList members;
            for (const blocks::MemberRowData &m : b.members) {
                QStringList dots;
                for (int d : m.indicators)
                    dots << QString::number(d);
                members << QStringLiteral("%1=%2%3[%4]")
                               .arg(m.userId, m.name, m.disconnected ? QStringLiteral("~") : QString(), dots.join(','));
            }
            if (!members.isEmpty())
                line += " | " + members.join(' ');
            lines << line;
        }
    }
    if (lines.isEmpty())
        lines << "(empty) " + data.emptyText;
    return lines.join('\n');
}

QString upper(const QString &id)
{
    return id.toUpper();
}

using Setup = std::function<void(Rooms &, wiring::RoomPanelsInput &)>;

} // namespace

Q_DECLARE_METATYPE(Setup)

class TestRoomPanelState : public QObject
{
    Q_OBJECT

private slots:
    void currentRoomPanel_data();
    void currentRoomPanel();
    void myRoomPanel_data();
    void myRoomPanel();
    void ownerTitleIsTheLowestOwnerId();
    void memberDots_data();
    void memberDots();
    void withoutAStoreBothPanelsAreEmpty();
};

void TestRoomPanelState::currentRoomPanel_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no active room") << Setup([](Rooms &, wiring::RoomPanelsInput &) {}) << "(empty) 无当前房间";
    QTest::newRow("active room not stored yet")
        << Setup([](Rooms &, wiring::RoomPanelsInput &in) { in.activeRoomId = "r1"; })
        << "r1 \"未知的房间\" (0) [] dot=1 bold fixed open";
    QTest::newRow("members by id, speaking and dropped") << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
        rooms.add(room("r1", "Lobby", {"zed", "Amy", "bob"}).disconnected({"bob"}));
        in.activeRoomId = "r1";
        in.ownSpeakers = {"zed"};
    }) << "r1 \"Lobby\" (3) [] dot=2 bold fixed open | Amy=AMY[1] bob=BOB (掉线)~[1] zed=ZED[2]";
    QTest::newRow("voice-muted member and member without speak are blocked")
        << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
               rooms.add(room("r1", "Lobby", {"a", "b"}).mute("a", "voice").present({"a", "b", "c"}));
               in.activeRoomId = "r1";
           })
        << "r1 \"Lobby\" (3) [] dot=1 bold fixed open | a=A[3] b=B[1] c=C[3]";
    QTest::newRow("unnamed room takes the owner's name") << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
        rooms.add(room("r1", "", {"boss"}).memberRole("boss", -1));
        in.activeRoomId = "r1";
    }) << "r1 \"BOSS的房间\" (1) [] dot=1 bold fixed open | boss=BOSS[1]";
    QTest::newRow("room with children lists them after itself")
        << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
               rooms.add(room("p", "Hall", {"a"}).child("k1").child("k2").childOverride("k2", "allowBroadcast", false));
               rooms.add(room("k1", "Kid one", {"b"}).parent("p"));
               in.activeRoomId = "p";
               in.ownSpeakers = {"b"};
           })
        << "p \"Hall\" (1) [父房] dot=1 bold fixed open | a=A[1]\n"
           "k1 \"Kid one\" (1) [子房] dot=2 open | b=B[2]\n"
           "k2 \"k2\" (0) [子房] dot=3 open";
    QTest::newRow("child room: parent first, then itself with two dots, then siblings")
        << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
               rooms.add(room("p", "Hall", {"boss"}).child("me").child("sib"));
               rooms.add(room("me", "Mine", {"x", "y"}).parent("p").child("grandchild"));
               rooms.add(room("sib", "Sibling", {"s"}).parent("p"));
               in.activeRoomId = "me";
               in.ownSpeakers = {"x"};
               in.parentSpeakers = {"y", "s"};
           })
        << "p \"Hall\" (1) [父房] dot=1 fixed open | boss=BOSS[1]\n"
           "me \"Mine\" (2) [父房,子房] dot=2 bold open | x=X[1,2] y=Y[2,1]\n"
           "sib \"Sibling\" (1) [子房] dot=2 open | s=S[2]";
    QTest::newRow("parent forbids the broadcast: every first dot is blocked")
        << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
               rooms.add(room("p", "Hall", {}).child("me"));
               rooms.add(room("me", "Mine", {"x"}).parent("p"));
               in.activeRoomId = "me";
               in.parentSpeakers = {"x"};
               in.parentBroadcastAllowed = false;
           })
        << "p \"Hall\" (0) [父房] dot=1 fixed open\n"
           "me \"Mine\" (1) [子房] dot=2 bold open | x=X[3,1]";
    QTest::newRow("parent not stored: its id, no members, no siblings")
        << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
               rooms.add(room("me", "Mine", {"x"}).parent("gone"));
               in.activeRoomId = "me";
           })
        << "gone \"gone\" (0) [父房] dot=1 fixed open\n"
           "me \"Mine\" (1) [子房] dot=1 bold open | x=X[1,1]";
}

void TestRoomPanelState::currentRoomPanel()
{
    QFETCH(Setup, setup);
    QFETCH(QString, expected);
    Rooms rooms;
    wiring::RoomPanelsInput input;
    input.store = &rooms.store;
    input.displayName = upper;
    setup(rooms, input);

    const blocks::BlockListData data = wiring::buildCurrentRoomPanelState(input);
    QCOMPARE(describe(data), expected);
    QVERIFY(data.rowSeparators);
    QCOMPARE(data.hasContent, !data.sections.isEmpty());
    QCOMPARE(data.emptyText, data.sections.isEmpty() ? QStringLiteral("无当前房间") : QString());
}

void TestRoomPanelState::myRoomPanel_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing held") << Setup([](Rooms &, wiring::RoomPanelsInput &) {}) << "(empty) 无房间";
    QTest::newRow("temporary rooms need someone online and a snapshot")
        << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
               rooms.add(room("t-online", "Busy", {"a", "b"}).disconnected({"a"}));
               rooms.add(room("t-gone", "Empty", {"a"}).disconnected({"a"}));
               rooms.add(room("t-cold", "Cold", {"a"}));
               rooms.add(room("p-none", "Quiet", {}).persistent(true));
               in.rooms = {entry("t-online", true), entry("t-gone", true), entry("t-cold", true, false),
                           entry("p-none", false)};
           })
        << "# 临时房间\n"
           "t-online \"Busy\" (2) [] dot=0 | a=A (掉线)~[] b=B[]\n"
           "# 持久房间\n"
           "p-none \"Quiet\" (0) [] dot=0";
    QTest::newRow("titles in code-unit order, ties by id; unknown rooms are persistent")
        << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
               rooms.add(room("r1", "a", {}).persistent(true));
               rooms.add(room("r2", "B", {}).persistent(true));
               rooms.add(room("r4", "A", {}).persistent(true));
               rooms.add(room("r3", "A", {}).persistent(true));
               in.rooms = {entry("r1", false), entry("r2", false), entry("r4", false), entry("r3", false),
                           entry("x9", false, false, "Listed")};
           })
        << "# 持久房间\n"
           "r3 \"A\" (0) [] dot=0\n"
           "r4 \"A\" (0) [] dot=0\n"
           "r2 \"B\" (0) [] dot=0\n"
           "x9 \"Listed\" (0) [] dot=0\n"
           "r1 \"a\" (0) [] dot=0";
    QTest::newRow("active room bold and open with own dots; related rooms one dot; others none")
        << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
               rooms.add(room("me", "Mine", {"x"})
                             .persistent(true)
                             .child("kid")
                             .child("mute")
                             .childOverride("mute", "allowBroadcast", false));
               rooms.add(room("kid", "Kid", {"k"}).persistent(true).parent("me"));
               rooms.add(room("mute", "Muted kid", {"m"}).persistent(true).parent("me"));
               rooms.add(room("far", "Far", {"f"}).persistent(true));
               in.activeRoomId = "me";
               in.ownSpeakers = {"x", "k", "f"};
               in.rooms = {entry("far", false, true, "Far"), entry("kid", false), entry("me", false),
                           entry("mute", false)};
           })
        << "# 持久房间\n"
           "far \"Far\" (1) [] dot=0 | f=F[]\n"
           "kid \"Kid\" (1) [子房] dot=0 | k=K[2]\n"
           "me \"Mine\" (1) [父房] dot=0 bold open | x=X[2]\n"
           "mute \"Muted kid\" (1) [子房] dot=0 | m=M[3]";
    QTest::newRow("sibling blocked by the parent's setting shows blocked dots")
        << Setup([](Rooms &rooms, wiring::RoomPanelsInput &in) {
               rooms.add(room("p", "Hall", {})
                             .persistent(true)
                             .child("me")
                             .child("sib")
                             .setting("allowSubRoomBroadcast", false));
               rooms.add(room("me", "Mine", {"x"}).persistent(true).parent("p"));
               rooms.add(room("sib", "Sib", {"s"}).persistent(true).parent("p"));
               in.activeRoomId = "me";
               in.parentSpeakers = {"x", "s"};
               in.rooms = {entry("sib", false), entry("me", false)};
           })
        << "# 持久房间\n"
           "me \"Mine\" (1) [子房] dot=0 bold open | x=X[2,1]\n"
           "sib \"Sib\" (1) [子房] dot=0 | s=S[3]";
}

void TestRoomPanelState::myRoomPanel()
{
    QFETCH(Setup, setup);
    QFETCH(QString, expected);
    Rooms rooms;
    wiring::RoomPanelsInput input;
    input.store = &rooms.store;
    input.displayName = upper;
    setup(rooms, input);

    const blocks::BlockListData data = wiring::buildMyRoomPanelState(input);
    QCOMPARE(describe(data), expected);
    QVERIFY(!data.rowSeparators);
    QCOMPARE(data.hasContent, !data.sections.isEmpty());
    QCOMPARE(data.emptyText, QStringLiteral("无房间"));
}

void TestRoomPanelState::ownerTitleIsTheLowestOwnerId()
{
    // Several owners: the hash's iteration order must not decide the title.
    QHash<QString, qint64> roles;
    const QStringList owners = {"u9", "U2", "u10", "u1", "a"};
    for (const QString &id : owners)
        roles.insert(id, -1);
    roles.insert("0", 1);
    QCOMPARE(wiring::roomOwnerId(roles), QStringLiteral("U2"));
    QCOMPARE(wiring::roomOwnerId({{"x", 1}}), QString());

    Rooms rooms;
    RoomSnapshotBuilder b = room("r1", "", {"u9", "U2"});
    for (const QString &id : owners)
        b.memberRole(id, -1);
    rooms.add(b);
    wiring::RoomPanelsInput input;
    input.store = &rooms.store;
    input.activeRoomId = "r1";
    input.displayName = [](const QString &id) { return "<" + id + ">"; };
    QCOMPARE(wiring::buildCurrentRoomPanelState(input).sections.at(0).rooms.at(0).title, QStringLiteral("<U2>的房间"));
}

void TestRoomPanelState::memberDots_data()
{
    QTest::addColumn<bool>("hasParent");
    QTest::addColumn<bool>("blocked");
    QTest::addColumn<bool>("broadcastAllowed");
    QTest::addColumn<QList<int>>("dots");
    // "me" speaks in the own room, not in the parent.
    QTest::newRow("no parent") << false << false << true << QList<int>{2};
    QTest::newRow("no parent, blocked") << false << true << true << QList<int>{3};
    QTest::newRow("parent") << true << false << true << QList<int>{1, 2};
    QTest::newRow("parent, broadcast denied") << true << false << false << QList<int>{3, 2};
    QTest::newRow("parent, blocked") << true << true << true << QList<int>{3, 3};
}

void TestRoomPanelState::memberDots()
{
    QFETCH(bool, hasParent);
    QFETCH(bool, blocked);
    QFETCH(bool, broadcastAllowed);
    QFETCH(QList<int>, dots);
    wiring::RoomPanelsInput input;
    input.ownSpeakers = {"me"};
    input.parentSpeakers = {"other"};
    input.parentBroadcastAllowed = broadcastAllowed;
    QCOMPARE(wiring::currentRoomMemberDots(input, hasParent, blocked, "me"), dots);

    QCOMPARE(wiring::roomSpeakingDot({}, {"me"}), 1);
    QCOMPARE(wiring::roomSpeakingDot({"a", "me"}, {"me"}), 2);
    QCOMPARE(wiring::sortedIds({"b", "B", "a", "A"}), (QStringList{"A", "B", "a", "b"}));
}

void TestRoomPanelState::withoutAStoreBothPanelsAreEmpty()
{
    wiring::RoomPanelsInput input;
    input.activeRoomId = "r1";
    input.rooms = {entry("r1", false)};
    QCOMPARE(describe(wiring::buildCurrentRoomPanelState(input)), QStringLiteral("(empty) 无当前房间"));
    QCOMPARE(describe(wiring::buildMyRoomPanelState(input)), QStringLiteral("(empty) 无房间"));
    const wiring::ActiveRoomContext context = wiring::buildActiveRoomContext(input);
    QVERIFY(context.relatedRoomIds.isEmpty());
    QVERIFY(!context.hierarchy.hasParent);
}

QTEST_MAIN(TestRoomPanelState)
#include "test_room_panel_state.moc"
