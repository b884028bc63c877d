#include "room/room_stream_snapshot.h"
#include "support/room_snapshot_builder.h"
#include "support/test_json.h"
#include "support/test_main.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using testsupport::json;
using testsupport::RoomSnapshotBuilder;

namespace {

QString sortedText(const QSet<QString> &set)
{
    QStringList items(set.cbegin(), set.cend());
    std::sort(items.begin(), items.end());
    return items.join(u',');
}

QString optionalText(const std::optional<bool> &value)
{
    return value ? (*value ? QStringLiteral("1") : QStringLiteral("0")) : QStringLiteral("-");
}

// One field of a public snapshot as canonical text: lists in order ("|" between
// items, so empty entries show), sets and maps sorted, bools as 1/0, optionals 1/0/-.
QString publicField(const RoomPublicSnapshot &snapshot, const QString &field)
{
    const RoomPublicState &s = snapshot.state;
    auto flag = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
    if (field == "name")
        return snapshot.name;
    if (field == "version")
        return QString::number(snapshot.version);
    if (field == "isPersistent")
        return flag(s.isPersistent);
    if (field == "channelId")
        return s.channelId;
    if (field == "present")
        return s.present.join(u'|');
    if (field == "disconnected")
        return sortedText(s.disconnected);
    if (field == "voiceMuted")
        return sortedText(s.voiceMuted);
    if (field == "textMuted")
        return sortedText(s.textMuted);
    if (field == "memberRoles") {
        QStringList items;
        for (auto it = s.memberRoles.cbegin(); it != s.memberRoles.cend(); ++it)
            items.append(it.key() + u'=' + QString::number(it.value()));
        std::sort(items.begin(), items.end());
        return items.join(u',');
    }
    if (field == "roles") {
        QStringList items;
        for (const RoomAclRole &role : s.roles)
            items.append(QStringLiteral("%1/%2/%3/%4/%5")
                             .arg(role.roleId)
                             .arg(role.name)
                             .arg(role.level)
                             .arg(sortedText(role.permissions), flag(role.isJoinDefault)));
        return items.join(u'|');
    }
    if (field == "overrides") {
        QStringList items;
        for (auto user = s.overrides.cbegin(); user != s.overrides.cend(); ++user) {
            QStringList keys;
            for (auto key = user->cbegin(); key != user->cend(); ++key)
                keys.append(key.key() + u'=' + flag(key.value()));
            std::sort(keys.begin(), keys.end());
            items.append(user.key() + u':' + keys.join(u','));
        }
        std::sort(items.begin(), items.end());
        return items.join(u';');
    }
    if (field == "bitrate")
        return QString::number(s.bitrate);
    if (field == "accessMode")
        return s.accessMode;
    if (field == "allowSubRoom")
        return s.allowSubRoom;
    if (field == "allowSubRoomBroadcast")
        return flag(s.allowSubRoomBroadcast);
    if (field == "allowSubRoomChat")
        return flag(s.allowSubRoomChat);
    if (field == "requireApproval")
        return flag(s.requireApproval);
    if (field == "codeDirectEntry")
        return flag(s.codeDirectEntry);
    if (field == "attachedModule")
        return s.attachedModule;
    if (field == "prefMembers")
        return s.prefMembers.join(u'|');
    if (field == "roomCode")
        return s.roomCode;
    if (field == "roomCodeEnabled")
        return flag(s.roomCodeEnabled);
    if (field == "parentRoomId")
        return s.parentRoomId;
    if (field == "childRoomIds")
        return s.childRoomIds.join(u'|');
    if (field == "childOverrides") {
        QStringList items;
        for (auto it = s.childOverrides.cbegin(); it != s.childOverrides.cend(); ++it)
            items.append(it.key() + u':' + optionalText(it->allowBroadcast) + optionalText(it->allowChat));
        std::sort(items.begin(), items.end());
        return items.join(u',');
    }
    qFatal("unknown field %s", qPrintable(field));
}

const RoomPublicSnapshot &publicPart(const RoomUpdate &update)
{
    return std::get<RoomPublicSnapshot>(update.update);
}

} // namespace

