#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// One member row of the members page.
struct MemberEntry
{
    QString userId;
    QString displayName;
    QString username;
    qint64 roleId = 0;
    bool isOwner = false; // shown with the owner tag instead of a role button

    bool operator==(const MemberEntry &) const = default;
};

// One role, shared by the members page and the roles page. Lists of roles are passed
// highest level first.
struct RoleEntry
{
    qint64 id = 0; // negative for the owner role
    QString name;
    int memberCount = 0;
    bool isDefault = false;
    bool isOwnerRole = false;
    bool isMine = false;
    bool editable = false; // decided by the caller from the viewer's own level
    QStringList permKeys;

    bool operator==(const RoleEntry &) const = default;
};
