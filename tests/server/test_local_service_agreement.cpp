// The client's own services and the rules its wiring applies, run against the local
// service: what the client sends and reads (role order, the owner's role id, channel
// events, tag counts, the wildcard permission, the channel's reach into its rooms,
// refusal texts, default names) means the same on both sides.
#include "client_language.h"
#include "service_client.h"

#include "channel/channel_actions_service.h"
#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_rooms_watch.h"
#include "match/match_error_code.h"
#include "room/room_error.h"
#include "room/room_moderation_service.h"
#include "server/local_service.h"
#include "server/rooms_api.h"
#include "server/service_state.h"
#include "support/test_main.h"
#include "user/user_profile.h"
#include "user/user_state.h"
#include "wiring/channel_panel_wiring.h"
#include "wiring/picker_wiring.h"
#include "wiring/room_panel_state.h"
#include "wiring/room_panels_wiring.h"
#include "wiring/room_settings_wiring.h"

#include <QSignalSpy>

using servertest::Client;
using servertest::connectClient;
using servertest::isChinese;
using servertest::kWaitMs;
using servertest::ServiceRig;

namespace {

// The signed-in user as the client's user state holds it after the profile fetch.
void holdUser(UserState &state, const Client &client)
{
    UserProfile profile;
    profile.userId = client.userId;
    state.applyProfile(profile);
}

// Creates a temporary room for the first client and brings the others in by its code.
QString meetInRoom(Client &owner, const QList<Client *> &guests)
{
    owner.rooms.createService()->createTempRoom(-1);
    if (!QTest::qWaitFor([&] { return !owner.activeRoomId().isEmpty(); }, kWaitMs))
        return {};
    const QString roomId = owner.activeRoomId();
    const QString code = owner.rooms.session()->currentViewModel()->roomCode();
    for (Client *guest : guests) {
        guest->codes.joinByCode(code);
        if (!QTest::qWaitFor([&] { return guest->activeRoomId() == roomId; }, kWaitMs))
            return {};
    }
    return roomId;
}

// Creates a channel for the first client after both lists have loaded, and lets the
// second join it by its code; the channel's id once both hold its snapshot.
QString meetInChannel(Client &owner, Client &guest)
{
    QSignalSpy ownerListed(owner.channels.listService(), &ChannelListService::listChanged);
    QSignalSpy guestListed(guest.channels.listService(), &ChannelListService::listChanged);
    owner.channels.listService()->bootstrap();
    guest.channels.listService()->bootstrap();
    if (!QTest::qWaitFor([&] { return !ownerListed.isEmpty() && !guestListed.isEmpty(); }, kWaitMs))
        return {};
    QString channelId;
    owner.channels.actionsService()->create(QStringLiteral("合唱团"),
                                            [&](bool ok, const QString &id, auto, const QString &) {
                                                if (ok)
                                                    channelId = id;
                                            });
    if (!QTest::qWaitFor([&] { return !channelId.isEmpty(); }, kWaitMs))
        return {};
    const auto holds = [&channelId](const Client &client, const QString &userId) {
        const ChannelEntity *entity = client.channels.entityStore()->find(channelId);
        return entity && entity->valid && entity->indexOfMember(userId) >= 0;
    };
    if (!QTest::qWaitFor([&] { return holds(owner, owner.userId); }, kWaitMs))
        return {};
    guest.codes.joinByCode(owner.channels.entityStore()->find(channelId)->code);
    if (!QTest::qWaitFor([&] { return holds(guest, guest.userId) && holds(owner, guest.userId); }, kWaitMs))
        return {};
    return channelId;
}

QList<qint64> roleIdsOf(const QList<RoleEntry> &entries)
{
    QList<qint64> ids;
    for (const RoleEntry &entry : entries)
        ids << entry.id;
    return ids;
}

} // namespace

class LocalServiceAgreementTest : public QObject
{
    Q_OBJECT

private slots:
    void reorderedRolesDecideWhoMayKick();
    void roomOwnerCarriesTheOwnerMark();
    void channelOwnerIsNotOfferedLeaving();
    void deletedChannelRoomLeavesAnotherClientsPanel();
    void forumCardsCountTheirMessages();
    void ownerRoleWithWildcardIsRenamed();
    void refusalsSpeakTheClientsLanguage();
    void persistentRoomWithoutANameGetsOne();
    void channelOwnerActsInEveryRoomOfTheChannel();
};

