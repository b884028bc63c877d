#include "room/room_follow_code_service.h"
#include "room/room_moderation_service.h"
#include "room/room_request_service.h"
#include "room/room_subroom_service.h"
#include "room_service_fixture.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

#include <functional>

using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::RoomSnapshotBuilder;

namespace {

// The four stateless services of the active room over one fixture.
struct Services : RoomServiceFixture
{
    RoomModerationService moderation{&http, &session};
    RoomRequestService requests{&http, &session};
    RoomSubroomService subroom{&http, &session};
    RoomFollowCodeService followCode{&http, &session};
};

using Action = std::function<void(Services &)>;

} // namespace

Q_DECLARE_METATYPE(Action)

// Every operation of the moderation, approval, sub-room and follow-code services:
// with or without an active room, what it sends.
class RoomActionRequestsTest : public QObject
{
    Q_OBJECT

private slots:
    void requestTable_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<bool>("active"); // whether room "A" (parent "P") is active first
        QTest::addColumn<int>("method");  // HttpMethod, or -1 when nothing may be sent
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body"); // compact JSON; empty for DELETE

        const auto row = [](const char *name, Action action, bool active, int method, const char *path,
                            const char *body) {
            QTest::newRow(name) << action << active << method << QString::fromUtf8(path) << QByteArray(body);
        };
        const int none = -1;
        const int post = int(HttpMethod::Post), put = int(HttpMethod::Put), del = int(HttpMethod::Delete),
                  patch = int(HttpMethod::Patch);

        // Moderation.
        row(
            "mute voice", [](Services &s) { s.moderation.muteVoice("u1"); }, true, put,
            "/v1/rooms/A/members/u1/mutes/voice", "{}");
        row(
            "mute voice, no room", [](Services &s) { s.moderation.muteVoice("u1"); }, false, none, "", "");
        row(
            "mute voice, no user", [](Services &s) { s.moderation.muteVoice(""); }, true, none, "", "");
        row(
            "unmute voice", [](Services &s) { s.moderation.unmuteVoice("u1"); }, true, del,
            "/v1/rooms/A/members/u1/mutes/voice", "");
        row(
            "mute text", [](Services &s) { s.moderation.muteText("u1"); }, true, put,
            "/v1/rooms/A/members/u1/mutes/text", "{}");
        row(
            "mute text in", [](Services &s) { s.moderation.muteTextIn("B", "u1", 1700000000123); }, false, put,
            "/v1/rooms/B/members/u1/mutes/text", R"({"expireAtMs":1700000000123})");
        row(
            "mute text in, no room id", [](Services &s) { s.moderation.muteTextIn("", "u1", 5); }, true, none, "", "");
        row(
            "mute text in, no user", [](Services &s) { s.moderation.muteTextIn("B", "", 5); }, true, none, "", "");
        row(
            "unmute text", [](Services &s) { s.moderation.unmuteText("u1"); }, true, del,
            "/v1/rooms/A/members/u1/mutes/text", "");
        row(
            "unmute text, no room", [](Services &s) { s.moderation.unmuteText("u1"); }, false, none, "", "");
        row(
            "kick", [](Services &s) { s.moderation.kick("u/1"); }, true, del, "/v1/rooms/A/members/u%2F1", "");
        row(
            "kick, no room", [](Services &s) { s.moderation.kick("u1"); }, false, none, "", "");
        row(
            "ban", [](Services &s) { s.moderation.ban("u1"); }, true, put, "/v1/rooms/A/bans/u1", "{}");
        row(
            "ban, no room", [](Services &s) { s.moderation.ban("u1"); }, false, none, "", "");
        row(
            "ban in", [](Services &s) { s.moderation.banIn("B?x", "u1"); }, false, put, "/v1/rooms/B%3Fx/bans/u1",
            "{}");
        row(
            "ban in, no user", [](Services &s) { s.moderation.banIn("B", ""); }, false, none, "", "");
        row(
            "dissolve", [](Services &s) { s.moderation.dissolve(); }, true, post, "/v1/rooms/A/dissolve", "{}");
        row(
            "dissolve, no room", [](Services &s) { s.moderation.dissolve(); }, false, none, "", "");

