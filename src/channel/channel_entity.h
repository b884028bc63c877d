#pragma once

#include "realtime/events/channel_event_payload.h"
#include "realtime/events/channel_role.h"

#include <QList>
#include <QString>
#include <QStringList>

class QJsonObject;

// One member of a channel. Role id 0 stands for no role, -1 for the owner.
struct ChannelMember
{
    QString userId;
    qint64 roleId = 0;
    qint64 joinedAt = 0; // milliseconds since the epoch

    bool operator==(const ChannelMember &) const = default;
};

// One user banned from a channel.
struct ChannelBan
{
    QString userId;
    QString bannedBy; // user id of who banned
    QString reason;
    qint64 bannedAt = 0; // milliseconds since the epoch

    bool operator==(const ChannelBan &) const = default;
};

// One channel as its stream snapshot describes it, kept current by the channel events.
// A plain value; GUI thread only.
struct ChannelEntity
{
    QString channelId;
    // True once filled from a snapshot with a channel id; a record the store made for a
    // watched id stays false until its first snapshot.
    bool valid = false;
    QString name;
    QString description;
    QString code;
    bool codeEnabled = false;
    qint64 createdAt = 0;         // milliseconds since the epoch
    QList<ChannelMember> members; // server order; joiners are appended
    QList<ChannelRole> roles;     // the order shown to the user
    qint64 defaultRoleId = 0;     // given to new members and to a former owner
    QStringList roomIds;          // attached rooms, in display order
    QList<ChannelBan> bans;
    qint64 version = 0;

    bool operator==(const ChannelEntity &) const = default;

    // The record of a channel snapshot. Without a non-empty "channelId" the result is the
    // empty record with valid false; members and bans without a user id and empty room
    // ids are skipped.
    static ChannelEntity fromJson(const QJsonObject &snapshot);

    // Index of the first member with exactly this user id, or -1.
    int indexOfMember(const QString &userId) const;
    // Index of the first role with this id, or -1.
    int indexOfRole(qint64 roleId) const;
    // The first role with this id, or null; valid is not looked at.
    const ChannelRole *findRole(qint64 roleId) const;

    // The role record of a member: null for a null or not yet valid entity, an empty
    // user id, a user who is not a member, or a member whose role is not in the list.
    static const ChannelRole *memberRole(const ChannelEntity *entity, const QString &userId);

    // Applies one channel event; true when the record changed as far as the event's
    // rule tells (see the reducer for each event's rule).
    bool applyEvent(const ChannelEventPayload &event);
};

// Whether the role grants the permission key: false for a null role, true when its
// list holds "*" or the key. Exact, case-sensitive comparisons.
bool channelHasPermission(const ChannelRole *role, const char *key);
