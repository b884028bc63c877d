#pragma once

#include "ui/settings/member_entry.h"
#include "ui/settings/permission_catalog.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;
class QVBoxLayout;

// Roles in level order on a rail, and the selected role's permissions as check boxes
// grouped by a constant catalogue. Passive: every change leaves as a signal and shows only
// when the owner passes a new role list; a toggled box stays toggled until the role's keys
// change, and an equal role list changes nothing.
class RoomPermsView : public QWidget
{
    Q_OBJECT

public:
    explicit RoomPermsView(QWidget *parent = nullptr);

    void setRoles(const QList<RoleEntry> &roles);
    void setCanManage(bool canManage);
    void setCatalog(const PermissionGroup *groups, int groupCount, const PermissionDef *ownerOnly, int ownerOnlyCount,
                    const QString &ownerNote);

    qint64 selectedRoleId() const { return selectedId; }
    QListWidget *roleList() const { return rolesList; }
    QPushButton *newRoleButton() const { return newRole; }
    QPushButton *renameButton() const { return rename; }
    QPushButton *deleteButton() const { return remove; }
    QLabel *titleLabel() const { return title; }
    QLabel *countLabel() const { return memberCount; }
    QLabel *ownerNameLabel() const { return ownerName; }
    QWidget *gridWidget() const { return grid; }

signals:
    void roleCreateRequested(const QString &name);
    void roleRenameRequested(qlonglong roleId, const QString &newName);
    void rolePermissionsSaved(qlonglong roleId, const QStringList &permKeys);
    void roleDeleteRequested(qlonglong roleId);
    void rolesReordered(const QList<qint64> &orderedRoleIds);

private:
    void rebuildRail();
    void showRole(qint64 roleId);
    void clearGrid();
    void savePermission(const QString &key, bool checked);
    void createRole();
    void renameRole();
    void deleteRole();
    void reportOrder();
    const RoleEntry *roleById(qint64 id) const;

    QList<RoleEntry> roles;
    bool canManage = false;
    QSet<QString> working;
    // The role with toggles sent but not answered, and its keys as they were then.
    qint64 pendingRoleId = 0;
    QStringList pendingBase;
    qint64 selectedId = 0;
    const PermissionGroup *groups = kRoomPermissionGroups;
    int groupCount = kRoomPermissionGroupCount;
    const PermissionDef *ownerOnly = kRoomOwnerOnlyPermissions;
    int ownerOnlyCount = kRoomOwnerOnlyPermissionCount;
    QString ownerNote = QString::fromUtf8(kRoomOwnerNote);

    QLabel *ownerName = nullptr;
    QListWidget *rolesList = nullptr;
    QPushButton *newRole = nullptr;
    QLabel *title = nullptr;
    QLabel *memberCount = nullptr;
    QPushButton *rename = nullptr;
    QPushButton *remove = nullptr;
    QWidget *grid = nullptr;
    QVBoxLayout *gridLayout = nullptr;
};