class RoomStreamSnapshotTest : public QObject
{
    Q_OBJECT

private slots:
    void bareSnapshotGivesTheDefaults()
    {
        const std::optional<RoomUpdate> update = parseRoomPublicSnapshot(RoomSnapshotBuilder("r1").publicSnapshot());
        QVERIFY(update);
        QCOMPARE(update->roomId, QStringLiteral("r1"));
        QVERIFY(std::holds_alternative<RoomPublicSnapshot>(update->update));
        const RoomPublicSnapshot &snapshot = publicPart(*update);
        QVERIFY(snapshot.name.isEmpty());
        QCOMPARE(snapshot.version, qint64(0));
        // Everything equal to a default public part, the four setting flags included.
        QCOMPARE(snapshot.state.diff(RoomPublicState()), 0u);
        QCOMPARE(snapshot.state.allowSubRoomBroadcast, true);
        QCOMPARE(snapshot.state.allowSubRoomChat, true);
        QCOMPARE(snapshot.state.requireApproval, false);
        QCOMPARE(snapshot.state.codeDirectEntry, true);
        QVERIFY(snapshot.state.present.isEmpty());
        QVERIFY(snapshot.state.roles.isEmpty());
        QVERIFY(snapshot.state.childOverrides.isEmpty());
    }

    void snapshotWithoutUsableRoomIdYieldsNothing_data()
    {
        QTest::addColumn<QByteArray>("snapshot");
        QTest::newRow("missing") << QByteArray(R"({"meta":{"name":"x"}})");
        QTest::newRow("empty") << QByteArray(R"({"roomId":""})");
        QTest::newRow("number") << QByteArray(R"({"roomId":5})");
        QTest::newRow("null") << QByteArray(R"({"roomId":null})");
        QTest::newRow("array") << QByteArray(R"({"roomId":["r1"]})");
    }

    void snapshotWithoutUsableRoomIdYieldsNothing()
    {
        QFETCH(QByteArray, snapshot);
        const QJsonObject object = QJsonDocument::fromJson(snapshot).object();
        QVERIFY(!parseRoomPublicSnapshot(object));
        QVERIFY(!parseRoomPrivateSnapshot(object));
    }

    void fullSnapshotIsRead()
    {
        const QJsonObject snapshot = RoomSnapshotBuilder("r1")
                                         .name("lobby")
                                         .version(12)
                                         .persistent(true)
                                         .channel("ch1")
                                         .present({"u1", "u2", "u3"})
                                         .disconnected({"u3"})
                                         .mute("u2", "voice")
                                         .mute("u3", "text")
                                         .memberRole("u1", -1)
                                         .memberRole("u2", 2)
                                         .role(-1, "owner", 100, {"core.room.speak", "core.room.kick_members"})
                                         .role(2, "member", 1, {"core.room.speak"}, true)
                                         .userOverride("u2", "core.room.speak", false)
                                         .setting("bitrate", 64000)
                                         .setting("accessMode", "public")
                                         .setting("allowSubRoom", "ask")
                                         .setting("allowSubRoomBroadcast", false)
                                         .setting("allowSubRoomChat", false)
                                         .setting("requireApproval", true)
                                         .setting("codeDirectEntry", false)
                                         .setting("attachedModule", "m1")
                                         .setting("prefMembers", QJsonArray{"u2", "u1"})
                                         .setting("roomCode", "XYZ")
                                         .setting("roomCodeEnabled", true)
                                         .parent("p1")
                                         .child("c1")
                                         .child("c2")
                                         .childOverride("c1", "allowBroadcast", true)
                                         .publicSnapshot();
        const std::optional<RoomUpdate> update = parseRoomPublicSnapshot(snapshot);
        QVERIFY(update);
        const RoomPublicSnapshot &s = publicPart(*update);
        const QList<QPair<QString, QString>> expected = {
            {"name", "lobby"},
            {"version", "12"},
            {"isPersistent", "1"},
            {"channelId", "ch1"},
            {"present", "u1|u2|u3"},
            {"disconnected", "u3"},
            {"voiceMuted", "u2"},
            {"textMuted", "u3"},
            {"memberRoles", "u1=-1,u2=2"},
            {"roles", "-1/owner/100/core.room.kick_members,core.room.speak/0|2/member/1/core.room.speak/1"},
            {"overrides", "u2:core.room.speak=0"},
            {"bitrate", "64000"},
            {"accessMode", "public"},
            {"allowSubRoom", "ask"},
            {"allowSubRoomBroadcast", "0"},
            {"allowSubRoomChat", "0"},
            {"requireApproval", "1"},
            {"codeDirectEntry", "0"},
            {"attachedModule", "m1"},
            {"prefMembers", "u2|u1"},
            {"roomCode", "XYZ"},
            {"roomCodeEnabled", "1"},
            {"parentRoomId", "p1"},
            {"childRoomIds", "c1|c2"},
            {"childOverrides", "c1:1-"},
        };
        for (const auto &[field, value] : expected)
            QVERIFY2(publicField(s, field) == value, qPrintable(field + " = " + publicField(s, field)));
    }

