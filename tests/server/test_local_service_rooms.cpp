// Two clients' own room, match and chat services against the local service on loopback:
// a room is created, the second user joins it by its code, chat with an image reaches the
// other user through the gateway, a role and a ban take effect; and the state survives
// a restart.
#include "service_client.h"

#include "app/startup_gate.h"
#include "auth/auth_assembly.h"
#include "auth/auth_interceptor.h"
#include "auth/login_service.h"
#include "auth/session_service.h"
#include "auth/session_store.h"
#include "auth/sms_service.h"
#include "channel/channel_actions_service.h"
#include "channel/channel_assembly.h"
#include "channel/channel_entity.h"
#include "channel/channel_entity_feed.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"
#include "legal/legal_service.h"
#include "match/code_match_service.h"
#include "match/match_error_code.h"
#include "net/http_transport.h"
#include "realtime/events/chat_events.h"
#include "realtime/gateway_service.h"
#include "realtime/socket_client.h"
#include "realtime/watch_registry.h"
#include "room/active_room_session.h"
#include "room/room_apply_service.h"
#include "room/room_assembly.h"
#include "room/room_chat_service.h"
#include "room/room_create_service.h"
#include "room/room_entity.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_moderation_service.h"
#include "room/room_settings_service.h"
#include "room/room_subroom_service.h"
#include "room/room_view_model.h"
#include "server/gateway_hub.h"
#include "server/local_service.h"
#include "server/rooms_api.h"
#include "server/service_state.h"
#include "support/test_main.h"
#include "update/update_service.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>

using servertest::Client;
using servertest::connectClient;
using servertest::kWaitMs;
using servertest::ServiceRig;

namespace {

QByteArray imageBytes(QSize size, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray pngBytes()
{
    return imageBytes(QSize(8, 6), "PNG");
}

QByteArray fetch(const QString &url)
{
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(QUrl(url)));
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, kWaitMs))
        return {};
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

} // namespace

class LocalServiceRoomsTest : public QObject
{
    Q_OBJECT

private slots:
    void twoUsersMeetChatAndAreModerated();
    void presenceFollowsTheGatewaySession();
    void channelIsCreatedJoinedAndBans();
    void stateSurvivesARestart();
    void requestsAndTimedMutesRunOut();
    void ownerRoleOfAnOlderStateIsTheOwnersRole();
};

