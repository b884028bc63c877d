#include "realtime/watch_registry.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_settings_service.h"
#include "room_service_fixture.h"
#include "support/log_capture.h"
#include "support/room_snapshot_builder.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QSignalSpy>

#include <functional>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::RoomSnapshotBuilder;

namespace {

struct Fixture
{
    FakeHttpClient http;
    RoomEntityStore store;
    RoomEntityFeed feed{&store};
    RoomSettingsService settings{&http, &store, &feed};

    // Holds room R with the given preference members.
    void holdRoom(const QStringList &prefMembers)
    {
        store.retain("R");
        snapshot(prefMembers);
    }

    void snapshot(const QStringList &prefMembers, qint64 version = 1)
    {
        const RoomSnapshotBuilder room =
            RoomSnapshotBuilder("R").name("r").version(version).setting("prefMembers",
                                                                        QJsonArray::fromStringList(prefMembers));
        feed.onStreamSnapshot(room.publicTarget(), room.publicSnapshot());
    }

    QStringList sentPref(qsizetype call) const
    {
        QStringList ids;
        for (const QJsonValue &entry : http.calls.at(call).body.value("pref").toArray())
            ids << entry.toObject().value("userId").toString();
        return ids;
    }
};

using Operation = std::function<void(RoomSettingsService &)>;

} // namespace

Q_DECLARE_METATYPE(Operation)

class RoomSettingsServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void requestTable_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<int>("method"); // -1: nothing is sent
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");

        const auto row = [](const char *name, Operation op, int method, const char *path, const char *body) {
            QTest::newRow(name) << op << method << QString::fromUtf8(path) << QByteArray(body);
        };
        const int none = -1, post = int(HttpMethod::Post), put = int(HttpMethod::Put), del = int(HttpMethod::Delete),
                  patch = int(HttpMethod::Patch);

        row(
            "name and bitrate",
            [](auto &s) {
                s.saveSettings("R", QJsonObject{{"name", "Hall"}, {"bitrate", 64000}});
            },
            patch, "/v1/rooms/R/settings", R"({"bitrate":64000,"roomName":"Hall"})");
        row(
            "sub-room policy",
            [](auto &s) {
                s.saveSettings("R", QJsonObject{{"allowSubroom", "ask"}});
            },
            patch, "/v1/rooms/R/settings", R"({"allowSubRoom":"ask"})");
        row(
            "sub-room broadcast",
            [](auto &s) {
                s.saveSettings("R", QJsonObject{{"allowSubroomBroadcast", false}});
            },
            patch, "/v1/rooms/R/settings", R"({"allowSubRoomBroadcast":false})");
        row(
            "sub-room chat",
            [](auto &s) {
                s.saveSettings("R", QJsonObject{{"allowSubroomChat", true}});
            },
            patch, "/v1/rooms/R/settings", R"({"allowSubRoomChat":true})");
        row(
            "own names",
            [](auto &s) {
                s.saveSettings("R", QJsonObject{{"accessMode", "pref_only"},
                                                {"requireApproval", true},
                                                {"codeDirectEntry", false}});
            },
            patch, "/v1/rooms/R/settings",
            R"({"accessMode":"pref_only","codeDirectEntry":false,"requireApproval":true})");
        row(
            "letter case is not renamed",
            [](auto &s) {
                s.saveSettings("R", QJsonObject{{"Name", "x"}});
            },
            patch, "/v1/rooms/R/settings", R"({"Name":"x"})");
        row(
            "empty settings", [](auto &s) { s.saveSettings("R", QJsonObject{}); }, none, "", "");
        row(
            "settings, no room",
            [](auto &s) {
                s.saveSettings("", QJsonObject{{"name", "x"}});
            },
            none, "", "");
        row(
            "room code on", [](auto &s) { s.setRoomCodeEnabled("R", true); }, patch, "/v1/rooms/R/room-code",
            R"({"enabled":true})");
        row(
            "create role", [](auto &s) { s.createRole("R", "  mods "); }, post, "/v1/rooms/R/roles",
            R"({"name":"mods","permissions":{}})");
        row(
            "create role, blank", [](auto &s) { s.createRole("R", "   "); }, none, "", "");
        row(
            "update role",
            [](auto &s) {
                s.updateRole("R", 7, " mods", {"core.room.speak", "core.room.kick_members"});
            },
            patch, "/v1/rooms/R/roles/7",
            R"({"name":"mods","permissions":{"core.room.kick_members":true,"core.room.speak":true}})");
        row(
            "update role, no permissions", [](auto &s) { s.updateRole("R", -4, "m", {}); }, patch,
            "/v1/rooms/R/roles/-4", R"({"name":"m","permissions":{}})");
        row(
            "update role, no role", [](auto &s) { s.updateRole("R", 0, "m", {}); }, none, "", "");
        row(
            "update role, blank name", [](auto &s) { s.updateRole("R", 7, " ", {}); }, none, "", "");
        row(
            "delete role", [](auto &s) { s.deleteRole("R", 9007199254740993); }, del,
            "/v1/rooms/R/roles/9007199254740993", "");
        row(
            "delete role 0", [](auto &s) { s.deleteRole("R", 0); }, none, "", "");
        row(
            "reorder roles",
            [](auto &s) {
                s.reorderRoles("R", {3, 1, 9007199254740993});
            },
            post, "/v1/rooms/R/roles/reorder", R"({"roleIds":[3,1,9007199254740993]})");
        row(
            "reorder nothing", [](auto &s) { s.reorderRoles("R", {}); }, none, "", "");
        row(
            "reassign", [](auto &s) { s.reassignRole("R", -2, 9007199254740993); }, post, "/v1/rooms/R/roles/reassign",
            R"({"fromRoleId":-2,"toRoleId":9007199254740993})");
        row(
            "reassign to itself", [](auto &s) { s.reassignRole("R", 3, 3); }, none, "", "");
        row(
            "reassign from 0", [](auto &s) { s.reassignRole("R", 0, 3); }, none, "", "");
        row(
            "reassign to 0", [](auto &s) { s.reassignRole("R", 3, 0); }, none, "", "");
        row(
            "member role", [](auto &s) { s.assignMemberRole("R", "u/1", 9007199254740993); }, put,
            "/v1/rooms/R/members/u%2F1/role", R"({"roleId":9007199254740993})");
        row(
            "member role, no user", [](auto &s) { s.assignMemberRole("R", "", 3); }, none, "", "");
        row(
            "member role 0", [](auto &s) { s.assignMemberRole("R", "u1", 0); }, none, "", "");
        row(
            "delete room", [](auto &s) { s.deleteRoom("R#1"); }, del, "/v1/rooms/R%231", "");
        row(
            "delete room, no id", [](auto &s) { s.deleteRoom(""); }, none, "", "");
        row(
            "detach module", [](auto &s) { s.detachModule("R"); }, del, "/v1/rooms/R/module", "");
    }

    void requestTable()
    {
        QFETCH(Operation, operation);
        QFETCH(int, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        Fixture f;
        LogCapture logs;
        operation(f.settings);
        if (method < 0) {
            QVERIFY(f.http.calls.isEmpty());
            QCOMPARE(logs.entries().size(), 0);
            return;
        }
        QCOMPARE(f.http.calls.size(), 1);
        QCOMPARE(int(f.http.calls.at(0).method), method);
        QCOMPARE(f.http.calls.at(0).path, path);
        if (!body.isEmpty())
            QCOMPARE(RoomServiceFixture::compact(f.http.calls.at(0).body), body);
    }

    void failures_data()
    {
        QTest::addColumn<HttpResponse>("reply");
        QTest::addColumn<RoomErrorCode>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("not found") << jsonReply(404, QJsonObject{{"code", "room.not_found"}, {"message", "gone"}})
                                   << RoomErrorCode::NotFound << "gone";
        QTest::newRow("time-out") << testsupport::timedOutReply() << RoomErrorCode::Other << "";
    }

    void failures()
    {
        QFETCH(HttpResponse, reply);
        QFETCH(RoomErrorCode, code);
        QFETCH(QString, message);
        Fixture f;
        QSignalSpy failed(&f.settings, &RoomSettingsService::settingsFailed);
        LogCapture logs;
        f.settings.deleteRoom("R");
        f.http.reply(0, reply);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).value<RoomErrorCode>(), code);
        QCOMPARE(failed.at(0).at(1).toString(), message);
        QVERIFY(logs.contains("room.settings", "delete room failed room_id=\"R\" status="));
        QVERIFY(logs.contains("room.settings", "body="));
    }

    void roomCodeSwitchRewatchesThePublicStream()
    {
        Fixture f;
        LogCapture logs;
        f.settings.setRoomCodeEnabled("R", false);
        f.http.reply(0, jsonReply(200)); // no registry yet: only the log line
        QVERIFY(logs.contains("room.settings", "room code toggled room_id=\"R\" enabled=false"));

        WatchRegistry registry;
        registry.acquire({"room:R", "room:R:private"});
        QSignalSpy watched(&registry, &WatchRegistry::watchNeeded);
        f.settings.setWatchRegistry(&registry);
        f.settings.setRoomCodeEnabled("R", true);
        f.http.reply(1, jsonReply(500));
        QCOMPARE(watched.count(), 0);
        f.settings.setRoomCodeEnabled("R", true);
        f.http.reply(2, jsonReply(200));
        QCOMPARE(watched.count(), 1);
        QCOMPARE(watched.at(0).at(0).toStringList(), QStringList{"room:R"});
    }

    void prefMembersFromTheStore()
    {
        Fixture f;
        f.holdRoom({"a", "b"});
        f.settings.addPrefMember("R", "b"); // already listed
        QVERIFY(f.http.calls.isEmpty());
        f.settings.addPrefMember("R", "c");
        QCOMPARE(f.sentPref(0), (QStringList{"a", "b", "c"}));
        QCOMPARE(f.http.calls.at(0).path, QString("/v1/rooms/R/settings"));
        f.http.reply(0, jsonReply(500));       // refused: the store's list counts again
        f.settings.removePrefMember("R", "x"); // not listed: the list still goes out
        QCOMPARE(f.sentPref(1), (QStringList{"a", "b"}));
        f.http.reply(1, jsonReply(200));
    }

    void quickAddsKeepEachOther()
    {
        Fixture f;
        f.holdRoom({"a"});
        f.settings.addPrefMember("R", "b");
        f.settings.addPrefMember("R", "c");
        f.settings.removePrefMember("R", "a");
        QCOMPARE(f.sentPref(0), (QStringList{"a", "b"}));
        QCOMPARE(f.sentPref(1), (QStringList{"a", "b", "c"}));
        QCOMPARE(f.sentPref(2), (QStringList{"b", "c"}));

        // The stream shows an intermediate list: later changes still build on the last one sent.
        f.snapshot({"a", "b"}, 2);
        f.settings.addPrefMember("R", "d");
        QCOMPARE(f.sentPref(3), (QStringList{"b", "c", "d"}));

        // Once the stream shows the last list sent, it is the base again.
        f.snapshot({"b", "c", "d"}, 3);
        f.snapshot({"z"}, 4); // another member's change
        f.settings.addPrefMember("R", "e");
        QCOMPARE(f.sentPref(4), (QStringList{"z", "e"}));
    }

    void prefChangeOfAnUnknownRoomIsRefused()
    {
        Fixture f;
        LogCapture logs;
        f.settings.addPrefMember("R", "a");
        f.settings.removePrefMember("R", "a");
        f.store.retain("R"); // held, but no snapshot yet
        f.settings.addPrefMember("R", "a");
        QVERIFY(f.http.calls.isEmpty());
        QCOMPARE(logs.count("room.settings", "pref member change refused"), 3);
        f.settings.addPrefMember("", "a");
        f.settings.addPrefMember("R", "");
        QCOMPARE(logs.count("room.settings", "pref member change refused"), 3);
    }
};

KESTOVA_TEST_MAIN(RoomSettingsServiceTest)
#include "test_room_settings_service.moc"