    // Values of the wrong type or in the wrong place take their defaults; nothing
    // discards the snapshot.
    void leniency_data()
    {
        QTest::addColumn<QByteArray>("snapshot");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");

        QTest::newRow("bitrate number") << QByteArray(R"({"roomId":"r","acl":{"settings":{"bitrate":64000}}})")
                                        << "bitrate"
                                        << "64000";
        QTest::newRow("bitrate as string")
            << QByteArray(R"({"roomId":"r","acl":{"settings":{"bitrate":"64000"}}})") << "bitrate"
            << "0";
        QTest::newRow("bitrate fraction")
            << QByteArray(R"({"roomId":"r","acl":{"settings":{"bitrate":1.5}}})") << "bitrate"
            << "0";
        QTest::newRow("version as string")
            << QByteArray(R"({"roomId":"r","meta":{"version":"12345678901"}})") << "version"
            << "12345678901";
        QTest::newRow("version as text") << QByteArray(R"({"roomId":"r","meta":{"version":"v3"}})") << "version"
                                         << "0";
        QTest::newRow("version beyond 64 bits") << QByteArray(R"({"roomId":"r","meta":{"version":1e30}})") << "version"
                                                << "0";
        QTest::newRow("meta not an object") << QByteArray(R"({"roomId":"r","meta":"lobby"})") << "name"
                                            << "";
        QTest::newRow("name a number") << QByteArray(R"({"roomId":"r","meta":{"name":7}})") << "name"
                                       << "";
        QTest::newRow("settings at top level")
            << QByteArray(R"({"roomId":"r","settings":{"bitrate":64000,"allowSubRoomBroadcast":false}})")
            << "allowSubRoomBroadcast"
            << "1";
        QTest::newRow("settings in meta")
            << QByteArray(R"({"roomId":"r","meta":{"settings":{"bitrate":9}}})") << "bitrate"
            << "0";
        QTest::newRow("flag as string") << QByteArray(
            R"({"roomId":"r","acl":{"settings":{"codeDirectEntry":"false"}}})")
                                        << "codeDirectEntry"
                                        << "1";
        QTest::newRow("flag as number") << QByteArray(R"({"roomId":"r","acl":{"settings":{"requireApproval":1}}})")
                                        << "requireApproval"
                                        << "0";
        QTest::newRow("allowSubRoom boolean")
            << QByteArray(R"({"roomId":"r","acl":{"settings":{"allowSubRoom":true}}})") << "allowSubRoom"
            << "";
        QTest::newRow("present with number and duplicate")
            << QByteArray(R"({"roomId":"r","present":["u1",5,"u1"]})") << "present"
            << "u1||u1";
        QTest::newRow("present not an array") << QByteArray(R"({"roomId":"r","present":"u1"})") << "present"
                                              << "";
        QTest::newRow("disconnected non-string")
            << QByteArray(R"({"roomId":"r","disconnected":["u1",null]})") << "disconnected"
            << ",u1";
        QTest::newRow("prefMembers non-string")
            << QByteArray(R"({"roomId":"r","acl":{"settings":{"prefMembers":["a",1]}}})") << "prefMembers"
            << "a|";
        QTest::newRow("member role as string")
            << QByteArray(R"({"roomId":"r","acl":{"memberRoles":{"u1":"7","u3":null}}})") << "memberRoles"
            << "u1=7,u3=0";
        QTest::newRow("role not an object") << QByteArray(R"({"roomId":"r","acl":{"roles":[5]}})") << "roles"
                                            << "0//0//0";
        QTest::newRow("role with odd members") << QByteArray(
            R"({"roomId":"r","acl":{"roles":[{"roleId":"3","name":1,"level":"2","permissions":["a",4],"isJoinDefault":"yes"}]}})")
                                               << "roles"
                                               << "3//0/,a/0";
        QTest::newRow("roles not an array") << QByteArray(R"({"roomId":"r","acl":{"roles":{"roleId":1}}})") << "roles"
                                            << "";
        QTest::newRow("overrides lenient")
            << QByteArray(R"({"roomId":"r","acl":{"overrides":{"u1":{"k":true,"j":"x"},"u2":3,"u3":{}}}})")
            << "overrides"
            << "u1:j=0,k=1;u2:;u3:";
        QTest::newRow("childOverrides at top level ignored")
            << QByteArray(R"({"roomId":"r","childRoomIds":["c1"],"childOverrides":{"c1":{"allowChat":true}}})")
            << "childOverrides"
            << "";
        QTest::newRow("parentRoomId under acl ignored")
            << QByteArray(R"({"roomId":"r","acl":{"parentRoomId":"p"}})") << "parentRoomId"
            << "";
        QTest::newRow("parentRoomId a number") << QByteArray(R"({"roomId":"r","parentRoomId":9})") << "parentRoomId"
                                               << "";
    }

