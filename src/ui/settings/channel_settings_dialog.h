#pragma once

#include "ui/settings/channel_base_settings_view.h"
#include "ui/settings/member_entry.h"

#include <QDialog>
#include <QJsonObject>
#include <QList>
#include <QStringList>

class QStackedWidget;
class RoomDeleteView;
class RoomMembersView;
class RoomPermsView;
class UnderlineTabBar;

// The window in which a user edits one channel: base settings, member roles, roles and
// their permissions, deletion. A frame around four pages (three shared with the room
// settings); it holds no service, channel id or rights of its own. Setters never emit;
// every signal is a plain forward of the page that raised it. GUI thread.
class ChannelSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // The signed-in user's rights in the channel, computed by the wiring.
    struct Permissions
    {
        bool changeName = false;
        bool changeDescription = false;
        bool manageCode = false;
        bool assignRoles = false;
        bool manageRoles = false;
    };

    explicit ChannelSettingsDialog(QWidget *parent = nullptr);

    void setPermissions(const Permissions &permissions);
    void setDeleteEnabled(bool enabled);
    void setChannel(const ChannelBaseSettingsView::Values &values);
    void setMembers(const QList<MemberEntry> &members);
    void setRoles(const QList<RoleEntry> &roles);

    UnderlineTabBar *tabBar() const { return tabs; }
    QStackedWidget *pages() const { return stack; }
    ChannelBaseSettingsView *basePage() const { return baseView; }
    RoomMembersView *membersPage() const { return membersView; }
    RoomPermsView *rolesPage() const { return permsView; }
    RoomDeleteView *deletePage() const { return deleteView; }

signals:
    void settingsSaved(const QJsonObject &updates);
    void codeToggleRequested(bool enabled);
    void memberRoleChanged(const QString &userId, qlonglong roleId);
    void memberRoleBatchReassignRequested(qlonglong fromRoleId, qlonglong toRoleId);
    void roleCreateRequested(const QString &name);
    void roleRenameRequested(qlonglong roleId, const QString &newName);
    void rolePermissionsSaved(qlonglong roleId, const QStringList &permKeys);
    void roleDeleteRequested(qlonglong roleId);
    void rolesReordered(const QList<qint64> &orderedRoleIds);
    void channelDeleteRequested();

private:
    UnderlineTabBar *tabs = nullptr;
    QStackedWidget *stack = nullptr;
    ChannelBaseSettingsView *baseView = nullptr;
    RoomMembersView *membersView = nullptr;
    RoomPermsView *permsView = nullptr;
    RoomDeleteView *deleteView = nullptr;
};