        // Approvals.
        row(
            "approve join", [](Services &s) { s.requests.approveJoin("q1"); }, true, post,
            "/v1/rooms/A/join-requests/q1/approve", "{}");
        row(
            "reject join", [](Services &s) { s.requests.rejectJoin("q1"); }, true, post,
            "/v1/rooms/A/join-requests/q1/reject", "{}");
        row(
            "approve subroom", [](Services &s) { s.requests.approveSubroom("r7"); }, true, post,
            "/v1/rooms/A/subroom-requests/r7/approve", "{}");
        row(
            "reject subroom", [](Services &s) { s.requests.rejectSubroom("r/7"); }, true, post,
            "/v1/rooms/A/subroom-requests/r%2F7/reject", "{}");
        row(
            "approve, no room", [](Services &s) { s.requests.approveJoin("q1"); }, false, none, "", "");
        row(
            "approve, no id", [](Services &s) { s.requests.approveJoin(""); }, true, none, "", "");

        // Sub-rooms.
        row(
            "attach", [](Services &s) { s.subroom.attachToParent("Q"); }, true, put, "/v1/rooms/A/parent",
            R"({"parentRoomId":"Q"})");
        row(
            "attach to itself", [](Services &s) { s.subroom.attachToParent("A"); }, true, none, "", "");
        row(
            "attach, no parent id", [](Services &s) { s.subroom.attachToParent(""); }, true, none, "", "");
        row(
            "attach, no room", [](Services &s) { s.subroom.attachToParent("Q"); }, false, none, "", "");
        row(
            "detach from parent", [](Services &s) { s.subroom.detachFromParent(); }, true, del, "/v1/rooms/A/parent",
            "");
        row(
            "detach child", [](Services &s) { s.subroom.detachChild("C1"); }, true, del, "/v1/rooms/A/children/C1", "");
        row(
            "detach child, no id", [](Services &s) { s.subroom.detachChild(""); }, true, none, "", "");
        row(
            "deny broadcast", [](Services &s) { s.subroom.setChildOverride("C1", true, false); }, true, patch,
            "/v1/rooms/A/children/C1", R"({"allowBroadcast":false})");
        row(
            "allow broadcast", [](Services &s) { s.subroom.setChildOverride("C1", true, true); }, true, patch,
            "/v1/rooms/A/children/C1", R"({"allowBroadcast":true})");
        row(
            "chat back to the parent's", [](Services &s) { s.subroom.setChildOverride("C1", false, std::nullopt); },
            true, patch, "/v1/rooms/A/children/C1", R"({"allowChat":null})");
        row(
            "override, no room", [](Services &s) { s.subroom.setChildOverride("C1", false, false); }, false, none, "",
            "");

