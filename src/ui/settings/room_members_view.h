#pragma once

#include "ui/settings/member_entry.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QListWidget;
class QPushButton;
class SegmentedControl;

// Members of a room or channel with their roles: search, role filter, a role menu per
// member and a batch move between roles. Passive: setters never emit, and a request never
// changes the rows; fresh records come back through the setters. A refill updates the
// rows in place: unchanged rows, the scroll position and an open role menu survive it.
class RoomMembersView : public QWidget
{
    Q_OBJECT

public:
    explicit RoomMembersView(QWidget *parent = nullptr);

    void setMembers(const QList<MemberEntry> &members);
    void setRoles(const QList<RoleEntry> &roles);
    void setEditRights(bool canAssign, bool canBatchReassign);

    // "all" or a role id in decimal.
    QString roleFilter() const { return filter; }
    QLineEdit *searchField() const { return search; }
    SegmentedControl *filterControl() const { return filterSegments; }
    QListWidget *memberList() const { return list; }
    QWidget *batchBar() const { return batch; }
    QComboBox *sourceBox() const { return sourceCombo; }
    QComboBox *targetBox() const { return targetCombo; }
    QPushButton *applyButton() const { return apply; }

signals:
    void memberRoleChanged(const QString &userId, qlonglong roleId);
    void memberRoleBatchReassignRequested(qlonglong fromRoleId, qlonglong toRoleId);

private:
    // What one shown row displays; equal rows keep their widget across refills.
    struct Row
    {
        MemberEntry member;
        QString roleName;
        bool top = false;
        bool enabled = false;
        bool operator==(const Row &) const = default;
    };

    void rebuildAll();
    void rebuildFilterBar();
    void rebuildList();
    void refreshBatchBar();
    QWidget *makeRow(const Row &row);
    void openRoleMenu(QPushButton *button, const QString &userId, qint64 currentRoleId);
    void requestBatch();
    QList<RoleEntry> visibleRoles() const;
    const RoleEntry *roleById(qint64 id) const;

    QList<MemberEntry> members;
    QList<RoleEntry> roles;
    bool canAssign = false;
    bool canBatchReassign = false;
    QString filter = QStringLiteral("all");
    QList<QPair<QString, QString>> shownSegments; // label, value
    QList<Row> shownRows;                         // parallel to the list's items

    QLineEdit *search = nullptr;
    QHBoxLayout *filterLayout = nullptr;
    SegmentedControl *filterSegments = nullptr;
    QListWidget *list = nullptr;
    QWidget *batch = nullptr;
    QComboBox *sourceCombo = nullptr;
    QComboBox *targetCombo = nullptr;
    QPushButton *apply = nullptr;
};
