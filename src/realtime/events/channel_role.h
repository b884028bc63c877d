#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QJsonArray;
class QJsonObject;

// A role of a channel, as the channel events carry it and the channel's record holds it.
struct ChannelRole
{
    qint64 roleId = 0;
    QString name;
    int level = 0;
    // Permission keys of the "core.channel." family in payload order, or "*" for all.
    QStringList permissions;

    bool operator==(const ChannelRole &) const = default;

    // Every object gives a role; no key is required.
    static ChannelRole fromJson(const QJsonObject &object);
};

// One role per element, in order; an element that is not an object gives a role
// with every field at its default.
QList<ChannelRole> parseChannelRoles(const QJsonArray &array);