void LocalServiceAgreementTest::reorderedRolesDecideWhoMayKick()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    Client carol(QStringLiteral("device-c"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    QVERIFY(connectClient(rig, carol, QStringLiteral("13800138003")));
    const QString roomId = meetInRoom(alice, {&bob, &carol});
    QVERIFY(!roomId.isEmpty());
    UserState aliceState;
    UserState bobState;
    holdUser(aliceState, alice);
    holdUser(bobState, bob);

    // Alice makes Bob a moderator: the moderator ranks above the member Carol, so Bob's
    // menu for Carol offers kicking.
    RoomViewModel *aliceRoom = alice.rooms.session()->currentViewModel();
    RoomViewModel *bobRoom = bob.rooms.session()->currentViewModel();
    QList<RoleEntry> shown = wiring::roomSettingsRoles(aliceRoom, &aliceState, nullptr);
    QCOMPARE(shown.size(), 3);
    const qint64 moderator = shown.at(1).id;
    const qint64 member = shown.at(2).id;
    QVERIFY(shown.at(2).isDefault);
    alice.rooms.settingsService()->assignMemberRole(roomId, bob.userId, moderator);
    QTRY_COMPARE_WITH_TIMEOUT(bobRoom->memberRoles().value(bob.userId), moderator, kWaitMs);
    wiring::RoomMenuContext bobMenu;
    bobMenu.activeRoom = bob.rooms.session();
    bobMenu.roomStore = bob.rooms.entityStore();
    bobMenu.user = &bobState;
    QVERIFY(wiring::participantMenuState(bobMenu, carol.userId).canKick);

    // Alice drags the member role above the moderator role in her dialog. The dialog
    // reports the roles she may edit top to bottom; the wiring sends them lowest first.
    QVERIFY(shown.at(1).editable && shown.at(2).editable);
    QVERIFY(!shown.at(0).editable);
    const QList<qint64> reportedTopDown{member, moderator};
    QList<qint64> lowestFirst(reportedTopDown.crbegin(), reportedTopDown.crend());
    alice.rooms.settingsService()->reorderRoles(roomId, lowestFirst);

    // Both clients now rank the member role above the moderator role, the owner's still on top.
    const auto levelOf = [](const RoomViewModel *room, qint64 roleId) {
        for (const RoomAclRole &role : room->roles()) {
            if (role.roleId == roleId)
                return role.level;
        }
        return -1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(levelOf(bobRoom, member) > levelOf(bobRoom, moderator), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(levelOf(aliceRoom, member) > levelOf(aliceRoom, moderator), kWaitMs);
    shown = wiring::roomSettingsRoles(aliceRoom, &aliceState, nullptr);
    QCOMPARE(roleIdsOf(shown), (QList<qint64>{shown.at(0).id, member, moderator}));
    QVERIFY(shown.at(0).isOwnerRole);

    // Bob's menu no longer offers kicking Carol, and the service refuses it as well.
    QVERIFY(!wiring::participantMenuState(bobMenu, carol.userId).canKick);
    QSignalSpy refused(bob.rooms.moderationService(), &RoomModerationService::moderationFailed);
    bob.rooms.moderationService()->kick(carol.userId);
    QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, kWaitMs);
    QVERIFY(isChinese(refused.at(0).at(1).toString()));
    QCOMPARE(rig.service->rooms()->room(roomId)->memberRoles.value(carol.userId), member);
    QVERIFY(alice.present(roomId).contains(carol.userId));

    // Alice gives the member role the right to kick: ranked above the moderator now,
    // Carol may remove Bob.
    QSignalSpy settingsFailed(alice.rooms.settingsService(), &RoomSettingsService::settingsFailed);
    alice.rooms.settingsService()->updateRole(roomId, member, shown.at(1).name,
                                              shown.at(1).permKeys
                                                  + QStringList{QStringLiteral("core.room.kick_members")});
    UserState carolState;
    holdUser(carolState, carol);
    wiring::RoomMenuContext carolMenu = bobMenu;
    carolMenu.activeRoom = carol.rooms.session();
    carolMenu.roomStore = carol.rooms.entityStore();
    carolMenu.user = &carolState;
    QTRY_VERIFY_WITH_TIMEOUT(wiring::participantMenuState(carolMenu, bob.userId).canKick, kWaitMs);
    QVERIFY(settingsFailed.isEmpty());
    carol.rooms.moderationService()->kick(bob.userId);
    QTRY_VERIFY_WITH_TIMEOUT(bob.activeRoomId().isEmpty(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!alice.present(roomId).contains(bob.userId), kWaitMs);
}

void LocalServiceAgreementTest::roomOwnerCarriesTheOwnerMark()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    const QString roomId = meetInRoom(alice, {&bob});
    QVERIFY(!roomId.isEmpty());
    UserState bobState;
    holdUser(bobState, bob);

    // On Bob's member page Alice carries the owner mark and Bob does not; the owner's
    // role is the owner role and nobody but the channel cascade may edit it.
    RoomViewModel *bobRoom = bob.rooms.session()->currentViewModel();
    QTRY_COMPARE_WITH_TIMEOUT(bobRoom->memberRoles().size(), 2, kWaitMs);
    const QList<MemberEntry> members = wiring::roomSettingsMembers(bobRoom, nullptr);
    QCOMPARE(members.size(), 2);
    for (const MemberEntry &entry : members)
        QCOMPARE(entry.isOwner, entry.userId == alice.userId);
    const QList<RoleEntry> roles = wiring::roomSettingsRoles(bobRoom, &bobState, nullptr);
    QVERIFY(roles.first().isOwnerRole);
    QCOMPARE(roles.first().id, bobRoom->memberRoles().value(alice.userId));
    QCOMPARE(std::count_if(roles.cbegin(), roles.cend(), [](const RoleEntry &r) { return r.isOwnerRole; }), 1);
    // The default roles are named in the client's language.
    for (const RoleEntry &role : roles)
        QVERIFY2(isChinese(role.name), qPrintable(role.name));

    // The owner's role cannot be handed to somebody else, nor deleted.
    QSignalSpy failed(alice.rooms.settingsService(), &RoomSettingsService::settingsFailed);
    alice.rooms.settingsService()->assignMemberRole(roomId, bob.userId, roles.first().id);
    alice.rooms.settingsService()->deleteRole(roomId, roles.first().id);
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 2, kWaitMs);
    QCOMPARE(rig.service->rooms()->room(roomId)->memberRoles.value(bob.userId), roles.last().id);
}

void LocalServiceAgreementTest::channelOwnerIsNotOfferedLeaving()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    const QString channelId = meetInChannel(alice, bob);
    QVERIFY(!channelId.isEmpty());

    // The channel menu offers the owner no "退出频道"; a member gets it.
    QVERIFY(wiring::channelMenuState(alice.channels.entityStore(), alice.userId, channelId).ownerLike);
    QVERIFY(!wiring::channelMenuState(bob.channels.entityStore(), bob.userId, channelId).ownerLike);
    QVERIFY(wiring::channelMenuState(alice.channels.entityStore(), alice.userId, channelId).canCreateRoom);

    // On both clients' member pages the owner carries the owner mark, and the owner's
    // role is marked as the owner role.
    for (const Client *client : {&alice, &bob}) {
        const ChannelEntity *entity = client->channels.entityStore()->find(channelId);
        const QList<MemberEntry> members = wiring::channelSettingsMembers(*entity, nullptr);
        QCOMPARE(members.size(), 2);
        for (const MemberEntry &entry : members)
            QCOMPARE(entry.isOwner, entry.userId == alice.userId);
        const QList<RoleEntry> roles = wiring::channelSettingsRoles(*entity, client->userId);
        QVERIFY(roles.first().isOwnerRole);
        QVERIFY(!roles.first().editable);
        for (const RoleEntry &role : roles)
            QVERIFY2(isChinese(role.name), qPrintable(role.name));
    }

    // Alice drags the member role above the admin role: the dialog reports the roles she
    // may edit top to bottom, the wiring sends them lowest first, and both clients then
    // rank them that way, the owner's role still on top.
    QList<RoleEntry> shown = wiring::channelSettingsRoles(*alice.channels.entityStore()->find(channelId), alice.userId);
    QCOMPARE(shown.size(), 3);
    QVERIFY(shown.at(1).editable && shown.at(2).editable);
    const qint64 adminRoleId = shown.at(1).id;
    const qint64 memberRoleId = shown.at(2).id;
    const QList<qint64> reportedTopDown{memberRoleId, adminRoleId};
    std::optional<bool> reordered;
    alice.channels.actionsService()->reorderRoles(channelId,
                                                  QList<qint64>(reportedTopDown.crbegin(), reportedTopDown.crend()),
                                                  [&](bool ok, ChannelErrorCode, const QString &) { reordered = ok; });
    QTRY_VERIFY_WITH_TIMEOUT(reordered.has_value(), kWaitMs);
    QVERIFY(*reordered);
    const auto bobsOrder = [&] {
        return roleIdsOf(wiring::channelSettingsRoles(*bob.channels.entityStore()->find(channelId), bob.userId));
    };
    QTRY_COMPARE_WITH_TIMEOUT(bobsOrder(), (QList<qint64>{shown.at(0).id, memberRoleId, adminRoleId}), kWaitMs);

    // A leave that reaches the service anyway is refused with the owner's own code.
    std::optional<ChannelErrorCode> refusal;
    QString refusalText;
    alice.channels.actionsService()->leave(channelId, [&](bool ok, ChannelErrorCode code, const QString &message) {
        refusal = ok ? std::nullopt : std::optional(code);
        refusalText = message;
    });
    QTRY_VERIFY_WITH_TIMEOUT(!refusalText.isEmpty(), kWaitMs);
    QCOMPARE(refusal, std::optional(ChannelErrorCode::OwnerCannotLeave));
    QVERIFY(isChinese(refusalText));
}

