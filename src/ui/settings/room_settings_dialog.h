#pragma once

#include "ui/settings/member_entry.h"
#include "ui/settings/pref_member_list_view.h"
#include "ui/settings/room_base_settings_view.h"

#include <QDialog>
#include <QJsonObject>
#include <QList>

class PrefMemberListView;
class QStackedWidget;
class RoomDeleteView;
class RoomMembersView;
class RoomPermsView;
class UnderlineTabBar;

// The window in which a user edits one room: base settings, preference group, members,
// roles and permissions, and deletion of a persistent room. It makes no decision about
// rights and holds no service: data comes in through the setters (which never emit), and
// every request leaves as a signal forwarded unchanged from the page that raised it.
class RoomSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // The signed-in user's rights in the room, one flag per permission key.
    struct Permissions
    {
        bool changeName = false;                  // core.room.change_name
        bool changeBitrate = false;               // core.room.change_bitrate
        bool changeAccessMode = false;            // core.room.change_access_mode
        bool toggleRequireApproval = false;       // core.room.toggle_require_approval
        bool toggleCodeDirectEntry = false;       // core.room.toggle_code_direct_entry
        bool managePref = false;                  // core.room.manage_pref
        bool manageRoomCode = false;              // core.room.manage_room_code
        bool manageModule = false;                // core.room.manage_module
        bool toggleAllowSubroomAttach = false;    // core.room.toggle_allow_subroom_attach
        bool toggleAllowSubroomBroadcast = false; // core.room.toggle_allow_subroom_broadcast
        bool toggleAllowSubroomChat = false;      // core.room.toggle_allow_subroom_chat
        bool assignRoles = false;                 // core.room.assign_roles
        bool manageRoles = false;                 // core.room.manage_roles
        bool configTagSystem = false;             // core.room.config_tag_system
    };

    // Windowed: a modal window with a title and a close footer. Embedded: a plain child
    // widget without either.
    explicit RoomSettingsDialog(QWidget *parent = nullptr, bool embedded = false);

    void setSettings(const RoomBaseSettingsView::Values &values);
    void setPermissions(const Permissions &permissions);
    void setDefaultName(const QString &name);
    void setRoles(const QList<RoleEntry> &roles);
    void setMembers(const QList<MemberEntry> &members);
    void setPrefMembers(const QList<PrefMemberEntry> &members);
    void setDeleteEnabled(bool enabled);
    void setTagSystemEnabled(bool enabled);

    UnderlineTabBar *tabBar() const { return tabs; }
    QStackedWidget *pages() const { return stack; }
    RoomBaseSettingsView *basePage() const { return basePageView; }
    PrefMemberListView *prefList() const { return prefListView; }
    RoomMembersView *membersPage() const { return membersView; }
    RoomPermsView *rolesPage() const { return permsView; }
    // Null until the first persistent values.
    RoomDeleteView *deletePage() const { return deleteView; }
    QWidget *footer() const { return footerWidget; }

signals:
    void settingsSaved(const QJsonObject &updates);
    void roomCodeToggleRequested(bool enabled);
    void moduleSelectRequested();
    void moduleDetachRequested();
    void tagSystemToggleRequested(bool enabled);
    void prefMemberAddRequested();
    void prefMemberRemoveRequested(const QString &userId);
    void memberRoleChanged(const QString &userId, qlonglong roleId);
    void memberRoleBatchReassignRequested(qlonglong fromRoleId, qlonglong toRoleId);
    void roleCreateRequested(const QString &name);
    void roleRenameRequested(qlonglong roleId, const QString &newName);
    void rolePermissionsSaved(qlonglong roleId, const QStringList &permKeys);
    void roleDeleteRequested(qlonglong roleId);
    void rolesReordered(const QList<qint64> &orderedRoleIds);
    void roomDeleteRequested();

private:
    void refreshPrefStatus();

    UnderlineTabBar *tabs = nullptr;
    QStackedWidget *stack = nullptr;
    RoomBaseSettingsView *basePageView = nullptr;
    PrefMemberListView *prefListView = nullptr;
    RoomMembersView *membersView = nullptr;
    RoomPermsView *permsView = nullptr;
    RoomDeleteView *deleteView = nullptr;
    QWidget *footerWidget = nullptr;
    bool deleteEnabled = true;
};
