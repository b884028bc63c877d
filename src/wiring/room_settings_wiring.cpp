#include "wiring/room_settings_wiring.h"
#include "wiring/main_window_wiring.h"
#include "wiring/window_views.h"
#include "wiring/wiring_common.h"

#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "realtime/gateway_service.h"
#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_chat_service.h"
#include "room/room_entity_store.h"
#include "room/room_settings_service.h"
#include "room/room_view_model.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "user/abstract_user_resolver.h"
#include "user/user_state.h"

#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <optional>

#include "wiring/picker_wiring.h"

namespace wiring {

namespace {

QString ownUserId(UserState *user)
{
    return user != nullptr ? user->userId() : QString();
}

// Whether the user's own channel role grants every room of the room's channel.
bool roomCascade(RoomViewModel *room, UserState *user, ChannelEntityStore *channelStore)
{
    const QString channelId = room->channelId();
    if (channelStore == nullptr || channelId.isEmpty())
        return false;
    return channelHasPermission(ChannelEntity::memberRole(channelStore->find(channelId), ownUserId(user)),
                                "core.channel.cascade_rooms");
}

std::optional<RoomAclRole> findRole(RoomViewModel *room, qint64 roleId)
{
    for (const RoomAclRole &role : room->roles()) {
        if (role.roleId == roleId)
            return role;
    }
    return std::nullopt;
}

void connectDialogRequests(RoomSettingsDialog *dialog, RoomViewModel *room, const QString &roomId,
                           RoomSettingsService *roomSettings, RoomChatService *roomChat)
{
    if (roomSettings != nullptr) {
        QObject::connect(dialog, &RoomSettingsDialog::settingsSaved, roomSettings,
                         [roomSettings, roomId](const QJsonObject &updates) {
                             roomSettings->saveSettings(roomId, updates);
                         });
        QObject::connect(dialog, &RoomSettingsDialog::roomDeleteRequested, roomSettings,
                         [roomSettings, roomId] { roomSettings->deleteRoom(roomId); });
        QObject::connect(dialog, &RoomSettingsDialog::roomCodeToggleRequested, roomSettings,
                         [roomSettings, roomId](bool enabled) { roomSettings->setRoomCodeEnabled(roomId, enabled); });
        QObject::connect(dialog, &RoomSettingsDialog::moduleDetachRequested, roomSettings,
                         [roomSettings, roomId] { roomSettings->detachModule(roomId); });
        QObject::connect(dialog, &RoomSettingsDialog::prefMemberRemoveRequested, roomSettings,
                         [roomSettings, roomId](const QString &userId) {
                             roomSettings->removePrefMember(roomId, userId);
                         });
        QObject::connect(dialog, &RoomSettingsDialog::memberRoleChanged, roomSettings,
                         [roomSettings, roomId](const QString &userId, qlonglong roleId) {
                             roomSettings->assignMemberRole(roomId, userId, roleId);
                         });
        QObject::connect(dialog, &RoomSettingsDialog::memberRoleBatchReassignRequested, roomSettings,
                         [roomSettings, roomId](qlonglong fromRoleId, qlonglong toRoleId) {
                             roomSettings->reassignRole(roomId, fromRoleId, toRoleId);
                         });
        QObject::connect(dialog, &RoomSettingsDialog::roleCreateRequested, roomSettings,
                         [roomSettings, roomId](const QString &name) { roomSettings->createRole(roomId, name); });
        // A rename keeps the role's permissions and a permission save keeps its name, both
        // as the store holds them at the moment of the request.
        QObject::connect(dialog, &RoomSettingsDialog::roleRenameRequested, roomSettings,
                         [roomSettings, room, roomId](qlonglong roleId, const QString &newName) {
                             const std::optional<RoomAclRole> role = findRole(room, roleId);
                             if (role)
                                 roomSettings->updateRole(roomId, roleId, newName, role->permissions.values());
                         });
        QObject::connect(dialog, &RoomSettingsDialog::rolePermissionsSaved, roomSettings,
                         [roomSettings, room, roomId](qlonglong roleId, const QStringList &permKeys) {
                             const std::optional<RoomAclRole> role = findRole(room, roleId);
                             if (role)
                                 roomSettings->updateRole(roomId, roleId, role->name, permKeys);
                         });
        QObject::connect(dialog, &RoomSettingsDialog::roleDeleteRequested, roomSettings,
                         [roomSettings, roomId](qlonglong roleId) { roomSettings->deleteRole(roomId, roleId); });
        // The dialog lists the highest level first; the server takes the lowest first.
        QObject::connect(dialog, &RoomSettingsDialog::rolesReordered, roomSettings,
                         [roomSettings, roomId](const QList<qint64> &orderedRoleIds) {
                             QList<qint64> reversed(orderedRoleIds.crbegin(), orderedRoleIds.crend());
                             roomSettings->reorderRoles(roomId, reversed);
                         });
    }
    if (roomChat != nullptr) {
        QObject::connect(dialog, &RoomSettingsDialog::tagSystemToggleRequested, roomChat,
                         [roomChat, roomId](bool enabled) { roomChat->setTagConfig(roomId, enabled); });
        QObject::connect(roomChat, &RoomChatService::tagsChanged, dialog,
                         [dialog, roomId](const QString &changedRoomId, bool enabled) {
                             if (changedRoomId == roomId)
                                 dialog->setTagSystemEnabled(enabled);
                         });
    }
}

} // namespace

RoomSettingsDialog::Permissions roomSettingsPermissions(RoomViewModel *room, UserState *user,
                                                        ChannelEntityStore *channelStore)
{
    RoomSettingsDialog::Permissions rights;
    if (room == nullptr || !room->available())
        return rights;
    const QString ownId = ownUserId(user);
    const bool cascade = roomCascade(room, user, channelStore);
    const auto has = [&](const char *key) { return room->userHasPermission(ownId, QLatin1String(key), cascade); };
    rights.changeName = has("core.room.change_name");
    rights.changeBitrate = has("core.room.change_bitrate");
    rights.changeAccessMode = has("core.room.change_access_mode");
    rights.toggleRequireApproval = has("core.room.toggle_require_approval");
    rights.toggleCodeDirectEntry = has("core.room.toggle_code_direct_entry");
    rights.managePref = has("core.room.manage_pref");
    rights.manageRoomCode = has("core.room.manage_room_code");
    rights.manageModule = has("core.room.manage_module");
    rights.toggleAllowSubroomAttach = has("core.room.toggle_allow_subroom_attach");
    rights.toggleAllowSubroomBroadcast = has("core.room.toggle_allow_subroom_broadcast");
    rights.toggleAllowSubroomChat = has("core.room.toggle_allow_subroom_chat");
    rights.assignRoles = has("core.room.assign_roles");
    rights.manageRoles = has("core.room.manage_roles");
    rights.configTagSystem = has("core.room.config_tag_system");
    return rights;
}

void pushRoomSettingsPermissions(RoomSettingsDialog *dialog, RoomViewModel *room, UserState *user,
                                 ChannelEntityStore *channelStore)
{
    dialog->setPermissions(roomSettingsPermissions(room, user, channelStore));
    // Only a persistent room of no channel can be deleted, and never through the cascade.
    const bool canDelete = room->userHasPermission(ownUserId(user), QStringLiteral("core.room.delete"), false)
                           && room->isPersistent() && room->channelId().isEmpty();
    dialog->setDeleteEnabled(canDelete);
}

void pushRoomSettingsValues(RoomSettingsDialog *dialog, RoomViewModel *room)
{
    if (!room->available())
        return;
    RoomBaseSettingsView::Values values;
    values.name = room->roomName();
    values.bitrate = room->bitrate();
    values.isPersistent = room->isPersistent();
    values.roomCode = room->roomCode();
    values.roomCodeEnabled = room->roomCodeEnabled();
    values.moduleId = room->attachedModule();
    values.moduleName = room->attachedModule();
    values.accessMode = room->accessMode();
    values.requireApproval = room->requireApproval();
    values.codeDirectEntry = room->codeDirectEntry();
    values.allowSubroom = room->allowSubRoom();
    values.allowSubroomBroadcast = room->allowSubRoomBroadcast();
    values.allowSubroomChat = room->allowSubRoomChat();
    dialog->setSettings(values);
}

QList<PrefMemberEntry> roomSettingsPrefMembers(RoomViewModel *room, AbstractUserResolver *users)
{
    QList<PrefMemberEntry> entries;
    for (const QString &userId : room->prefMembers())
        entries.append({userId, displayNameFor(users, userId), users != nullptr ? users->username(userId) : QString()});
    return entries;
}

QList<MemberEntry> roomSettingsMembers(RoomViewModel *room, AbstractUserResolver *users)
{
    const QHash<QString, qint64> memberRoles = room->memberRoles();
    QStringList memberIds = memberRoles.keys();
    std::sort(memberIds.begin(), memberIds.end());
    QList<MemberEntry> entries;
    for (const QString &userId : memberIds) {
        const qint64 roleId = memberRoles.value(userId);
        entries.append({userId, displayNameFor(users, userId), users != nullptr ? users->username(userId) : QString(),
                        roleId, roleId == -1});
    }
    return entries;
}

QList<RoleEntry> roomSettingsRoles(RoomViewModel *room, UserState *user, ChannelEntityStore *channelStore)
{
    const QHash<QString, qint64> memberRoles = room->memberRoles();
    QList<RoomAclRole> roles = room->roles();
    std::sort(roles.begin(), roles.end(), [](const RoomAclRole &a, const RoomAclRole &b) { return a.level > b.level; });
    const qint64 ownRoleId = memberRoles.value(ownUserId(user), 0);
    int ownLevel = -1;
    if (roomCascade(room, user, channelStore)) {
        ownLevel = INT_MAX;
    } else if (ownRoleId != 0) {
        for (const RoomAclRole &role : roles) {
            if (role.roleId == ownRoleId)
                ownLevel = role.level;
        }
    }
    QList<RoleEntry> entries;
    for (const RoomAclRole &role : roles) {
        RoleEntry entry;
        entry.id = role.roleId;
        entry.name = role.name;
        entry.memberCount = int(std::count(memberRoles.cbegin(), memberRoles.cend(), role.roleId));
        entry.isDefault = role.isJoinDefault;
        entry.isOwnerRole = role.roleId < 0;
        entry.isMine = ownRoleId != 0 && ownRoleId == role.roleId;
        entry.editable = role.level < ownLevel;
        entry.permKeys = role.permissions.values();
        entries.append(entry);
    }
    return entries;
}

void pushRoomSettingsLists(RoomSettingsDialog *dialog, RoomViewModel *room, AbstractUserResolver *users,
                           UserState *user, ChannelEntityStore *channelStore)
{
    if (!room->available())
        return;
    dialog->setPrefMembers(roomSettingsPrefMembers(room, users));
    dialog->setMembers(roomSettingsMembers(room, users));
    dialog->setRoles(roomSettingsRoles(room, user, channelStore));
}

void openRoomSettings(MainWindow *window, RoomEntityStore *roomStore, RoomAdapterRegistry *adapters,
                      RoomSettingsService *roomSettings, UserState *user, AbstractUserResolver *users,
                      GatewayService *gateway, ChannelEntityStore *channelStore, RoomChatService *roomChat,
                      const QString &roomId)
{
    if (roomId.isEmpty() || adapters == nullptr)
        return;
    RoomViewModel *room = adapters->viewModel(roomId);
    if (room == nullptr)
        return;

    auto *dialog = new RoomSettingsDialog(window, false);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The room stays in the store for as long as its dialog shows it.
    if (roomStore != nullptr) {
        roomStore->retain(roomId);
        QObject::connect(dialog, &QObject::destroyed, roomStore, [roomStore, roomId] { roomStore->release(roomId); });
    }
    if (gateway != nullptr) {
        QObject::connect(gateway, &GatewayService::eventReceived, dialog,
                         [dialog, roomId](const QString &name, const QJsonObject &payload) {
                             if ((name == QLatin1String("room.hidden") || name == QLatin1String("room.expired"))
                                 && payload.value(QLatin1String("roomId")).toString() == roomId)
                                 dialog->close();
                         });
    }

    pushRoomSettingsPermissions(dialog, room, user, channelStore);
    pushRoomSettingsValues(dialog, room);
    pushRoomSettingsLists(dialog, room, users, user, channelStore);

    auto *refresh = new QTimer(dialog);
    refresh->setSingleShot(true);
    refresh->setInterval(0);
    QObject::connect(refresh, &QTimer::timeout, dialog, [dialog, room, users, user, channelStore] {
        pushRoomSettingsPermissions(dialog, room, user, channelStore);
        pushRoomSettingsLists(dialog, room, users, user, channelStore);
        pushRoomSettingsValues(dialog, room);
    });
    QObject::connect(room, &RoomViewModel::roomChanged, refresh, qOverload<>(&QTimer::start));
    if (users != nullptr)
        QObject::connect(users, &AbstractUserResolver::userInfoReady, refresh, qOverload<>(&QTimer::start));
    if (channelStore != nullptr) {
        QObject::connect(channelStore, &ChannelEntityStore::changed, refresh,
                         [refresh, room](const QString &channelId) {
                             if (!channelId.isEmpty() && channelId == room->channelId())
                                 refresh->start();
                         });
    }

    connectDialogRequests(dialog, room, roomId, roomSettings, roomChat);
    QObject::connect(dialog, &RoomSettingsDialog::prefMemberAddRequested, dialog,
                     [dialog, room, roomId, roomSettings, users] {
                         openRoomPrefPicker(dialog, room, roomId, roomSettings, users);
                     });

    if (roomChat != nullptr)
        roomChat->refreshTags(roomId);
    dialog->show();
}

void wireRoomSettings(MainWindow *window, ActiveRoomSession *activeRoom, RoomEntityStore *roomStore,
                      RoomAdapterRegistry *adapters, RoomSettingsService *roomSettings, UserState *user,
                      AbstractUserResolver *users, GatewayService *gateway, ChannelEntityStore *channelStore,
                      RoomChatService *roomChat)
{
    MainStatusBar *statusBar = window->statusBar();
    if (roomSettings != nullptr) {
        QObject::connect(roomSettings, &RoomSettingsService::settingsFailed, statusBar,
                         [statusBar](RoomErrorCode, const QString &message) {
                             showFailure(statusBar, message, QStringLiteral("设置保存失败，请稍后重试"));
                         });
    }
    const auto open = [window, roomStore, adapters, roomSettings, user, users, gateway, channelStore,
                       roomChat](const QString &roomId) {
        openRoomSettings(window, roomStore, adapters, roomSettings, user, users, gateway, channelStore, roomChat,
                         roomId);
    };
    if (auto *panel = windowView<CurrentRoomPanel>(window->currentRoomPanel()))
        QObject::connect(panel, &CurrentRoomPanel::roomSettingsRequested, window, open);
    if (auto *panel = windowView<MyRoomPanel>(window->myRoomPanel()))
        QObject::connect(panel, &MyRoomPanel::roomSettingsRequested, window, open);
    if (auto *panel = windowView<MyChannelPanel>(window->myChannelPanel()))
        QObject::connect(panel, &MyChannelPanel::roomSettingsRequested, window, open);
    if (auto *tab = windowView<ConnectSettingsTab>(window->connectSettingsTab())) {
        QObject::connect(tab, &ConnectSettingsTab::openRoomPrefEditRequested, window,
                         [window, activeRoom, adapters, roomSettings, users] {
                             const QString roomId = activeRoom != nullptr ? activeRoom->activeRoomId() : QString();
                             if (roomId.isEmpty() || adapters == nullptr)
                                 return;
                             if (RoomViewModel *room = adapters->viewModel(roomId))
                                 openRoomPrefPicker(window, room, roomId, roomSettings, users);
                         });
    }
}

} // namespace wiring
