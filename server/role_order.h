#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <optional>

namespace localservice {

// Whether the user holds a role of the room or channel `holder` that ranks above each of
// the named roles, which must exist. Who acts as owner is the caller's question.
template<class Holder>
bool roleRanksAbove(const Holder &holder, const QString &userId, const QList<qint64> &roleIds)
{
    const auto *own = holder.roleOf(userId);
    return std::all_of(roleIds.cbegin(), roleIds.cend(),
                       [&](qint64 id) { return own && holder.role(id)->level < own->level; });
}

// A new rank for some of a room's or channel's roles. `lowestFirst` names distinct
// roles, the lowest-ranking first, as clients send them: they name only the roles the
// sender may edit, so the roles left out, the owner's among them, keep their places.
// The named roles swap into the places that they held between them, and levels are
// pulled apart where two of them were equal, so the order given is the order that
// counts. Returns the roles highest level first, or nothing when an id is unknown,
// repeated or the excluded one (the owner's role). `Role` has `roleId` and `level`.
template<class Role>
std::optional<QList<Role>> reorderedRoles(const QList<Role> &roles, const QList<qint64> &lowestFirst,
                                          qint64 excludedRoleId)
{
    if (lowestFirst.isEmpty())
        return std::nullopt;
    QList<Role> ascending = roles;
    std::stable_sort(ascending.begin(), ascending.end(),
                     [](const Role &a, const Role &b) { return a.level < b.level; });
    QList<int> places;
    for (int i = 0; i < ascending.size(); ++i) {
        if (lowestFirst.contains(ascending.at(i).roleId))
            places << i;
    }
    // An unknown or repeated id leaves fewer places than ids.
    if (places.size() != lowestFirst.size() || lowestFirst.contains(excludedRoleId))
        return std::nullopt;
    QList<Role> named;
    for (const qint64 id : lowestFirst) {
        named << *std::find_if(roles.cbegin(), roles.cend(), [id](const Role &r) { return r.roleId == id; });
    }
    // Each named role takes the next place and that place's level; where places had equal
    // levels, the lower role goes just below the one above it. Downwards, so that no
    // role rises to the level of a role above the places, the caller's own included.
    for (int i = places.size() - 1; i >= 0; --i) {
        const int level = ascending.at(places.at(i)).level;
        named[i].level = i == places.size() - 1 ? level : std::min(level, named.at(i + 1).level - 1);
    }
    for (int i = 0; i < places.size(); ++i)
        ascending[places.at(i)] = named.at(i);
    std::stable_sort(ascending.begin(), ascending.end(),
                     [](const Role &a, const Role &b) { return a.level > b.level; });
    return ascending;
}

} // namespace localservice
