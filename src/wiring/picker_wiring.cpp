#include "wiring/picker_wiring.h"
#include "wiring/wiring_common.h"

#include "channel/channel_actions_service.h"
#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"
#include "match/preference_service.h"
#include "room/active_room_session.h"
#include "room/room_list_service.h"
#include "room/room_settings_service.h"
#include "room/room_view_model.h"
#include "ui/connect/config_window.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/settings/channel_settings_dialog.h"
#include "ui/settings/user_picker_dialog.h"
#include "user/abstract_user_resolver.h"
#include "user/user_state.h"

#include <QHash>
#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <algorithm>

namespace wiring {

namespace {

// What a channel role holding "*" is shown with.
const QStringList kAllChannelKeys{
    "core.channel.remove_members",       "core.channel.ban_members",   "core.channel.change_name",
    "core.channel.change_description",   "core.channel.manage_code",   "core.channel.create_attached_room",
    "core.channel.delete_attached_room", "core.channel.reorder_rooms", "core.channel.cascade_rooms",
    "core.channel.assign_roles",         "core.channel.manage_roles",  "core.channel.transfer_ownership",
    "core.channel.delete_channel",
};

// A channel action's result: nothing on success (the store brings the change), the
// failure text otherwise, unless the window that asked is gone.
ChannelActionsService::ResultCallback failureToast(const QPointer<MainStatusBar> &statusBar, const QString &fixedText)
{
    return [statusBar, fixedText](bool ok, ChannelErrorCode, const QString &message) {
        if (!ok && statusBar)
            showFailure(statusBar, message, fixedText);
    };
}

void connectChannelRequests(ChannelSettingsDialog *dialog, const QString &channelId, ChannelEntityStore *channelStore,
                            ChannelActionsService *actions, const QPointer<MainStatusBar> &statusBar)
{
    // The role as the store holds it now; "*" is sent back unexpanded.
    const auto storedRole = [channelStore, channelId](qint64 roleId) -> std::optional<ChannelRole> {
        const ChannelEntity *entity = channelStore != nullptr ? channelStore->find(channelId) : nullptr;
        const ChannelRole *role = entity != nullptr ? entity->findRole(roleId) : nullptr;
        return role != nullptr ? std::optional<ChannelRole>(*role) : std::nullopt;
    };
    QObject::connect(dialog, &ChannelSettingsDialog::settingsSaved, actions,
                     [actions, channelId, statusBar](const QJsonObject &updates) {
                         const QString name = updates.value(QLatin1String("name")).toString();
                         const QString description = updates.value(QLatin1String("description")).toString();
                         actions->updateSettings(channelId, updates.contains(QLatin1String("name")) ? &name : nullptr,
                                                 updates.contains(QLatin1String("description")) ? &description
                                                                                                : nullptr,
                                                 failureToast(statusBar, QStringLiteral("频道设置保存失败")));
                     });
    QObject::connect(dialog, &ChannelSettingsDialog::codeToggleRequested, actions,
                     [actions, channelId, statusBar](bool enabled) {
                         actions->setCodeEnabled(channelId, enabled,
                                                 failureToast(statusBar, QStringLiteral("频道码操作失败")));
                     });
    QObject::connect(dialog, &ChannelSettingsDialog::memberRoleChanged, actions,
                     [actions, channelId, statusBar](const QString &userId, qlonglong roleId) {
                         actions->setMemberRole(channelId, userId, roleId,
                                                failureToast(statusBar, QStringLiteral("身份分配失败")));
                     });
    QObject::connect(dialog, &ChannelSettingsDialog::memberRoleBatchReassignRequested, actions,
                     [actions, channelId, statusBar](qlonglong fromRoleId, qlonglong toRoleId) {
                         actions->reassignRole(channelId, fromRoleId, toRoleId,
                                               failureToast(statusBar, QStringLiteral("批量改派失败")));
                     });
    QObject::connect(dialog, &ChannelSettingsDialog::roleCreateRequested, actions,
                     [actions, channelId, statusBar](const QString &name) {
                         actions->createRole(channelId, name, {},
                                             [statusBar](bool ok, qint64, ChannelErrorCode, const QString &message) {
                                                 if (!ok && statusBar)
                                                     showFailure(statusBar, message, QStringLiteral("创建身份失败"));
                                             });
                     });
    QObject::connect(dialog, &ChannelSettingsDialog::roleRenameRequested, actions,
                     [actions, channelId, statusBar, storedRole](qlonglong roleId, const QString &newName) {
                         const std::optional<ChannelRole> role = storedRole(roleId);
                         actions->updateRole(channelId, roleId, newName, role ? role->permissions : QStringList(),
                                             failureToast(statusBar, QStringLiteral("重命名身份失败")));
                     });
    QObject::connect(dialog, &ChannelSettingsDialog::rolePermissionsSaved, actions,
                     [actions, channelId, statusBar, storedRole](qlonglong roleId, const QStringList &permKeys) {
                         const std::optional<ChannelRole> role = storedRole(roleId);
                         actions->updateRole(channelId, roleId, role ? role->name : QString(), permKeys,
                                             failureToast(statusBar, QStringLiteral("保存权限失败")));
                     });
    QObject::connect(dialog, &ChannelSettingsDialog::roleDeleteRequested, actions,
                     [actions, channelId, statusBar](qlonglong roleId) {
                         actions->deleteRole(channelId, roleId,
                                             failureToast(statusBar, QStringLiteral("删除身份失败")));
                     });
    // The dialog lists the highest level first; the server takes the lowest first.
    QObject::connect(dialog, &ChannelSettingsDialog::rolesReordered, actions,
                     [actions, channelId, statusBar](const QList<qint64> &orderedRoleIds) {
                         const QList<qint64> reversed(orderedRoleIds.crbegin(), orderedRoleIds.crend());
                         actions->reorderRoles(channelId, reversed,
                                               failureToast(statusBar, QStringLiteral("身份排序失败")));
                     });
    QObject::connect(dialog, &ChannelSettingsDialog::channelDeleteRequested, actions, [actions, channelId, statusBar] {
        actions->dissolve(channelId, failureToast(statusBar, QStringLiteral("删除频道失败")));
    });
}

} // namespace

void fillRoomPickSource(UserPickerDialog *picker, RoomViewModel *room, AbstractUserResolver *users)
{
    if (!room->available())
        return;
    const QList<RoomAclRole> roles = room->roles();
    const QStringList prefMembers = room->prefMembers();
    const auto roleOf = [&roles](qint64 roleId) -> const RoomAclRole * {
        for (const RoomAclRole &role : roles) {
            if (role.roleId == roleId)
                return &role;
        }
        return nullptr;
    };
    struct Row
    {
        int level = 0;
        PickEntry entry;
    };
    QList<Row> rows;
    const QHash<QString, qint64> memberRoles = room->memberRoles();
    for (auto it = memberRoles.cbegin(); it != memberRoles.cend(); ++it) {
        const RoomAclRole *role = roleOf(it.value());
        Row row;
        row.level = role != nullptr ? role->level : 0;
        row.entry.userId = it.key();
        row.entry.displayName = displayNameFor(users, it.key());
        row.entry.username = users != nullptr ? users->username(it.key()) : QString();
        row.entry.roleName = role != nullptr ? role->name : QStringLiteral("成员");
        row.entry.picked = prefMembers.contains(it.key());
        rows.append(row);
    }
    std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        return a.level != b.level ? a.level > b.level : a.entry.userId < b.entry.userId;
    });
    QList<PickEntry> entries;
    for (const Row &row : rows)
        entries.append(row.entry);
    picker->setRoomMembers(entries);
}

