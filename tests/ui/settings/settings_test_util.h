#pragma once

#include "ui/settings/member_entry.h"
#include "ui/widgets/segmented_control.h"

#include <QList>
#include <QTest>

namespace settingstest {

// Clicks the segment carrying this value; false when no segment carries it.
inline bool clickSegment(SegmentedControl *control, const QString &value)
{
    for (const SegmentedControl::Segment &segment : control->segments()) {
        if (segment.value == value) {
            QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(segment.x + segment.width / 2, 10));
            return true;
        }
    }
    return false;
}

inline QStringList segmentLabels(const SegmentedControl *control)
{
    QStringList labels;
    for (const SegmentedControl::Segment &segment : control->segments())
        labels.append(segment.label);
    return labels;
}

inline RoleEntry role(qint64 id, const QString &name, int count, bool editable, QStringList keys = {})
{
    RoleEntry entry;
    entry.id = id;
    entry.name = name;
    entry.memberCount = count;
    entry.isOwnerRole = id < 0;
    entry.editable = editable;
    entry.permKeys = keys;
    return entry;
}

inline MemberEntry member(const QString &userId, const QString &displayName, const QString &username, qint64 roleId)
{
    MemberEntry entry;
    entry.userId = userId;
    entry.displayName = displayName;
    entry.username = username;
    entry.roleId = roleId;
    entry.isOwner = roleId == -1;
    return entry;
}

// Owner first, then the roles highest level first: an admin the viewer may not edit, a
// moderator and the default member role.
inline QList<RoleEntry> sampleRoles()
{
    QList<RoleEntry> roles{
        role(-1, QStringLiteral("房主"), 1, false),
        role(10, QStringLiteral("管理员"), 1, false, {QStringLiteral("core.room.kick_members")}),
        role(20, QStringLiteral("主持"), 2, true, {QStringLiteral("core.room.speak")}),
        role(30, QStringLiteral("成员"), 3, true,
             {QStringLiteral("core.room.speak"), QStringLiteral("core.room.send_message")}),
    };
    roles[3].isDefault = true;
    roles[2].isMine = true;
    return roles;
}

// Sorted by user id as the caller passes them.
inline QList<MemberEntry> sampleMembers()
{
    return {
        member(QStringLiteral("Zed"), QStringLiteral("Zed"), QStringLiteral("zed"), 30),
        member(QStringLiteral("u1"), QStringLiteral("阿明"), QStringLiteral("aming"), -1),
        member(QStringLiteral("u2"), QStringLiteral("Bob"), QStringLiteral("bobby"), 10),
        member(QStringLiteral("u3"), QStringLiteral("carol"), QStringLiteral("Carol_C"), 20),
        member(QStringLiteral("u4"), QStringLiteral("🐱猫"), QString(), 20),
        member(QStringLiteral("u5"), QString(), QStringLiteral("nobody"), 30),
        member(QStringLiteral("u6"), QStringLiteral("Dan"), QStringLiteral("dan"), 30),
    };
}

} // namespace settingstest