void LocalServiceAgreementTest::deletedChannelRoomLeavesAnotherClientsPanel()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    const QString channelId = meetInChannel(alice, bob);
    QVERIFY(!channelId.isEmpty());
    // Bob's client keeps the channel's rooms watched, as its wiring does.
    ChannelRoomsWatch bobRooms(bob.channels.listService(), bob.channels.entityStore(), bob.rooms.entityStore(),
                               &bob.registry);

    // Bob's channel panel, built as the wiring builds it on every rebuild.
    const auto bobPanel = [&bob] {
        wiring::ChannelPanelInput input;
        input.store = bob.channels.entityStore();
        input.channelIds = bob.channels.listService()->channelIds();
        input.ownUserId = bob.userId;
        wiring::RoomPanelsInput rooms;
        rooms.store = bob.rooms.entityStore();
        rooms.displayName = [](const QString &userId) { return userId; };
        const wiring::ActiveRoomContext context = wiring::buildActiveRoomContext(rooms);
        input.roomBlock = [rooms, context](const QString &roomId) {
            return wiring::buildListRoomBlock(rooms, context, roomId, QString());
        };
        return wiring::buildMyChannelPanelState(input);
    };
    const auto panelRoomIds = [&bobPanel] {
        QStringList ids;
        const blocks::BlockListData data = bobPanel();
        for (const blocks::BlockSection &section : data.sections) {
            for (const blocks::ChannelBlockData &channel : section.channels) {
                for (const blocks::RoomBlockData &room : channel.rooms)
                    ids << room.roomId;
            }
        }
        return ids;
    };

    QString keptId;
    QString goneId;
    for (QString *id : {&keptId, &goneId}) {
        alice.channels.actionsService()->createRoom(channelId, [id](bool ok, const QString &roomId, const QString &,
                                                                    auto, const QString &) {
            if (ok)
                *id = roomId;
        });
        QTRY_VERIFY_WITH_TIMEOUT(!id->isEmpty(), kWaitMs);
    }
    QTRY_COMPARE_WITH_TIMEOUT(panelRoomIds(), (QStringList{keptId, goneId}), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(bob.rooms.entityStore()->find(goneId) != nullptr, kWaitMs);
    const qint64 versionBefore = bob.channels.entityStore()->find(channelId)->version;

    // Alice deletes one room through the room settings service; the channel's event
    // takes it out of Bob's channel, his panel and his watched rooms.
    alice.rooms.settingsService()->deleteRoom(goneId);
    QTRY_COMPARE_WITH_TIMEOUT(panelRoomIds(), QStringList{keptId}, kWaitMs);
    QVERIFY(bob.channels.entityStore()->find(channelId)->version > versionBefore);
    QCOMPARE(bob.channels.entityStore()->find(channelId)->roomIds, QStringList{keptId});
    QTRY_COMPARE_WITH_TIMEOUT(bobRooms.heldRoomIds(), QStringList{keptId}, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(bob.rooms.entityStore()->find(goneId) == nullptr, kWaitMs);
    QCOMPARE(rig.service->state().world.channels.value(channelId).roomIds, QStringList{keptId});
}

void LocalServiceAgreementTest::forumCardsCountTheirMessages()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    const QString roomId = meetInRoom(alice, {&bob});
    QVERIFY(!roomId.isEmpty());
    QSignalSpy bobEvents(&bob.gateway, &GatewayService::eventReceived);
    const auto subscribed = [&roomId](const QSignalSpy &events) {
        return std::any_of(events.cbegin(), events.cend(), [&roomId](const QList<QVariant> &event) {
            return event.at(0).toString() == QLatin1String("chat-subscribed")
                   && event.at(1).toJsonObject().value("roomId").toString() == roomId;
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(subscribed(bobEvents), kWaitMs);

    // Alice switches tags on and opens a thread; Bob answers twice in it and once outside.
    QSignalSpy bobTags(bob.rooms.chatService(), &RoomChatService::tagsChanged);
    alice.rooms.chatService()->setTagConfig(roomId, true);
    QTRY_VERIFY_WITH_TIMEOUT(rig.service->rooms()->room(roomId)->tagsEnabled, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(subscribed(bobEvents), kWaitMs);
    alice.rooms.chatService()->createTag(roomId, QStringLiteral("周末"), QStringLiteral("周六去哪"),
                                         QStringLiteral("谁来?"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.service->rooms()->room(roomId)->tags.size(), 1, kWaitMs);
    const qint64 tagId = rig.service->rooms()->room(roomId)->tags.first().tagId;
    bob.rooms.chatService()->sendMessage(roomId, QStringLiteral("我来"), tagId, QString());
    bob.rooms.chatService()->sendMessage(roomId, QStringLiteral("带上吉他"), tagId, QString());
    bob.rooms.chatService()->sendMessage(roomId, QStringLiteral("题外话"), 0, QString());
    QTRY_COMPARE_WITH_TIMEOUT(rig.service->rooms()->room(roomId)->messages.size(), 4, kWaitMs);

    // The tag list that Bob's chat service loads counts the thread's three posts. Loads
    // started by the events before may answer later; the test waits for the count.
    bob.rooms.chatService()->refreshTags(roomId);
    const auto latestTags = [&bobTags] {
        return bobTags.isEmpty() ? QList<RoomChatService::ChatTagInfo>()
                                 : bobTags.last().at(2).value<QList<RoomChatService::ChatTagInfo>>();
    };
    QTRY_VERIFY_WITH_TIMEOUT(latestTags().size() == 1 && latestTags().first().messageCount == 3, kWaitMs);
    const QList<RoomChatService::ChatTagInfo> tags = latestTags();
    QCOMPARE(tags.first().tagId, tagId);
    QCOMPARE(tags.first().messageCount, 3);
    QCOMPARE(tags.first().firstTitle, QStringLiteral("周六去哪"));
}

void LocalServiceAgreementTest::ownerRoleWithWildcardIsRenamed()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    const QString channelId = meetInChannel(alice, bob);
    QVERIFY(!channelId.isEmpty());

    // A rename sends the role's stored permissions back unchanged: "*" for the owner's role.
    const ChannelEntity *entity = alice.channels.entityStore()->find(channelId);
    const ChannelRole *owner = ChannelEntity::memberRole(entity, alice.userId);
    QVERIFY(owner);
    QCOMPARE(owner->permissions, QStringList{QStringLiteral("*")});
    const qint64 ownerRoleId = owner->roleId;
    std::optional<bool> renamed;
    alice.channels.actionsService()->updateRole(channelId, ownerRoleId, QStringLiteral("团长"), owner->permissions,
                                                [&](bool ok, ChannelErrorCode, const QString &) { renamed = ok; });
    QTRY_VERIFY_WITH_TIMEOUT(renamed.has_value(), kWaitMs);
    QVERIFY(*renamed);
    const auto roleName = [&channelId, ownerRoleId](const Client &client) {
        const ChannelEntity *held = client.channels.entityStore()->find(channelId);
        const ChannelRole *role = held ? held->findRole(ownerRoleId) : nullptr;
        return role ? role->name : QString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(roleName(bob), QStringLiteral("团长"), kWaitMs);
    QCOMPARE(bob.channels.entityStore()->find(channelId)->findRole(ownerRoleId)->permissions,
             QStringList{QStringLiteral("*")});

    // A member may not hand out the wildcard: it is every permission, which he lacks.
    std::optional<bool> granted;
    QString refusalText;
    bob.channels.actionsService()->createRole(channelId, QStringLiteral("全能"), {QStringLiteral("*")},
                                              [&](bool ok, qint64, ChannelErrorCode, const QString &message) {
                                                  granted = ok;
                                                  refusalText = message;
                                              });
    QTRY_VERIFY_WITH_TIMEOUT(granted.has_value(), kWaitMs);
    QVERIFY(!*granted);
    QVERIFY(isChinese(refusalText));
}

void LocalServiceAgreementTest::refusalsSpeakTheClientsLanguage()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    const QString roomId = meetInRoom(alice, {&bob});
    QVERIFY(!roomId.isEmpty());

    // A member may not delete the room: refused in Chinese, classified as before.
    QSignalSpy settingsFailed(bob.rooms.settingsService(), &RoomSettingsService::settingsFailed);
    bob.rooms.settingsService()->deleteRoom(roomId);
    QTRY_COMPARE_WITH_TIMEOUT(settingsFailed.size(), 1, kWaitMs);
    QCOMPARE(settingsFailed.at(0).at(0).value<RoomErrorCode>(), RoomErrorCode::Other);
    QVERIFY(isChinese(settingsFailed.at(0).at(1).toString()));

    // Banned, Bob is refused at the door with the ban's own code.
    alice.rooms.moderationService()->ban(bob.userId);
    QTRY_VERIFY_WITH_TIMEOUT(bob.activeRoomId().isEmpty(), kWaitMs);
    QSignalSpy enterFailed(bob.rooms.session(), &ActiveRoomSession::enterFailed);
    bob.rooms.session()->join(roomId);
    QTRY_COMPARE_WITH_TIMEOUT(enterFailed.size(), 1, kWaitMs);
    QCOMPARE(enterFailed.at(0).at(0).value<RoomErrorCode>(), RoomErrorCode::Banned);
    QVERIFY(isChinese(enterFailed.at(0).at(1).toString()));

    // A code that names nothing.
    QSignalSpy codeFailed(&bob.codes, &CodeMatchService::joinByCodeFailed);
    bob.codes.joinByCode(QStringLiteral("00000000"));
    QTRY_COMPARE_WITH_TIMEOUT(codeFailed.size(), 1, kWaitMs);
    QCOMPARE(codeFailed.at(0).at(0).value<MatchErrorCode>(), MatchErrorCode::InvalidCode);
    QVERIFY(isChinese(codeFailed.at(0).at(1).toString()));
}

void LocalServiceAgreementTest::persistentRoomWithoutANameGetsOne()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));

    // The client creates a persistent room with an empty body; entered, it reads as
    // the owner's room, the way the client names an unnamed room itself.
    QSignalSpy created(alice.rooms.createService(), &RoomCreateService::persistentRoomCreated);
    alice.rooms.createService()->createPersistentRoom();
    QTRY_COMPARE_WITH_TIMEOUT(created.size(), 1, kWaitMs);
    const QString roomId = created.at(0).at(0).toString();
    alice.rooms.session()->join(roomId);
    QTRY_COMPARE_WITH_TIMEOUT(alice.activeRoomId(), roomId, kWaitMs);
    const QString nickname = rig.service->state().accounts.value(alice.userId).nickname;
    QVERIFY(!nickname.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(alice.rooms.session()->currentViewModel()->roomName(),
                              nickname + QStringLiteral("的房间"), kWaitMs);
}

void LocalServiceAgreementTest::channelOwnerActsInEveryRoomOfTheChannel()
{
    ServiceRig rig;
    QVERIFY(rig.start());
    Client alice(QStringLiteral("device-a"));
    Client bob(QStringLiteral("device-b"));
    Client carol(QStringLiteral("device-c"));
    QVERIFY(connectClient(rig, alice, QStringLiteral("13800138001")));
    QVERIFY(connectClient(rig, bob, QStringLiteral("13800138002")));
    QVERIFY(connectClient(rig, carol, QStringLiteral("13800138003")));
    const QString channelId = meetInChannel(alice, bob);
    QVERIFY(!channelId.isEmpty());

    // Alice makes Bob an admin of her channel; Bob creates a room in it and owns that room.
    const ChannelEntity *aliceChannel = alice.channels.entityStore()->find(channelId);
    const auto admin = std::find_if(aliceChannel->roles.cbegin(), aliceChannel->roles.cend(), [](const ChannelRole &r) {
        return r.permissions.contains(QStringLiteral("core.channel.create_attached_room"))
               && !r.permissions.contains(QStringLiteral("*"));
    });
    QVERIFY(admin != aliceChannel->roles.cend());
    const qint64 adminRoleId = admin->roleId;
    std::optional<bool> promoted;
    alice.channels.actionsService()->setMemberRole(channelId, bob.userId, adminRoleId,
                                                   [&](bool ok, ChannelErrorCode, const QString &) { promoted = ok; });
    QTRY_VERIFY_WITH_TIMEOUT(promoted.has_value(), kWaitMs);
    QVERIFY(*promoted);
    QString roomId;
    QTRY_VERIFY_WITH_TIMEOUT(wiring::channelMenuState(bob.channels.entityStore(), bob.userId, channelId).canCreateRoom,
                             kWaitMs);
    bob.channels.actionsService()->createRoom(channelId,
                                              [&](bool ok, const QString &id, const QString &, auto, const QString &) {
                                                  if (ok)
                                                      roomId = id;
                                              });
    QTRY_VERIFY_WITH_TIMEOUT(!roomId.isEmpty(), kWaitMs);
    bob.rooms.session()->join(roomId);
    QTRY_COMPARE_WITH_TIMEOUT(bob.activeRoomId(), roomId, kWaitMs);
    const QString code = bob.rooms.session()->currentViewModel()->roomCode();
    for (Client *guest : {&alice, &carol}) {
        guest->codes.joinByCode(code);
        QTRY_COMPARE_WITH_TIMEOUT(guest->activeRoomId(), roomId, kWaitMs);
    }

    // In Bob's room Alice holds only the member role, but her channel role reaches every
    // room of the channel: her client offers her kicking Carol, and the service agrees.
    UserState aliceState;
    holdUser(aliceState, alice);
    wiring::RoomMenuContext aliceMenu;
    aliceMenu.activeRoom = alice.rooms.session();
    aliceMenu.roomStore = alice.rooms.entityStore();
    aliceMenu.user = &aliceState;
    aliceMenu.channelStore = alice.channels.entityStore();
    QTRY_VERIFY_WITH_TIMEOUT(alice.rooms.session()->currentViewModel()->memberRoles().contains(carol.userId), kWaitMs);
    QVERIFY(wiring::participantMenuState(aliceMenu, carol.userId).canKick);
    QSignalSpy refused(alice.rooms.moderationService(), &RoomModerationService::moderationFailed);
    alice.rooms.moderationService()->kick(carol.userId);
    QTRY_VERIFY_WITH_TIMEOUT(carol.activeRoomId().isEmpty(), kWaitMs);
    QVERIFY(refused.isEmpty());

    // Bob's admin role does not reach the rooms: in a room of Alice's he is a member.
    QString aliceRoomId;
    alice.channels.actionsService()->createRoom(channelId, [&](bool ok, const QString &id, const QString &, auto,
                                                               const QString &) {
        if (ok)
            aliceRoomId = id;
    });
    QTRY_VERIFY_WITH_TIMEOUT(!aliceRoomId.isEmpty(), kWaitMs);
    QSignalSpy bobRefused(bob.rooms.settingsService(), &RoomSettingsService::settingsFailed);
    bob.rooms.settingsService()->deleteRoom(aliceRoomId);
    QTRY_COMPARE_WITH_TIMEOUT(bobRefused.size(), 1, kWaitMs);
    QVERIFY(rig.service->rooms()->room(aliceRoomId));
}

KESTOVA_TEST_MAIN(LocalServiceAgreementTest)
#include "test_local_service_agreement.moc"