void openRoomPrefPicker(QWidget *parent, RoomViewModel *room, const QString &roomId, RoomSettingsService *roomSettings,
                        AbstractUserResolver *users)
{
    auto *picker = new UserPickerDialog(parent);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    picker->setWindowTitle(QStringLiteral("添加成员 — 房间偏好组"));
    fillRoomPickSource(picker, room, users);

    // A failed change redraws the rows from the store, so the row shows its stored state.
    auto *refill = new QTimer(picker);
    refill->setSingleShot(true);
    refill->setInterval(0);
    QObject::connect(refill, &QTimer::timeout, picker,
                     [picker, room, users] { fillRoomPickSource(picker, room, users); });
    QObject::connect(room, &RoomViewModel::roomChanged, refill, qOverload<>(&QTimer::start));
    if (users != nullptr)
        QObject::connect(users, &AbstractUserResolver::userInfoReady, refill, qOverload<>(&QTimer::start));
    if (roomSettings != nullptr) {
        QObject::connect(roomSettings, &RoomSettingsService::settingsFailed, refill, qOverload<>(&QTimer::start));
        QObject::connect(picker, &UserPickerDialog::addRequested, roomSettings,
                         [roomSettings, roomId](const QString &userId) {
                             roomSettings->addPrefMember(roomId, userId);
                         });
        QObject::connect(picker, &UserPickerDialog::removeRequested, roomSettings,
                         [roomSettings, roomId](const QString &userId) {
                             roomSettings->removePrefMember(roomId, userId);
                         });
    }
    picker->open();
}

