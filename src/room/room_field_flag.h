#pragma once

#include <QtGlobal>

// The bits of a room change mask. Masks are plain `uint`, combined with OR; no
// bit above Availability is ever set.
namespace RoomFieldFlag {
enum Flag : uint {
    Name = 0x1,          // name
    Presence = 0x2,      // present, disconnected
    Mutes = 0x4,         // voiceMuted, textMuted
    Acl = 0x8,           // memberRoles, roles, overrides
    Settings = 0x10,     // bitrate, access mode, sub-room settings, approval, code entry, module, prefMembers
    Hierarchy = 0x20,    // parentRoomId, childRoomIds, childOverrides
    FollowCode = 0x40,   // followCode, followCodeExpiresAtMs
    RoomCode = 0x80,     // roomCode, roomCodeEnabled
    Requests = 0x100,    // pendingJoinRequests, pendingSubrooms
    Identity = 0x200,    // isPersistent, channelId
    Availability = 0x400 // populated rose (first public or first private snapshot)
};
} // namespace RoomFieldFlag
