#include "realtime/watch_registry.h"
#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_field_flag.h"
#include "room/room_stream_target.h"
#include "room/room_view_model.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/room_snapshot_builder.h"
#include "support/test_main.h"

#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;
using testsupport::RoomSnapshotBuilder;

namespace {

QString pub(const QString &id)
{
    return publicStreamTarget(id);
}
QString priv(const QString &id)
{
    return privateStreamTarget(id);
}

// The session over a real store, feed, view-model registry and watch registry. The
// registry stands in for the gateway: its watch and unwatch requests are recorded
// in order, and the test answers watches through onWatchResult.
struct Fixture
{
    FakeHttpClient http;
    RoomEntityStore store;
    RoomEntityFeed feed{&store};
    RoomAdapterRegistry registry{&store};
    WatchRegistry watches;
    ActiveRoomSession session{&http, &store, &feed, &registry};
    QStringList watchLog; // "+target" for a watch request, "-target" for an unwatch, in order
    QSignalSpy changed{&session, &ActiveRoomSession::activeRoomChanged};
    QSignalSpy failed{&session, &ActiveRoomSession::enterFailed};

    Fixture()
    {
        session.setWatchRegistry(&watches);
        session.setUserIdProvider([] { return QStringLiteral("me"); });
        session.setSessionIdProvider([] { return QStringLiteral("s1"); });
        QObject::connect(&watches, &WatchRegistry::streamReady, &session, &ActiveRoomSession::onStreamReady);
        QObject::connect(&watches, &WatchRegistry::streamDenied, &session, &ActiveRoomSession::onStreamDenied);
        QObject::connect(&watches, &WatchRegistry::watchNeeded, [this](const QStringList &targets) {
            for (const QString &t : targets)
                watchLog << "+" + t;
        });
        QObject::connect(&watches, &WatchRegistry::unwatchNeeded, [this](const QStringList &targets) {
            for (const QString &t : targets)
                watchLog << "-" + t;
        });
    }

    QString active() const { return session.activeRoomId(); }

    // Enters the room and confirms both of its targets.
    void enterAndConfirm(const QString &roomId)
    {
        session.enter(roomId);
        watches.onWatchResult(pub(roomId), true);
        watches.onWatchResult(priv(roomId), true);
    }

    void snapshot(const RoomSnapshotBuilder &room)
    {
        feed.onStreamSnapshot(room.publicTarget(), room.publicSnapshot());
    }
};

} // namespace

class ActiveRoomSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void guardsSendAndEmitNothing()
    {
        Fixture f;
        QSignalSpy leaveFailed(&f.session, &ActiveRoomSession::leaveFailed);
        f.session.join(QString());
        f.session.enter(QString());
        f.session.leaveRoom(QString());
        f.session.leave();
        QVERIFY(f.http.calls.isEmpty());
        QVERIFY(f.watchLog.isEmpty());
        QCOMPARE(f.changed.count(), 0);
        QCOMPARE(f.failed.count(), 0);
        QCOMPARE(f.session.currentViewModel(), nullptr);
    }

    void joinSendsTheSessionId()
    {
        Fixture f;
        f.session.join("a/b?c");
        QCOMPARE(f.http.calls.at(0).method, HttpMethod::Post);
        QCOMPARE(f.http.calls.at(0).path, QStringLiteral("/v1/rooms/a%2Fb%3Fc/join"));
        QCOMPARE(f.http.calls.at(0).body, (QJsonObject{{"sessionId", "s1"}}));

        f.session.setSessionIdProvider({});
        f.session.join("r1");
        QCOMPARE(f.http.calls.at(1).body, (QJsonObject{{"sessionId", ""}}));
    }

    void joinOutcomes_data()
    {
        QTest::addColumn<HttpResponse>("reply");
        QTest::addColumn<bool>("enters");
        QTest::addColumn<bool>("needsApply");
        QTest::addColumn<int>("failCode"); // -1: no enterFailed
        QTest::addColumn<QString>("failMessage");
        QTest::newRow("joined") << jsonReply(200, {{"outcome", "joined"}}) << true << false << -1 << "";
        QTest::newRow("needApply") << jsonReply(200, {{"outcome", "needApply"}}) << false << true << -1 << "";
        QTest::newRow("other outcome") << jsonReply(200, {{"outcome", "queued"}}) << false << false << 0 << "";
        QTest::newRow("no outcome") << jsonReply(200) << false << false << 0 << "";
        QTest::newRow("banned") << jsonReply(403, {{"code", "room.banned"}, {"message", "no"}}) << false << false << 2
                                << "no";
        QTest::newRow("not found") << jsonReply(404, {{"code", "room.not_found"}}) << false << false << 1 << "";
        QTest::newRow("network") << testsupport::networkErrorReply() << false << false << 0 << "";
    }

    void joinOutcomes()
    {
        QFETCH(HttpResponse, reply);
        QFETCH(bool, enters);
        QFETCH(bool, needsApply);
        QFETCH(int, failCode);
        QFETCH(QString, failMessage);

        Fixture f;
        QSignalSpy apply(&f.session, &ActiveRoomSession::joinNeedsApply);
        f.session.join("r1");
        f.http.reply(0, reply);
        QCOMPARE(f.watchLog, enters ? (QStringList{"+" + priv("r1"), "+" + pub("r1")}) : QStringList());
        QCOMPARE(apply.count(), needsApply ? 1 : 0);
        if (needsApply)
            QCOMPARE(apply.at(0).at(0).toString(), QStringLiteral("r1"));
        QCOMPARE(f.failed.count(), failCode < 0 ? 0 : 1);
        if (failCode >= 0) {
            QCOMPARE(int(f.failed.at(0).at(0).value<RoomErrorCode>()), failCode);
            QCOMPARE(f.failed.at(0).at(1).toString(), failMessage);
        }
        QCOMPARE(f.changed.count(), 0);
        QCOMPARE(f.active(), QString());
    }

    // Entering: the private target first, then the room's public target, store entry
    // retained before the watch; active once both targets are confirmed, in any order.
    void enterBecomesActiveAfterBothConfirmations()
    {
        Fixture f;
        LogCapture log;
        QObject::connect(&f.watches, &WatchRegistry::watchNeeded, [&f](const QStringList &targets) {
            for (const QString &t : targets) {
                QString id;
                RoomStreamKind kind;
                QVERIFY(parseRoomStreamTarget(t, id, kind));
                if (kind == RoomStreamKind::Public)
                    QVERIFY(f.store.find(id)); // retained before it is watched
            }
        });
        f.session.enter("A");
        QCOMPARE(f.watchLog, (QStringList{"+" + priv("A"), "+" + pub("A")}));
        QVERIFY(f.store.find("A"));
        QCOMPARE(f.active(), QString());

        f.watches.onWatchResult(priv("A"), true);
        f.watches.onWatchResult(priv("A"), true); // repeated: still waits for the public one
        QCOMPARE(f.changed.count(), 0);
        f.watches.onWatchResult(pub("A"), true);
        QCOMPARE(f.changed.count(), 1);
        QCOMPARE(f.active(), QStringLiteral("A"));
        QCOMPARE(f.session.currentViewModel()->roomId(), QStringLiteral("A"));
        QVERIFY(log.contains("room.lifecycle", "entered room room_id=\"A\" presence=0 version=0"));
        QVERIFY(log.contains("room.lifecycle", "entering room room_id=\"A\""));
    }

    // A second entry replaces the first; the first one's late answers change nothing.
    void pendingRoomReplaced()
    {
        Fixture f;
        f.session.enter("A");
        f.watches.onWatchResult(pub("A"), true);
        f.watchLog.clear();
        f.session.enter("B");
        QCOMPARE(f.watchLog, (QStringList{"-" + priv("A"), "+" + priv("B"), "-" + pub("A"), "+" + pub("B")}));
        QCOMPARE(f.store.find("A"), nullptr);

        // A's answers arrive late: ignored (the registry no longer holds A's targets,
        // so they are offered to the session directly).
        f.session.onStreamReady(priv("A"));
        f.session.onStreamDenied(pub("A"));
        QCOMPARE(f.changed.count(), 0);
        QCOMPARE(f.failed.count(), 0);

        f.watches.onWatchResult(pub("B"), true);
        QCOMPARE(f.active(), QString());
        f.watches.onWatchResult(priv("B"), true);
        QCOMPARE(f.active(), QStringLiteral("B"));
        QCOMPARE(f.changed.count(), 1);
    }

    // Targets the registry already knows complete the entry on the next loop turn,
    // without a new watch request.
    void alreadyReadyTargetsCompleteLater()
    {
        Fixture f;
        f.watches.acquire({pub("A"), priv("A")}); // another holder, answered before
        f.watches.onWatchResult(pub("A"), true);
        f.watches.onWatchResult(priv("A"), true);
        f.watchLog.clear();

        f.session.enter("A");
        QVERIFY(f.watchLog.isEmpty());
        QCOMPARE(f.active(), QString()); // not within the call
        QTRY_COMPARE(f.active(), QStringLiteral("A"));
        QCOMPARE(f.changed.count(), 1);
    }

    // Entering the active room again waits for both targets again and announces no change.
    void reenteringTheActiveRoom()
    {
        Fixture f;
        f.enterAndConfirm("A");
        QCOMPARE(f.changed.count(), 1);
        LogCapture log;
        f.watchLog.clear();
        f.session.enter("A");
        QVERIFY(f.watchLog.isEmpty()); // everything is held already
        QTRY_VERIFY(log.contains("room.lifecycle", "entered room room_id=\"A\""));
        QCOMPARE(f.active(), QStringLiteral("A"));
        QCOMPARE(f.changed.count(), 1);
    }

    void deniedTargets_data()
    {
        QTest::addColumn<bool>("denyPrivate");
        QTest::addColumn<int>("code");
        QTest::newRow("public") << false << 1;
        QTest::newRow("private") << true << 3;
    }

    // A denied target of the pending room ends the entry and drops its watches.
    void deniedTargets()
    {
        QFETCH(bool, denyPrivate);
        QFETCH(int, code);
        Fixture f;
        f.session.enter("A");
        f.watchLog.clear();
        f.watches.onWatchResult(denyPrivate ? priv("A") : pub("A"), false);
        QCOMPARE(f.failed.count(), 1);
        QCOMPARE(int(f.failed.at(0).at(0).value<RoomErrorCode>()), code);
        QCOMPARE(f.failed.at(0).at(1).toString(), QString());
        QCOMPARE(f.watchLog, (QStringList{"-" + priv("A"), "-" + pub("A")}));
        QCOMPARE(f.store.find("A"), nullptr);
        QCOMPARE(f.changed.count(), 0);
        QCOMPARE(f.active(), QString());
    }

    // Switching from an active room: a denial of the new room keeps the old one;
    // a denial of a target already confirmed is ignored.
    void deniedWhileSwitching()
    {
        Fixture f;
        f.enterAndConfirm("A");
        f.session.enter("B");
        f.watches.onWatchResult(pub("B"), true);
        f.session.onStreamDenied(pub("B")); // already confirmed: not awaited any more
        QCOMPARE(f.failed.count(), 0);
        f.watches.onWatchResult(priv("B"), false);
        QCOMPARE(f.failed.count(), 1);
        QCOMPARE(f.active(), QStringLiteral("A"));
        QCOMPARE(f.changed.count(), 1); // only the first entry
        QVERIFY(f.store.find("A"));
        QCOMPARE(f.store.find("B"), nullptr);
    }

    // Re-entering the active room and being refused leaves it altogether.
    void deniedReentryLeavesTheRoom()
    {
        Fixture f;
        f.enterAndConfirm("A");
        f.session.enter("A");
        f.session.onStreamDenied(pub("A"));
        QCOMPARE(f.failed.count(), 1);
        QCOMPARE(int(f.failed.at(0).at(0).value<RoomErrorCode>()), 1);
        QCOMPARE(f.active(), QString());
        QCOMPARE(f.changed.count(), 2);
        QCOMPARE(f.store.find("A"), nullptr);
    }

    void deniedTargetsOfTheActiveRoom()
    {
        Fixture f;
        f.enterAndConfirm("A");
        f.session.onStreamDenied(pub("A")); // public: nothing
        QCOMPARE(f.active(), QStringLiteral("A"));
        QCOMPARE(f.changed.count(), 1);

        LogCapture log;
        f.watchLog.clear();
        f.session.onStreamDenied(priv("A"));
        QCOMPARE(f.active(), QString());
        QCOMPARE(f.changed.count(), 2);
        QCOMPARE(f.failed.count(), 0);
        QCOMPARE(f.watchLog, (QStringList{"-" + priv("A"), "-" + pub("A")}));
        QVERIFY(log.contains("room.lifecycle", "private stream denied, no longer in room room_id=\"A\""));
    }

    void malformedTargetsAreIgnored()
    {
        Fixture f;
        f.session.enter("A");
        for (const QString &t : {QStringLiteral("room:"), QStringLiteral("room:A:other"), QStringLiteral("channel:A"),
                                 QStringLiteral("Room:A")}) {
            f.session.onStreamReady(t);
            f.session.onStreamDenied(t);
        }
        QCOMPARE(f.failed.count(), 0);
        f.enterAndConfirm("A");
        QCOMPARE(f.active(), QStringLiteral("A"));
    }

    void leave()
    {
        Fixture f;
        QSignalSpy leaveFailed(&f.session, &ActiveRoomSession::leaveFailed);
        f.session.enter("A");
        f.session.leave(); // only pending: nothing to leave
        QVERIFY(f.http.calls.isEmpty());

        f.enterAndConfirm("A");
        LogCapture log;
        f.session.leave();
        QCOMPARE(f.http.calls.at(0).method, HttpMethod::Delete);
        QCOMPARE(f.http.calls.at(0).path, QStringLiteral("/v1/rooms/A/members/me"));
        f.http.reply(0, jsonReply(409, {{"code", "room.not_in_room"}, {"message", "x"}}));
        QCOMPARE(leaveFailed.count(), 1);
        QCOMPARE(leaveFailed.at(0).at(0).value<RoomErrorCode>(), RoomErrorCode::NotInRoom);
        QCOMPARE(leaveFailed.at(0).at(1).toString(), QStringLiteral("x"));
        QVERIFY(log.contains("room.lifecycle", "leave failed room_id=\"A\" status=409 code=\"room.not_in_room\" "
                                               "net_err=\"\" body=\"{\\\"code\\\":\\\"room.not_in_room\\\""));
        QCOMPARE(f.active(), QStringLiteral("A"));

        f.session.leave();
        f.http.reply(1, jsonReply(204));
        QCOMPARE(f.active(), QString());
        QVERIFY(log.contains("room.lifecycle", "left room room_id=\"A\""));
        QCOMPARE(f.changed.count(), 2);
    }

    // A leave that succeeds after the user moved to another room leaves that room alone.
    void lateLeaveKeepsTheNewRoom()
    {
        Fixture f;
        f.enterAndConfirm("A");
        f.session.leave();
        f.enterAndConfirm("B");
        f.http.reply(0, jsonReply(200));
        QCOMPARE(f.active(), QStringLiteral("B"));
    }

    void leaveRoomOnlyLogs()
    {
        Fixture f;
        LogCapture log;
        f.enterAndConfirm("A");
        f.session.leaveRoom("Z");
        f.session.leaveRoom("Y");
        QCOMPARE(f.http.calls.at(0).path, QStringLiteral("/v1/rooms/Z/members/me"));
        f.http.reply(0, jsonReply(200));
        f.http.reply(1, jsonReply(500, {{"code", "boom"}}));
        QCOMPARE(f.active(), QStringLiteral("A"));
        QCOMPARE(f.changed.count(), 1);
        QVERIFY(log.contains("room.lifecycle", "declined reconnect, left room room_id=\"Z\""));
        QVERIFY(log.contains("room.lifecycle",
                             "decline-reconnect leave failed room_id=\"Y\" status=500 code=\"boom\" net_err=\"\""));
    }

    void selfRemoval_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<bool>("leaves");
        QTest::addColumn<QString>("line");
        QTest::newRow("left")
            << "room.presence.left" << QJsonObject{{"roomId", "A"}, {"userId", "me"}, {"reason", "timeout"}} << true
            << "removed from room (presence.left reason=\"timeout\"), leaving room view room_id=\"A\"";
        QTest::newRow("kicked") << "room.member.kicked" << QJsonObject{{"roomId", "A"}, {"userId", "me"}} << true
                                << "kicked, leaving room view room_id=\"A\"";
        QTest::newRow("banned") << "room.member.banned" << QJsonObject{{"roomId", "A"}, {"userId", "me"}} << true
                                << "banned, leaving room view room_id=\"A\"";
        QTest::newRow("superseded") << "room.member.superseded"
                                    << QJsonObject{{"roomId", "A"}, {"userId", "me"}, {"sessionId", "s2"}} << true
                                    << "session superseded by another device, leaving room view room_id=\"A\" "
                                       "new_session_id=\"s2\"";
        QTest::newRow("superseded by this session")
            << "room.member.superseded" << QJsonObject{{"roomId", "A"}, {"userId", "me"}, {"sessionId", "s1"}} << false
            << "";
        QTest::newRow("another user kicked")
            << "room.member.kicked" << QJsonObject{{"roomId", "A"}, {"userId", "u2"}} << false << "";
        QTest::newRow("case differs") << "room.member.banned" << QJsonObject{{"roomId", "A"}, {"userId", "Me"}} << false
                                      << "";
    }

    void selfRemoval()
    {
        QFETCH(QString, name);
        QFETCH(QJsonObject, payload);
        QFETCH(bool, leaves);
        QFETCH(QString, line);
        Fixture f;
        f.enterAndConfirm("A");
        f.snapshot(RoomSnapshotBuilder("A").present({"me", "u2"}));
        QSignalSpy left(&f.session, &ActiveRoomSession::memberLeft);
        LogCapture log;
        f.changed.clear();
        f.feed.onGatewayEvent(name, payload, 0);
        QCOMPARE(f.active(), leaves ? QString() : QStringLiteral("A"));
        QCOMPARE(left.count(), 0);
        if (leaves) {
            QVERIFY2(log.contains("room.lifecycle", line), qPrintable(line));
            QCOMPARE(f.store.find("A"), nullptr);
        }
    }

    // Without a session-id provider a supersession cannot be told: ignored. Without
    // an own id nothing is an own removal.
    void selfRemovalNeedsProviders()
    {
        Fixture f;
        f.session.setSessionIdProvider({});
        f.enterAndConfirm("A");
        f.feed.onGatewayEvent("room.member.superseded", {{"roomId", "A"}, {"userId", "me"}, {"sessionId", "s9"}}, 0);
        QCOMPARE(f.active(), QStringLiteral("A"));
        f.session.setUserIdProvider({});
        f.feed.onGatewayEvent("room.member.kicked", {{"roomId", "A"}, {"userId", ""}}, 0);
        QCOMPARE(f.active(), QStringLiteral("A"));
    }

    void dispatch_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<uint>("mask");
        QTest::addColumn<QString>("expected");
        const uint P = RoomFieldFlag::Presence;
        const uint R = RoomFieldFlag::Requests;
        QTest::newRow("joined") << "room.presence.joined" << QJsonObject{{"roomId", "A"}, {"userId", "u2"}} << P
                                << "joined u2";
        QTest::newRow("joined, no presence bit")
            << "room.presence.joined" << QJsonObject{{"roomId", "A"}, {"userId", "u2"}} << R << "";
        QTest::newRow("own joined") << "room.presence.joined" << QJsonObject{{"roomId", "A"}, {"userId", "me"}} << P
                                    << "";
        QTest::newRow("left") << "room.presence.left" << QJsonObject{{"roomId", "A"}, {"userId", "u2"}} << P
                              << "left u2";
        QTest::newRow("own left") << "room.presence.left" << QJsonObject{{"roomId", "A"}, {"userId", "me"}} << P << "";
        QTest::newRow("left, mask 0") << "room.presence.left" << QJsonObject{{"roomId", "A"}, {"userId", "u2"}} << 0u
                                      << "";
        QTest::newRow("request created") << "room.request.created"
                                         << QJsonObject{{"roomId", "A"},
                                                        {"requestId", "q1"},
                                                        {"fromUserId", "u3"},
                                                        {"createdAt", 5},
                                                        {"expiresAtMs", 9}}
                                         << R << "join q1 u3 5 9";
        QTest::newRow("request created, presence bit only")
            << "room.request.created" << QJsonObject{{"roomId", "A"}, {"requestId", "q1"}} << P << "";
        QTest::newRow("request approved")
            << "room.request.approved" << QJsonObject{{"roomId", "A"}, {"requestId", "q1"}, {"approvedBy", "u4"}} << R
            << "resolved q1 u4 1";
        QTest::newRow("request rejected")
            << "room.request.rejected" << QJsonObject{{"roomId", "A"}, {"requestId", "q1"}, {"rejectedBy", "u4"}} << R
            << "resolved q1 u4 0";
        QTest::newRow("request cancelled")
            << "room.request.cancelled" << QJsonObject{{"roomId", "A"}, {"requestId", "q1"}} << R << "removed q1";
        QTest::newRow("request expired") << "room.request.expired" << QJsonObject{{"roomId", "A"}, {"requestId", "q1"}}
                                         << R << "removed q1";
        QTest::newRow("subroom pending") << "room.subroom.pending"
                                         << QJsonObject{{"parentRoomId", "A"}, {"requestId", "q2"},
                                                        {"childRoomId", "C"},  {"fromUserId", "u5"},
                                                        {"createdAt", 1},      {"expiresAtMs", 2}}
                                         << R << "subroom q2 C u5 1 2";
        QTest::newRow("subroom approved")
            << "room.subroom.approved" << QJsonObject{{"parentRoomId", "A"}, {"requestId", "q2"}, {"approvedBy", "u4"}}
            << R << "resolved q2 u4 1";
        QTest::newRow("subroom rejected")
            << "room.subroom.rejected"
            << QJsonObject{{"parentRoomId", "A"}, {"requestId", "q2"}, {"rejectedBy", "u4"}, {"trigger", "owner"}} << R
            << "resolved q2 u4 0";
        QTest::newRow("subroom lapsed") << "room.subroom.rejected"
                                        << QJsonObject{{"parentRoomId", "A"},
                                                       {"requestId", "q2"},
                                                       {"rejectedBy", "u4"},
                                                       {"trigger", "ttl_expired"}}
                                        << R << "removed q2";
        QTest::newRow("subroom cancelled")
            << "room.subroom.cancelled" << QJsonObject{{"parentRoomId", "A"}, {"requestId", "q2"}} << R << "removed q2";
        QTest::newRow("subroom attached")
            << "room.subroom.attached" << QJsonObject{{"parentRoomId", "A"}, {"childRoomId", "C"}} << (P | R) << "";
        QTest::newRow("bitrate") << "room.bitrate.changed" << QJsonObject{{"roomId", "A"}, {"newValue", 1}} << ~0u
                                 << "";
    }

    // The active room's events as signals; the store's mask decides whether anything changed.
    void dispatch()
    {
        QFETCH(QString, name);
        QFETCH(QJsonObject, payload);
        QFETCH(uint, mask);
        QFETCH(QString, expected);
        Fixture f;
        f.enterAndConfirm("A");
        QStringList seen;
        QObject::connect(&f.session, &ActiveRoomSession::memberJoined,
                         [&](const QString &u) { seen << "joined " + u; });
        QObject::connect(&f.session, &ActiveRoomSession::memberLeft, [&](const QString &u) { seen << "left " + u; });
        QObject::connect(&f.session, &ActiveRoomSession::joinRequestAdded, [&](const roomdata::PendingJoinRequest &r) {
            seen << QStringLiteral("join %1 %2 %3 %4")
                        .arg(r.requestId, r.fromUserId)
                        .arg(r.createdAt)
                        .arg(r.expiresAtMs);
        });
        QObject::connect(&f.session, &ActiveRoomSession::subroomRequestAdded,
                         [&](const roomdata::PendingSubroomRequest &r) {
                             seen << QStringLiteral("subroom %1 %2 %3 %4 %5")
                                         .arg(r.requestId, r.childRoomId, r.fromUserId)
                                         .arg(r.createdAt)
                                         .arg(r.expiresAtMs);
                         });
        QObject::connect(&f.session, &ActiveRoomSession::requestResolved,
                         [&](const QString &id, const QString &by, bool ok) {
                             seen << QStringLiteral("resolved %1 %2 %3").arg(id, by).arg(int(ok));
                         });
        QObject::connect(&f.session, &ActiveRoomSession::requestRemoved,
                         [&](const QString &id) { seen << "removed " + id; });

        const QList<RoomUpdate> items = parseRoomEvent(name, payload, 0);
        QVERIFY(!items.isEmpty());
        const auto &event = std::get<RoomEventUpdate>(items.at(0).update);
        emit f.feed.eventApplied("A", event.payload, mask);
        // The same event of another room, or while the room is only pending, is not looked at.
        emit f.feed.eventApplied("B", event.payload, mask);
        QCOMPARE(seen, expected.isEmpty() ? QStringList() : QStringList{expected});
    }

    void eventsOfThePendingRoomAreNotLookedAt()
    {
        Fixture f;
        QSignalSpy joined(&f.session, &ActiveRoomSession::memberJoined);
        f.session.enter("A");
        f.snapshot(RoomSnapshotBuilder("A").present({"u1"}));
        f.feed.onGatewayEvent("room.presence.joined", {{"roomId", "A"}, {"userId", "u2"}}, 0);
        f.feed.onGatewayEvent("room.member.kicked", {{"roomId", "A"}, {"userId", "me"}}, 0);
        QCOMPARE(joined.count(), 0);
        f.watches.onWatchResult(pub("A"), true);
        f.watches.onWatchResult(priv("A"), true);
        QCOMPARE(f.active(), QStringLiteral("A"));
    }

    // The first snapshot brings the parent and the sub-rooms into the watch; other
    // changes only announce.
    void relatedRoomsFollowTheStore()
    {
        Fixture f;
        f.enterAndConfirm("A");
        f.changed.clear();
        f.watchLog.clear();
        f.snapshot(RoomSnapshotBuilder("A").parent("P").child("C"));
        QCOMPARE(f.watchLog, (QStringList{"+" + pub("C"), "+" + pub("P")}));
        QCOMPARE(f.changed.count(), 1);
        QVERIFY(f.store.find("P"));

        f.watchLog.clear();
        f.snapshot(RoomSnapshotBuilder("P").child("A").child("S"));
        QCOMPARE(f.watchLog, (QStringList{"+" + pub("S")}));
        QCOMPARE(f.changed.count(), 2);

        f.watchLog.clear();
        f.snapshot(RoomSnapshotBuilder("S").name("sibling"));
        QCOMPARE(f.changed.count(), 3); // availability of S: no new relative
        f.snapshot(RoomSnapshotBuilder("S").name("renamed"));
        QCOMPARE(f.changed.count(), 4);
        QVERIFY(f.watchLog.isEmpty());

        // The sub-room goes away: its watch and store reference with it.
        f.snapshot(RoomSnapshotBuilder("A").parent("P"));
        QCOMPARE(f.watchLog, (QStringList{"-" + pub("C")}));
        QCOMPARE(f.store.find("C"), nullptr);
    }

    // Released targets go before their store references.
    void releaseOrder()
    {
        Fixture f;
        f.enterAndConfirm("A");
        bool heldAtUnwatch = false;
        QObject::connect(&f.watches, &WatchRegistry::unwatchNeeded, [&](const QStringList &targets) {
            if (targets.contains(pub("A")))
                heldAtUnwatch = f.store.find("A") != nullptr;
        });
        f.session.reset();
        QVERIFY(heldAtUnwatch);
        QCOMPARE(f.store.find("A"), nullptr);
    }

    void reset()
    {
        Fixture f;
        f.session.enter("A");
        f.watchLog.clear();
        f.session.reset(); // entering: dropped without a signal
        QCOMPARE(f.changed.count(), 0);
        QCOMPARE(f.watchLog, (QStringList{"-" + priv("A"), "-" + pub("A")}));
        f.session.onStreamReady(pub("A"));
        f.session.onStreamReady(priv("A"));
        QCOMPARE(f.active(), QString());

        f.enterAndConfirm("B");
        f.snapshot(RoomSnapshotBuilder("B").child("C"));
        f.changed.clear();
        f.watchLog.clear();
        f.session.reset();
        QCOMPARE(f.changed.count(), 1);
        QCOMPARE(f.watchLog, (QStringList{"-" + priv("B"), "-" + pub("B"), "-" + pub("C")}));
        QCOMPARE(f.store.find("B"), nullptr);
        QCOMPARE(f.store.find("C"), nullptr);
        QCOMPARE(f.session.currentViewModel(), nullptr);
    }

    // Without a registry the store is still retained and released.
    void withoutARegistry()
    {
        FakeHttpClient http;
        RoomEntityStore store;
        RoomEntityFeed feed(&store);
        RoomAdapterRegistry registry(&store);
        ActiveRoomSession session(&http, &store, &feed, &registry);
        session.enter("A");
        QVERIFY(store.find("A"));
        session.onStreamReady(pub("A"));
        session.onStreamReady(priv("A"));
        QCOMPARE(session.activeRoomId(), QStringLiteral("A"));
        session.reset();
        QCOMPARE(store.find("A"), nullptr);
    }
};

KESTOVA_TEST_MAIN(ActiveRoomSessionTest)
#include "test_active_room_session.moc"