        // Follow codes.
        row(
            "attach follow code", [](Services &s) { s.followCode.attach(); }, true, post, "/v1/rooms/A/follow-code",
            "{}");
        row(
            "detach follow code", [](Services &s) { s.followCode.detach(); }, true, del, "/v1/rooms/A/follow-code", "");
        row(
            "follow code, no room", [](Services &s) { s.followCode.attach(); }, false, none, "", "");
    }

    void requestTable()
    {
        QFETCH(Action, action);
        QFETCH(bool, active);
        QFETCH(int, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);

        Services s;
        if (active) {
            s.activate("A");
            s.snapshot(RoomSnapshotBuilder("A").name("a").parent("P"));
            QCOMPARE(s.session.activeRoomId(), QString("A"));
        }
        s.clearCalls();
        LogCapture logs;

        action(s);

        if (method < 0) {
            QVERIFY(s.http.calls.isEmpty());
            QCOMPARE(logs.entries().size(), 0);
            return;
        }
        QCOMPARE(s.http.calls.size(), 1);
        const testsupport::FakeHttpClient::Call &call = s.http.calls.at(0);
        QCOMPARE(int(call.method), method);
        QCOMPARE(call.path, path);
        QCOMPARE(call.options.timeoutMs, 0);
        QVERIFY(call.options.headers.isEmpty());
        if (!body.isEmpty())
            QCOMPARE(RoomServiceFixture::compact(call.body), body);
    }

    void detachFromParentNeedsAParent()
    {
        Services s;
        s.activate("A");
        s.snapshot(RoomSnapshotBuilder("A").name("a"));
        s.clearCalls();
        s.subroom.detachFromParent();
        QVERIFY(s.http.calls.isEmpty());
    }

    void failuresAreReportedAndLogged()
    {
        Services s;
        s.activate("A");
        s.clearCalls();
        QSignalSpy moderationFailed(&s.moderation, &RoomModerationService::moderationFailed);
        QSignalSpy requestFailed(&s.requests, &RoomRequestService::requestActionFailed);
        QSignalSpy subroomFailed(&s.subroom, &RoomSubroomService::subroomFailed);
        QSignalSpy followFailed(&s.followCode, &RoomFollowCodeService::followCodeFailed);
        LogCapture logs;
        const HttpResponse banned = jsonReply(403, QJsonObject{{"code", "room.banned"}, {"message", "no"}});

        s.moderation.kick("u1");
        s.requests.rejectSubroom("r7");
        s.subroom.detachChild("C1");
        s.followCode.detach();
        for (qsizetype i = 0; i < 4; ++i)
            s.http.reply(i, banned);

        for (QSignalSpy *spy : {&moderationFailed, &requestFailed, &subroomFailed, &followFailed}) {
            QCOMPARE(spy->count(), 1);
            QCOMPARE(spy->at(0).at(0).value<RoomErrorCode>(), RoomErrorCode::Banned);
            QCOMPARE(spy->at(0).at(1).toString(), QString("no"));
        }
        QVERIFY(logs.contains("room.moderation",
                              "kick failed room_id=\"A\" target_user_id=\"u1\" status=403 code=\"room.banned\""));
        QVERIFY(logs.contains("room.request", "request action failed op=\"subroom-requests/reject\" room_id=\"A\" "
                                              "request_id=\"r7\" status=403"));
        QVERIFY(logs.contains("room.subroom", "subroom detach child failed status=403 code=\"room.banned\""));
        QVERIFY(logs.contains("room.follow_code", "detach follow code failed room_id=\"A\" status=403"));
    }

    void successLines()
    {
        Services s;
        s.activate("A");
        s.clearCalls();
        LogCapture logs;
        s.moderation.muteTextIn("B", "u1", 1700000000123);
        s.requests.rejectSubroom("r7");
        s.subroom.detachChild("C1");
        s.subroom.setChildOverride("C1", true, false);
        s.followCode.attach();
        s.moderation.dissolve();
        for (qsizetype i = 0; i < s.http.calls.size(); ++i)
            s.http.reply(i, jsonReply(200));
        QVERIFY(logs.contains("room.moderation",
                              "member text muted room_id=\"B\" target_user_id=\"u1\" expire_at_ms=1700000000123"));
        QVERIFY(logs.contains("room.request", "request action ok op=\"subroom-requests/reject\""));
        QVERIFY(logs.contains("room.follow_code", "follow code attached room_id=\"A\""));
        QVERIFY(logs.contains("room.moderation", "room dissolved room_id=\"A\""));
        QCOMPARE(logs.count("room.subroom", ""), 0); // a detach or override writes nothing
    }

    void attachPendingNamesTheAttachedRoom_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<bool>("pending");
        QTest::newRow("pending") << QJsonObject{{"status", "pending"}} << true;
        QTest::newRow("attached") << QJsonObject{{"status", "attached"}} << false;
        QTest::newRow("no status") << QJsonObject{} << false;
        QTest::newRow("letter case") << QJsonObject{{"status", "Pending"}} << false;
    }

    void attachPendingNamesTheAttachedRoom()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(bool, pending);
        Services s;
        s.activate("A");
        s.clearCalls();
        QSignalSpy attachPending(&s.subroom, &RoomSubroomService::attachPending);
        s.subroom.attachToParent("Q");
        s.http.reply(0, jsonReply(200, reply));
        QCOMPARE(attachPending.count(), pending ? 1 : 0);
        if (pending)
            QCOMPARE(attachPending.at(0).at(0).toString(), QString("A"));
    }

    // The decision goes to the room that is active when the click arrives.
    void approvalFollowsTheActiveRoom()
    {
        Services s;
        s.activate("A");
        s.activate("B");
        QCOMPARE(s.session.activeRoomId(), QString("B"));
        s.clearCalls();
        s.requests.approveJoin("q1");
        QCOMPARE(s.http.calls.at(0).path, QString("/v1/rooms/B/join-requests/q1/approve"));
    }

    void replyAfterTheServiceIsGone()
    {
        RoomServiceFixture f;
        f.activate("A");
        f.clearCalls();
        {
            RoomModerationService moderation(&f.http, &f.session);
            moderation.kick("u1");
        }
        LogCapture logs;
        f.http.reply(0, jsonReply(500));
        QCOMPARE(logs.entries().size(), 0);
    }
};

KESTOVA_TEST_MAIN(RoomActionRequestsTest)
#include "test_room_action_requests.moc"
