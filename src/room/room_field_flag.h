#pragma once

#include <QtGlobal>

// The bits of a room change mask. Masks are plain `uint`, combined with OR; no
// bit above Availability is ever set.
namespace RoomFieldFlag {
inline constexpr uint Name = 0x1;     // name
inline constexpr uint Presence = 0x2; // present, disconnected
inline constexpr uint Mutes = 0x4;    // voiceMuted, textMuted
inline constexpr uint Acl = 0x8;      // memberRoles, roles, overrides
inline constexpr uint Settings =
    0x10; // bitrate, access mode, sub-room settings, approval, code entry, module, prefMembers
inline constexpr uint Hierarchy = 0x20;     // parentRoomId, childRoomIds, childOverrides
inline constexpr uint FollowCode = 0x40;    // followCode, followCodeExpiresAtMs
inline constexpr uint RoomCode = 0x80;      // roomCode, roomCodeEnabled
inline constexpr uint Requests = 0x100;     // pendingJoinRequests, pendingSubrooms
inline constexpr uint Identity = 0x200;     // isPersistent, channelId
inline constexpr uint Availability = 0x400; // populated rose (first public or first private snapshot)
} // namespace RoomFieldFlag
