#pragma once

#include "room/room_hierarchy.h"
#include "room/room_list_service.h"
#include "ui/panels/block_records.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class RoomEntityStore;

// The pure functions that turn the room store, the user's room list and the speaker
// lists into the complete records of the current-room and my-rooms panels. They read
// only what the input holds and change nothing; the panels compare the result with
// what they show. GUI thread only (the store is read in place).
namespace wiring {

// One snapshot of everything the room panels show, gathered anew for every rebuild.
struct RoomPanelsInput
{
    // Without a store both panel builders give their empty result.
    const RoomEntityStore *store = nullptr;
    // Empty while the user is in no room.
    QString activeRoomId;
    // The user's rooms in the list's own order.
    QList<MyRoomEntry> rooms;
    // User ids speaking in the media connection of the active room, and of its parent.
    QStringList ownSpeakers;
    QStringList parentSpeakers;
    // Whether the active room may currently be heard in its parent room.
    bool parentBroadcastAllowed = true;
    // The name shown for a user id.
    std::function<QString(const QString &userId)> displayName;
};

// The active room's relatives, shared by the my-rooms and the channel panel builders.
// Everything is empty without an active room or a store.
struct ActiveRoomContext
{
    RoomHierarchy hierarchy;
    // The active room, its children, its parent, then the parent's children.
    QStringList relatedRoomIds;
    // Per sibling, then per child: whether its parent blocks its broadcast.
    QHash<QString, bool> broadcastBlocked;
};

// Dot states of a room header and of a member's indicators.
enum DotState : int {
    DotNone = 0,
    DotIdle = 1,
    DotSpeaking = 2,
    DotBlocked = 3,
};

blocks::BlockListData buildCurrentRoomPanelState(const RoomPanelsInput &input);
blocks::BlockListData buildMyRoomPanelState(const RoomPanelsInput &input);
ActiveRoomContext buildActiveRoomContext(const RoomPanelsInput &input);

// The block of one room in a list panel (my rooms, and the rooms of a channel); `name`
// may be empty, the stored name or the id then stands in.
blocks::RoomBlockData buildListRoomBlock(const RoomPanelsInput &input, const ActiveRoomContext &context,
                                         const QString &roomId, const QString &name);
// The block of the active room's parent or of one of its siblings or children.
blocks::RoomBlockData buildHierarchyRoomBlock(const RoomPanelsInput &input, const QStringList &roomDotSpeakers,
                                              const RoomNode &node, bool isParent,
                                              const QStringList &memberDotSpeakers);
blocks::MemberRowData buildMemberRow(const RoomPanelsInput &input, const QString &userId, bool disconnected,
                                     const QList<int> &dots);
// A member of the active room: [own-room dot] without a parent, [parent-room dot,
// own-room dot] with one.
QList<int> currentRoomMemberDots(const RoomPanelsInput &input, bool hasParent, bool speechBlocked,
                                 const QString &userId);
// Speaking when any present member is in the speaker list, else idle.
int roomSpeakingDot(const QStringList &present, const QStringList &speakers);
// Ascending by UTF-16 code units, case-sensitive.
QStringList sortedIds(const QStringList &ids);

// The owner shown in the title of an unnamed room: of the members holding the owner
// role (-1), the one with the lowest id, so the title is the same on every rebuild;
// empty when nobody holds it.
QString roomOwnerId(const QHash<QString, qint64> &memberRoles);

} // namespace wiring