void LocalServiceRoomsTest::twoUsersMeetChatAndAreModerated()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));

    QSignalSpy aliceEvents(&alice.gateway, &GatewayService::eventReceived);
    QSignalSpy bobEvents(&bob.gateway, &GatewayService::eventReceived);

    // Alice creates a temporary room and is in it once both of its streams are watched.
    alice.rooms.createService()->createTempRoom(-1);
    QTRY_VERIFY_WITH_TIMEOUT(!alice.activeRoomId().isEmpty(), kWaitMs);
    const QString roomId = alice.activeRoomId();
    const RoomViewModel *aliceRoom = alice.rooms.session()->currentViewModel();
    QCOMPARE(alice.present(roomId), QStringList{alice.userId});
    const QString code = aliceRoom->roomCode();
    QCOMPARE(code.size(), 6);
    QVERIFY(aliceRoom->roomCodeEnabled());

    // Bob joins by the code; both see both present.
    QSignalSpy joined(alice.rooms.session(), &ActiveRoomSession::memberJoined);
    bob.codes.joinByCode(code);
    QTRY_COMPARE_WITH_TIMEOUT(bob.activeRoomId(), roomId, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(joined.size(), 1, kWaitMs);
    QCOMPARE(joined.at(0).at(0).toString(), bob.userId);
    QCOMPARE(alice.present(roomId), (QStringList{alice.userId, bob.userId}));
    const RoomViewModel *bobRoom = bob.rooms.session()->currentViewModel();
    QCOMPARE(bob.present(roomId), (QStringList{alice.userId, bob.userId}));
    QCOMPARE(bobRoom->memberRoles().value(bob.userId), qint64(3));
    // The version of the room grew with every event and both hold the same one.
    const localservice::Room *served = rig.service->rooms()->room(roomId);
    QVERIFY(served->version > 1);

    // Alice's message with an image reaches Bob through the gateway, with a URL that serves the bytes.
    QSignalSpy bobMessages(bob.rooms.chatService(), &RoomChatService::messageReceived);
    QSignalSpy uploaded(alice.rooms.chatService(), &RoomChatService::uploadFinished);
    // Both chats are subscribed once the gateway confirms them.
    const auto confirmed = [&roomId](const QSignalSpy &events) {
        for (const QList<QVariant> &event : events) {
            if (event.at(0).toString() == QLatin1String("chat-subscribed")
                && event.at(1).toJsonObject().value("roomId").toString() == roomId)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(confirmed(aliceEvents), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(confirmed(bobEvents), kWaitMs);
    const QByteArray png = pngBytes();
    const QByteArray jpeg = imageBytes(QSize(1000, 500), "JPG");
    alice.rooms.chatService()->uploadAndSend(
        roomId, QStringLiteral("batch-1"),
        {RoomChatService::LocalImage{QStringLiteral("dot.png"), png, QStringLiteral("image/png"), 8, 6},
         RoomChatService::LocalImage{QStringLiteral("wide.jpg"), jpeg, QStringLiteral("image/jpeg"), 1000, 500}},
        QStringLiteral("hello **bob**"), 0, QString());
    QTRY_COMPARE_WITH_TIMEOUT(uploaded.size(), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bobMessages.size(), 1, kWaitMs);
    const ImMessageSentEvent message = bobMessages.at(0).at(1).value<ImMessageSentEvent>();
    QCOMPARE(message.roomId, roomId);
    QCOMPARE(message.userId, alice.userId);
    QCOMPARE(message.content, QStringLiteral("hello **bob**"));
    QCOMPARE(message.seq, 1);
    QCOMPARE(message.attachments.size(), 2);
    QCOMPARE(message.attachments.at(0).width, 8);
    QCOMPARE(fetch(message.attachments.at(0).url), png);
    // A small image is its own thumbnail; a large one is scaled down, its shape kept.
    QCOMPARE(fetch(message.attachments.at(0).thumbUrl), png);
    QCOMPARE(fetch(message.attachments.at(1).url), jpeg);
    const QByteArray thumbnail = fetch(message.attachments.at(1).thumbUrl);
    QCOMPARE(QImage::fromData(thumbnail, "JPG").size(), QSize(640, 320));
    QCOMPARE(fetch(message.attachments.at(1).thumbUrl), thumbnail);

    // A second message follows with the next sequence number.
    bob.rooms.chatService()->sendMessage(roomId, QStringLiteral("hi"), 0, QString());
    QTRY_COMPARE_WITH_TIMEOUT(bobMessages.size(), 2, kWaitMs);
    QCOMPARE(bobMessages.at(1).at(1).value<ImMessageSentEvent>().seq, 2);

    // Alice makes Bob a moderator: both stores see the new role.
    alice.rooms.settingsService()->assignMemberRole(roomId, bob.userId, 2);
    QTRY_COMPARE_WITH_TIMEOUT(bobRoom->memberRoles().value(bob.userId), qint64(2), kWaitMs);
    QCOMPARE(aliceRoom->memberRoles().value(bob.userId), qint64(2));

    // Alice bans Bob: he leaves the room's view, is no longer present, and cannot come back.
    alice.rooms.moderationService()->ban(bob.userId);
    QTRY_VERIFY_WITH_TIMEOUT(bob.activeRoomId().isEmpty(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(alice.present(roomId), QStringList{alice.userId}, kWaitMs);
    QVERIFY(!aliceRoom->memberRoles().contains(bob.userId));
    QSignalSpy refused(bob.rooms.session(), &ActiveRoomSession::enterFailed);
    bob.rooms.session()->join(roomId);
    QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, kWaitMs);
    QCOMPARE(refused.at(0).at(0).value<RoomErrorCode>(), RoomErrorCode::Banned);
    QVERIFY(!rig.service->rooms()->canReadChat(bob.userId, roomId));
}

void LocalServiceRoomsTest::presenceFollowsTheGatewaySession()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    alice.rooms.createService()->createTempRoom(-1);
    QTRY_VERIFY_WITH_TIMEOUT(!alice.activeRoomId().isEmpty(), kWaitMs);
    const QString roomId = alice.activeRoomId();
    bob.codes.joinByCode(alice.rooms.session()->currentViewModel()->roomCode());
    QTRY_COMPARE_WITH_TIMEOUT(bob.activeRoomId(), roomId, kWaitMs);

    // Bob's connection goes: he stays present, marked disconnected.
    bob.gateway.stop();
    const auto disconnected = [&] {
        const RoomEntity *room = alice.rooms.entityStore()->find(roomId);
        return room && room->publicState.disconnected.contains(bob.userId);
    };
    QTRY_VERIFY_WITH_TIMEOUT(disconnected(), kWaitMs);
    QCOMPARE(alice.present(roomId), (QStringList{alice.userId, bob.userId}));

    // Once his session has run out, his presence ends.
    rig.nowMs += 121000;
    rig.service->gateway()->expireDetachedSessions();
    QTRY_COMPARE_WITH_TIMEOUT(alice.present(roomId), QStringList{alice.userId}, kWaitMs);
    QVERIFY(!disconnected());
}

void LocalServiceRoomsTest::channelIsCreatedJoinedAndBans()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    // The first list replies are awaited, so the list changes below start from them.
    QSignalSpy aliceListed(alice.channels.listService(), &ChannelListService::listChanged);
    QSignalSpy bobListed(bob.channels.listService(), &ChannelListService::listChanged);
    alice.channels.listService()->bootstrap();
    bob.channels.listService()->bootstrap();
    QTRY_COMPARE_WITH_TIMEOUT(aliceListed.size(), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bobListed.size(), 1, kWaitMs);

    // Alice creates a channel; her list shows it and her store holds its snapshot.
    QString channelId;
    alice.channels.actionsService()->create(QStringLiteral("Choir"),
                                            [&](bool ok, const QString &id, auto, const QString &) {
                                                QVERIFY(ok);
                                                channelId = id;
                                            });
    QTRY_VERIFY_WITH_TIMEOUT(!channelId.isEmpty(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(alice.channels.listService()->channelIds(), QStringList{channelId}, kWaitMs);
    // The list retains the channel at once; its snapshot fills it in when the watch delivers it.
    QTRY_VERIFY_WITH_TIMEOUT(alice.channels.entityStore()->find(channelId), kWaitMs);
    const ChannelEntity *aliceView = alice.channels.entityStore()->find(channelId);
    QTRY_COMPARE_WITH_TIMEOUT(aliceView->name, QStringLiteral("Choir"), kWaitMs);
    QCOMPARE(aliceView->code.size(), 8);

    // Bob joins by the channel's code and sees it listed; Alice sees him as a member.
    QSignalSpy channelJoined(&bob.codes, &CodeMatchService::channelJoined);
    bob.codes.joinByCode(aliceView->code);
    QTRY_COMPARE_WITH_TIMEOUT(channelJoined.size(), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bob.channels.listService()->channelIds(), QStringList{channelId}, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(alice.channels.entityStore()->find(channelId)->indexOfMember(bob.userId) >= 0, kWaitMs);

    // A room of the channel, created through the client's own action.
    QString roomId;
    alice.channels.actionsService()->createRoom(channelId, [&](bool ok, const QString &id, const QString &, auto,
                                                               const QString &) {
        QVERIFY(ok);
        roomId = id;
    });
    QTRY_VERIFY_WITH_TIMEOUT(!roomId.isEmpty(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(alice.channels.entityStore()->find(channelId)->roomIds, QStringList{roomId}, kWaitMs);
    QCOMPARE(rig.service->rooms()->room(roomId)->channelId, channelId);

    // Bob, a plain member, may not ban; Alice bans Bob and the channel leaves his list.
    localservice::ApiRequest ban;
    ban.method = "PUT";
    ban.path = QStringLiteral("/v1/channels/%1/bans/%2").arg(channelId, alice.userId);
    ban.headers.append({"Authorization", "Bearer " + bob.auth.sessionStore()->accessToken().toLatin1()});
    QCOMPARE(rig.service->handle(ban).status, 403);
    ban.path = QStringLiteral("/v1/channels/%1/bans/%2").arg(channelId, bob.userId);
    ban.headers = {{"Authorization", "Bearer " + alice.auth.sessionStore()->accessToken().toLatin1()}};
    QCOMPARE(rig.service->handle(ban).status, 200);
    QTRY_VERIFY_WITH_TIMEOUT(bob.channels.listService()->channelIds().isEmpty(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(alice.channels.entityStore()->find(channelId)->indexOfMember(bob.userId) < 0, kWaitMs);
    // The code no longer lets him in.
    QSignalSpy refused(&bob.codes, &CodeMatchService::joinByCodeFailed);
    bob.codes.joinByCode(aliceView->code);
    QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, kWaitMs);
    QCOMPARE(refused.at(0).at(0).value<MatchErrorCode>(), MatchErrorCode::ChannelBanned);
}

void LocalServiceRoomsTest::stateSurvivesARestart()
{
    QTemporaryDir folder;
    localservice::LocalServiceConfig config = servertest::defaultConfig();
    config.statePath = folder.filePath(QStringLiteral("state.json"));
    QString roomId;
    QString userId;
    qint64 requestExpiresAtMs = 0;
    {
        ServiceRig rig(config);
        QVERIFY(rig.start());
        Client alice(QStringLiteral("device-a"));
        QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
        userId = alice.userId;
        alice.rooms.createService()->createPersistentRoom();
        QTRY_COMPARE_WITH_TIMEOUT(rig.service->state().world.rooms.size(), 1, kWaitMs);
        roomId = rig.service->state().world.rooms.firstKey();
        alice.rooms.session()->join(roomId);
        QTRY_COMPARE_WITH_TIMEOUT(alice.activeRoomId(), roomId, kWaitMs);
        alice.rooms.settingsService()->saveSettings(roomId, {{"bitrate", 32000}});
        alice.rooms.chatService()->sendMessage(roomId, QStringLiteral("kept"), 0, QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.service->state().world.rooms.first().messages.size(), 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(alice.rooms.session()->currentViewModel()->bitrate(), 32000, kWaitMs);
        // Bob's request to join is still pending when the service goes down.
        Client bob(QStringLiteral("device-b"));
        QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
        bob.rooms.applyService()->beginApply(roomId);
        QTRY_COMPARE_WITH_TIMEOUT(rig.service->rooms()->room(roomId)->joinRequests.size(), 1, kWaitMs);
        requestExpiresAtMs = rig.service->rooms()->room(roomId)->joinRequests.first().expiresAtMs;
        rig.service->shutdown();
    }
    // The service comes back after the request's time ran out: it ends at the start.
    ServiceRig again(config);
    again.nowMs = requestExpiresAtMs;
    QVERIFY(again.start());
    QVERIFY(again.service->rooms()->room(roomId)->joinRequests.isEmpty());
    const localservice::Room *room = again.service->rooms()->room(roomId);
    QVERIFY(room);
    QVERIFY(room->persistent);
    QCOMPARE(room->ownerId, userId);
    QCOMPARE(room->settings.value("bitrate").toInt(), 32000);
    QCOMPARE(room->messages.size(), 1);
    QCOMPARE(room->messages.first().content, QStringLiteral("kept"));
    QCOMPARE(room->nextSeq, 2);
    // Presence belongs to connections, which a restart ends.
    QVERIFY(room->present.isEmpty());
    QVERIFY(!QFile::exists(config.statePath + QStringLiteral(".tmp")));
}

void LocalServiceRoomsTest::requestsAndTimedMutesRunOut()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    // The expiry timer looks at the test's clock every few milliseconds.
    rig.service->rooms()->setExpiryCheckMs(5);
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    QObject::connect(&bob.gateway, &GatewayService::eventReceived, bob.rooms.applyService(),
                     &RoomApplyService::handleGatewayEvent);
    QSignalSpy bobEvents(&bob.gateway, &GatewayService::eventReceived);

    alice.rooms.createService()->createTempRoom(-1);
    QTRY_VERIFY_WITH_TIMEOUT(!alice.activeRoomId().isEmpty(), kWaitMs);
    const QString roomId = alice.activeRoomId();
    alice.rooms.settingsService()->saveSettings(roomId, {{"requireApproval", true}});
    QTRY_VERIFY_WITH_TIMEOUT(alice.rooms.session()->currentViewModel()->requireApproval(), kWaitMs);
    bob.rooms.createService()->createTempRoom(-1);
    QTRY_VERIFY_WITH_TIMEOUT(!bob.activeRoomId().isEmpty(), kWaitMs);
    const QString bobRoomId = bob.activeRoomId();

    // Bob asks to join Alice's room and to attach his own under it; Alice sees both.
    QSignalSpy joinAsked(alice.rooms.session(), &ActiveRoomSession::joinRequestAdded);
    QSignalSpy attachAsked(alice.rooms.session(), &ActiveRoomSession::subroomRequestAdded);
    QSignalSpy removed(alice.rooms.session(), &ActiveRoomSession::requestRemoved);
    QSignalSpy applied(bob.rooms.applyService(), &RoomApplyService::applyCreated);
    QSignalSpy applyExpired(bob.rooms.applyService(), &RoomApplyService::applyExpired);
    bob.rooms.applyService()->beginApply(roomId);
    bob.rooms.subroomService()->attachToParent(roomId);
    QTRY_COMPARE_WITH_TIMEOUT(joinAsked.size(), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(attachAsked.size(), 1, kWaitMs);
    // Bob's own answer comes over another connection than Alice's event, and may come later.
    QTRY_COMPARE_WITH_TIMEOUT(applied.size(), 1, kWaitMs);
    const QString joinRequestId = applied.at(0).at(0).toString();
    const auto attachRequest = attachAsked.at(0).at(0).value<roomdata::PendingSubroomRequest>();
    QCOMPARE(attachRequest.childRoomId, bobRoomId);
    const localservice::Room *served = rig.service->rooms()->room(roomId);
    QCOMPARE(served->joinRequests.size(), 1);
    QCOMPARE(served->subroomRequests.size(), 1);

    // A millisecond before their end both requests still stand.
    rig.nowMs = served->joinRequests.first().expiresAtMs - 1;
    rig.service->rooms()->expireDue();
    QCOMPARE(served->joinRequests.size(), 1);
    QCOMPARE(served->subroomRequests.size(), 1);
    QVERIFY(removed.isEmpty());

    // At their end the timer removes both: Alice's session drops them, Bob's apply
    // service reports the lapse, and Bob hears that his attach request ran out.
    rig.nowMs = std::max(served->joinRequests.first().expiresAtMs, served->subroomRequests.first().expiresAtMs);
    QTRY_COMPARE_WITH_TIMEOUT(removed.size(), 2, kWaitMs);
    QCOMPARE((QStringList{removed.at(0).at(0).toString(), removed.at(1).at(0).toString()}),
             (QStringList{joinRequestId, attachRequest.requestId}));
    QTRY_COMPARE_WITH_TIMEOUT(applyExpired.size(), 1, kWaitMs);
    QCOMPARE(applyExpired.at(0).at(0).toString(), joinRequestId);
    const auto attachLapsed = [&] {
        for (const QList<QVariant> &event : bobEvents) {
            const QJsonObject payload = event.at(1).toJsonObject();
            if (event.at(0).toString() == QLatin1String("room.subroom.rejected")
                && payload.value("requestId").toString() == attachRequest.requestId)
                return payload.value("trigger").toString() == QLatin1String("ttl_expired");
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(attachLapsed(), kWaitMs);
    QVERIFY(served->joinRequests.isEmpty());
    QVERIFY(served->subroomRequests.isEmpty());
    QVERIFY(rig.service->rooms()->room(bobRoomId)->parentRoomId.isEmpty());

    // Bob comes in by the room code; Alice mutes his text for five minutes.
    bob.codes.joinByCode(alice.rooms.session()->currentViewModel()->roomCode());
    QTRY_COMPARE_WITH_TIMEOUT(bob.activeRoomId(), roomId, kWaitMs);
    const auto textMuted = [](const Client &client, const QString &room, const QString &userId) {
        const RoomEntity *entity = client.rooms.entityStore()->find(room);
        return entity && entity->publicState.textMuted.contains(userId);
    };
    const qint64 mutedUntil = rig.nowMs + 5 * 60000;
    alice.rooms.moderationService()->muteTextIn(roomId, bob.userId, mutedUntil);
    QTRY_VERIFY_WITH_TIMEOUT(textMuted(alice, roomId, bob.userId), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(textMuted(bob, roomId, bob.userId), kWaitMs);
    rig.nowMs = mutedUntil - 1;
    rig.service->rooms()->expireDue();
    QCOMPARE(served->mutes.size(), 1);

    // When it ends, both clients hear the unmute and the service forgets the mute.
    rig.nowMs = mutedUntil;
    QTRY_VERIFY_WITH_TIMEOUT(!textMuted(alice, roomId, bob.userId), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!textMuted(bob, roomId, bob.userId), kWaitMs);
    QVERIFY(served->mutes.isEmpty());
}

void LocalServiceRoomsTest::ownerRoleOfAnOlderStateIsTheOwnersRole()
{
    // A state written when the owner's role had the id 1 reads with today's owner role id,
    // for rooms and channels alike; other roles keep their ids.
    const QByteArray older = R"({"format":1,
        "rooms":[{"id":"r1","ownerId":"u1","roles":[
            {"roleId":1,"name":"owner","level":100,"permissions":["core.room.speak"]},
            {"roleId":3,"name":"member","level":10,"permissions":[],"isJoinDefault":true}],
            "memberRoles":{"u1":1,"u2":3}}],
        "channels":[{"id":"c1","ownerId":"u1","roles":[
            {"roleId":1,"name":"owner","level":100,"permissions":["*"]},
            {"roleId":3,"name":"member","level":10,"permissions":[]}],
            "memberRoles":{"u1":1,"u2":3}}]})";
    QString error;
    const std::optional<localservice::RoomWorld> world =
        localservice::RoomWorld::fromJson(QJsonDocument::fromJson(older).object(), &error);
    QVERIFY2(world, qPrintable(error));
    const localservice::Room &room = world->rooms.value(QStringLiteral("r1"));
    QCOMPARE(room.memberRoles.value(QStringLiteral("u1")), localservice::kOwnerRoleId);
    QCOMPARE(room.memberRoles.value(QStringLiteral("u2")), qint64(3));
    QVERIFY(room.role(localservice::kOwnerRoleId));
    QVERIFY(!room.role(1));
    const localservice::Channel &channel = world->channels.value(QStringLiteral("c1"));
    QCOMPARE(channel.memberRoles.value(QStringLiteral("u1")), localservice::kOwnerRoleId);
    QCOMPARE(channel.roleOf(QStringLiteral("u1"))->permissions, QStringList{QStringLiteral("*")});
    QCOMPARE(channel.roleOf(QStringLiteral("u2"))->roleId, qint64(3));
    // What is written back is today's format, read without a change.
    const std::optional<localservice::RoomWorld> again = localservice::RoomWorld::fromJson(world->toJson(), &error);
    QVERIFY(again);
    QCOMPARE(again->rooms.value(QStringLiteral("r1")).memberRoles, room.memberRoles);
}

KESTOVA_TEST_MAIN(LocalServiceRoomsTest)
#include "test_local_service_rooms.moc"