    void leniency()
    {
        QFETCH(QByteArray, snapshot);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        const std::optional<RoomUpdate> update = parseRoomPublicSnapshot(QJsonDocument::fromJson(snapshot).object());
        QVERIFY(update);
        QCOMPARE(publicField(publicPart(*update), field), expected);
    }

    void childrenAndTheirOverrides()
    {
        const QJsonObject snapshot = json(R"({"roomId":"p","childRoomIds":["c1","","c1",7,"c2","c3","c4"],
            "acl":{"childOverrides":{
                "c1":{"allowChat":null},
                "c2":{},
                "c3":{"allowBroadcast":"yes","allowChat":true},
                "c4":"not an object",
                "c9":{"allowBroadcast":true}}}})");
        const std::optional<RoomUpdate> update = parseRoomPublicSnapshot(snapshot);
        QVERIFY(update);
        const RoomPublicSnapshot &s = publicPart(*update);
        // Empty ids (a non-string element reads empty) are dropped; repeats stay.
        QCOMPARE(publicField(s, "childRoomIds"), QStringLiteral("c1|c1|c2|c3|c4"));
        // A present key sets its value whatever it holds; an empty override makes no
        // entry; an override of a child that is not listed is never read.
        QCOMPARE(publicField(s, "childOverrides"), QStringLiteral("c1:-0,c3:01"));
    }

    void mutes_data()
    {
        QTest::addColumn<QByteArray>("mutes");
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("voice without end, voice")
            << QByteArray(R"([{"userId":"u1","variant":"voice","expireAtMs":-1}])") << "voice" << QStringList{"u1"};
        QTest::newRow("voice without end, text")
            << QByteArray(R"([{"userId":"u1","variant":"voice","expireAtMs":-1}])") << "text" << QStringList{};
        QTest::newRow("expires at now") << QByteArray(R"([{"userId":"u1","variant":"voice","expireAtMs":1000000}])")
                                        << "voice" << QStringList{};
        QTest::newRow("expires after now")
            << QByteArray(R"([{"userId":"u1","variant":"text","expireAtMs":1000001}])") << "text" << QStringList{"u1"};
        QTest::newRow("expired") << QByteArray(R"([{"userId":"u1","variant":"voice","expireAtMs":5}])") << "voice"
                                 << QStringList{};
        QTest::newRow("no expiry key") << QByteArray(R"([{"userId":"u1","variant":"voice"}])") << "voice"
                                       << QStringList{};
        QTest::newRow("expiry as string")
            << QByteArray(R"([{"userId":"u1","variant":"voice","expireAtMs":"-1"}])") << "voice" << QStringList{"u1"};
        QTest::newRow("variant in capitals")
            << QByteArray(R"([{"userId":"u1","variant":"Voice","expireAtMs":-1}])") << "voice" << QStringList{};
        QTest::newRow("entry not an object")
            << QByteArray(R"(["u1",{"userId":"u2","variant":"voice","expireAtMs":-1}])") << "voice"
            << QStringList{"u2"};
        QTest::newRow("user missing") << QByteArray(R"([{"variant":"voice","expireAtMs":-1}])") << "voice"
                                      << QStringList{""};
        QTest::newRow("several") << QByteArray(R"([{"userId":"u2","variant":"voice","expireAtMs":-1},
                                                  {"userId":"u1","variant":"voice","expireAtMs":2000000},
                                                  {"userId":"u3","variant":"text","expireAtMs":-1}])")
                                 << "voice" << QStringList{"u1", "u2"};
    }

    void mutes()
    {
        QFETCH(QByteArray, mutes);
        QFETCH(QString, variant);
        QFETCH(QStringList, expected);
        const QJsonArray array = QJsonDocument::fromJson(mutes).array();
        const QByteArray latin = variant.toLatin1();
        const QSet<QString> users = parseRoomMutes(array, QLatin1StringView(latin), 1'000'000);
        QStringList sorted(users.cbegin(), users.cend());
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(sorted, expected);
    }

    void publicSnapshotDropsExpiredMutesAgainstTheClock()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const QJsonObject snapshot = RoomSnapshotBuilder("r")
                                         .mute("gone", "voice", now - 1000)
                                         .mute("later", "voice", now + 3'600'000)
                                         .mute("always", "text", -1)
                                         .publicSnapshot();
        const std::optional<RoomUpdate> update = parseRoomPublicSnapshot(snapshot);
        QVERIFY(update);
        QCOMPARE(publicField(publicPart(*update), "voiceMuted"), QStringLiteral("later"));
        QCOMPARE(publicField(publicPart(*update), "textMuted"), QStringLiteral("always"));
    }

    void privateSnapshot()
    {
        const QJsonObject snapshot = json(R"({"roomId":"r1","followCode":"F-1","followCodeExpiresAtMs":"99",
            "pendingJoinRequests":[
                {"requestId":"q1","fromUserId":"u1","createdAt":10,"expiresAtMs":20},
                {"fromUserId":"u2","createdAt":11},
                "q-not-an-object",
                {"requestId":"","fromUserId":"u3"},
                {"requestId":"q4","fromUserId":5,"createdAt":"12"},
                {"requestId":"q1","fromUserId":"u1"}],
            "pendingSubrooms":[
                {"requestId":"s1","childRoomId":"c1","fromUserId":"u1","createdAt":1,"expiresAtMs":2},
                {"childRoomId":"c2"},
                {"requestId":"s3","childRoomId":"c3"}]})");
        const std::optional<RoomUpdate> update = parseRoomPrivateSnapshot(snapshot);
        QVERIFY(update);
        QCOMPARE(update->roomId, QStringLiteral("r1"));
        QVERIFY(std::holds_alternative<RoomPrivateSnapshot>(update->update));
        const RoomPrivateSnapshot &s = std::get<RoomPrivateSnapshot>(update->update);
        QCOMPARE(s.followCode, QStringLiteral("F-1"));
        QCOMPARE(s.followCodeExpiresAtMs, qint64(99));
        const QList<roomdata::PendingJoinRequest> joins = {{"q1", "u1", 10, 20}, {"q4", "", 12, 0}, {"q1", "u1", 0, 0}};
        QCOMPARE(s.pendingJoinRequests, joins);
        const QList<roomdata::PendingSubroomRequest> subrooms = {{"s1", "c1", "u1", 1, 2}, {"s3", "c3", "", 0, 0}};
        QCOMPARE(s.pendingSubrooms, subrooms);
    }

    void barePrivateSnapshot()
    {
        const std::optional<RoomUpdate> update = parseRoomPrivateSnapshot(RoomSnapshotBuilder("r1").privateSnapshot());
        QVERIFY(update);
        const RoomPrivateSnapshot &s = std::get<RoomPrivateSnapshot>(update->update);
        QCOMPARE(s.diff(RoomPrivateState()), 0u);
    }
};

KESTOVA_TEST_MAIN(RoomStreamSnapshotTest)
#include "test_room_stream_snapshot.moc"