QList<PickEntry> prefGroupCandidates(const PrefPickSources &sources, const QStringList &groupMembers)
{
    const QString ownId = sources.user != nullptr ? sources.user->userId() : QString();
    QList<PickEntry> entries;
    QSet<QString> seen;
    const auto add = [&](const QString &userId, const QString &hint) {
        if (userId.isEmpty() || userId == ownId || seen.contains(userId))
            return;
        seen.insert(userId);
        PickEntry entry;
        entry.userId = userId;
        entry.displayName = displayNameFor(sources.users, userId);
        entry.username = sources.users != nullptr ? sources.users->username(userId) : QString();
        entry.roleName = hint;
        entry.picked = groupMembers.contains(userId);
        entries.append(entry);
    };

    // The active room's members, highest role first, as the room's own picker lists them.
    RoomViewModel *room = sources.activeRoom != nullptr ? sources.activeRoom->currentViewModel() : nullptr;
    if (room != nullptr && room->available()) {
        const QList<RoomAclRole> roles = room->roles();
        const auto roleOf = [&roles](qint64 roleId) -> const RoomAclRole * {
            for (const RoomAclRole &role : roles) {
                if (role.roleId == roleId)
                    return &role;
            }
            return nullptr;
        };
        const QHash<QString, qint64> memberRoles = room->memberRoles();
        QStringList ids = memberRoles.keys();
        std::sort(ids.begin(), ids.end(), [&](const QString &a, const QString &b) {
            const RoomAclRole *ra = roleOf(memberRoles.value(a));
            const RoomAclRole *rb = roleOf(memberRoles.value(b));
            const int la = ra != nullptr ? ra->level : 0;
            const int lb = rb != nullptr ? rb->level : 0;
            return la != lb ? la > lb : a < b;
        });
        for (const QString &id : std::as_const(ids)) {
            const RoomAclRole *role = roleOf(memberRoles.value(id));
            add(id, role != nullptr ? role->name : QStringLiteral("成员"));
        }
    }
    // Then everyone present in the user's rooms, named by the room they were found in.
    if (sources.roomList != nullptr) {
        for (const MyRoomEntry &entry : sources.roomList->entries()) {
            const QString roomName = entry.name.isEmpty() ? entry.roomId : entry.name;
            for (const MyRoomMember &member : entry.members)
                add(member.userId, roomName);
        }
    }
    return entries;
}

void openPrefGroupPicker(ConfigWindow *editor, PreferenceService *preferences, const PrefPickSources &sources)
{
    auto *picker = new UserPickerDialog(editor);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    picker->setWindowTitle(QStringLiteral("添加成员 — 偏好组"));
    const auto fill = [picker, editor, preferences, sources] {
        const QList<PrefConfig> configs = preferences->configs();
        const int index = editor->currentIndex();
        const QStringList members = index >= 0 && index < configs.size() ? configs.at(index).memberIds : QStringList();
        picker->setRoomMembers(prefGroupCandidates(sources, members));
    };
    fill();

    // Refilled once per loop turn after the groups, the rooms or a name changed, so a
    // row shows whether its user is in the group now.
    auto *refill = new QTimer(picker);
    refill->setSingleShot(true);
    refill->setInterval(0);
    QObject::connect(refill, &QTimer::timeout, picker, fill);
    QObject::connect(preferences, &PreferenceService::configsChanged, refill, qOverload<>(&QTimer::start));
    QObject::connect(editor, &ConfigWindow::itemSelected, refill, qOverload<>(&QTimer::start));
    if (sources.roomList != nullptr)
        QObject::connect(sources.roomList, &RoomListService::listChanged, refill, qOverload<>(&QTimer::start));
    if (sources.activeRoom != nullptr)
        QObject::connect(sources.activeRoom, &ActiveRoomSession::activeRoomChanged, refill,
                         qOverload<>(&QTimer::start));
    if (sources.users != nullptr)
        QObject::connect(sources.users, &AbstractUserResolver::userInfoReady, refill, qOverload<>(&QTimer::start));

    QObject::connect(picker, &UserPickerDialog::addRequested, preferences,
                     [editor, preferences](const QString &userId) {
                         preferences->addMember(editor->currentIndex(), userId);
                     });
    QObject::connect(picker, &UserPickerDialog::removeRequested, preferences,
                     [editor, preferences](const QString &userId) {
                         preferences->removeMember(editor->currentIndex(), userId);
                     });
    picker->open();
}

