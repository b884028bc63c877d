#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

class QJsonArray;

// The role object that the room role events carry. The room's stream snapshot has a
// role form of its own; this one is only the events' form.
struct RoomRole
{
    qint64 id = 0;
    QString name;
    int level = 0;
    // Permission keys ("core.room.speak" ...) mapped to booleans, as they came; a
    // key whose value is true is granted.
    QJsonObject permissions;

    bool operator==(const RoomRole &) const = default;

    // Every object gives a role; no key is required.
    static RoomRole fromJson(const QJsonObject &object);
};

// One role per element, in order; an element that is not an object gives a role
// with every field at its default.
QList<RoomRole> parseRoomRoles(const QJsonArray &array);