QList<RoleEntry> channelSettingsRoles(const ChannelEntity &entity, const QString &ownUserId)
{
    const ChannelRole *own = ChannelEntity::memberRole(&entity, ownUserId);
    const int ownLevel = own != nullptr ? own->level : 0;
    const bool manageRoles = channelHasPermission(own, "core.channel.manage_roles");
    QList<ChannelRole> roles = entity.roles;
    std::sort(roles.begin(), roles.end(), [](const ChannelRole &a, const ChannelRole &b) { return a.level > b.level; });
    QList<RoleEntry> entries;
    for (const ChannelRole &role : roles) {
        RoleEntry entry;
        entry.id = role.roleId;
        entry.name = role.name;
        entry.memberCount = int(std::count_if(entity.members.cbegin(), entity.members.cend(),
                                              [&role](const ChannelMember &m) { return m.roleId == role.roleId; }));
        entry.isDefault = role.roleId == entity.defaultRoleId;
        entry.isOwnerRole = role.roleId < 0;
        entry.isMine = own != nullptr && own->roleId == role.roleId;
        entry.editable = manageRoles && role.roleId >= 0 && ownLevel > role.level;
        entry.permKeys = role.permissions.contains(QStringLiteral("*")) ? kAllChannelKeys : role.permissions;
        entries.append(entry);
    }
    return entries;
}

QList<MemberEntry> channelSettingsMembers(const ChannelEntity &entity, AbstractUserResolver *users)
{
    QList<MemberEntry> members;
    for (const ChannelMember &member : entity.members) {
        QString name = users != nullptr ? users->nickname(member.userId) : QString();
        if (name.isEmpty()) {
            if (users != nullptr && !users->isKnown(member.userId))
                users->request(member.userId);
            name = member.userId;
        }
        members.append({member.userId, name, users != nullptr ? users->username(member.userId) : QString(),
                        member.roleId, member.roleId == -1});
    }
    return members;
}

void refreshChannelSettings(ChannelSettingsDialog *dialog, ChannelEntityStore *channelStore, UserState *user,
                            AbstractUserResolver *users, const QString &channelId)
{
    const ChannelEntity *entity = channelStore != nullptr ? channelStore->find(channelId) : nullptr;
    if (entity == nullptr || !entity->valid)
        return;
    const ChannelRole *own = ChannelEntity::memberRole(entity, user != nullptr ? user->userId() : QString());

    ChannelSettingsDialog::Permissions rights;
    rights.changeName = channelHasPermission(own, "core.channel.change_name");
    rights.changeDescription = channelHasPermission(own, "core.channel.change_description");
    rights.manageCode = channelHasPermission(own, "core.channel.manage_code");
    rights.assignRoles = channelHasPermission(own, "core.channel.assign_roles");
    rights.manageRoles = channelHasPermission(own, "core.channel.manage_roles");
    dialog->setPermissions(rights);
    dialog->setDeleteEnabled(channelHasPermission(own, "core.channel.delete_channel"));
    dialog->setChannel({entity->name, entity->description, entity->code, entity->codeEnabled});

    dialog->setRoles(channelSettingsRoles(*entity, user != nullptr ? user->userId() : QString()));
    dialog->setMembers(channelSettingsMembers(*entity, users));
}

void openChannelSettings(MainWindow *window, const QString &channelId, ChannelListService *channelList,
                         ChannelEntityStore *channelStore, ChannelActionsService *channelActions, UserState *user,
                         AbstractUserResolver *users)
{
    auto *dialog = new ChannelSettingsDialog(window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (channelList != nullptr) {
        QObject::connect(channelList, &ChannelListService::membershipLost, dialog,
                         [dialog, channelId](const QString &lostId) {
                             if (lostId == channelId)
                                 dialog->close();
                         });
    }
    refreshChannelSettings(dialog, channelStore, user, users, channelId);

    auto *refresh = new QTimer(dialog);
    refresh->setSingleShot(true);
    refresh->setInterval(0);
    QObject::connect(refresh, &QTimer::timeout, dialog, [dialog, channelStore, user, users, channelId] {
        refreshChannelSettings(dialog, channelStore, user, users, channelId);
    });
    if (channelStore != nullptr) {
        QObject::connect(channelStore, &ChannelEntityStore::changed, refresh, [refresh, channelId](const QString &id) {
            if (id == channelId)
                refresh->start();
        });
    }
    if (users != nullptr)
        QObject::connect(users, &AbstractUserResolver::userInfoReady, refresh, qOverload<>(&QTimer::start));

    if (channelActions != nullptr)
        connectChannelRequests(dialog, channelId, channelStore, channelActions, window->statusBar());
    dialog->open();
}

} // namespace wiring
