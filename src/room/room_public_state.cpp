#include "room/room_public_state.h"

#include "room/room_field_flag.h"

uint RoomPublicState::diff(const RoomPublicState &other) const
{
    uint mask = 0;
    if (isPersistent != other.isPersistent || channelId != other.channelId)
        mask |= RoomFieldFlag::Identity;
    if (present != other.present || disconnected != other.disconnected)
        mask |= RoomFieldFlag::Presence;
    if (voiceMuted != other.voiceMuted || textMuted != other.textMuted)
        mask |= RoomFieldFlag::Mutes;
    if (memberRoles != other.memberRoles || roles != other.roles || overrides != other.overrides)
        mask |= RoomFieldFlag::Acl;
    if (bitrate != other.bitrate || accessMode != other.accessMode || allowSubRoom != other.allowSubRoom
        || allowSubRoomBroadcast != other.allowSubRoomBroadcast || allowSubRoomChat != other.allowSubRoomChat
        || requireApproval != other.requireApproval || codeDirectEntry != other.codeDirectEntry
        || attachedModule != other.attachedModule || prefMembers != other.prefMembers)
        mask |= RoomFieldFlag::Settings;
    if (roomCode != other.roomCode || roomCodeEnabled != other.roomCodeEnabled)
        mask |= RoomFieldFlag::RoomCode;
    if (parentRoomId != other.parentRoomId || childRoomIds != other.childRoomIds
        || childOverrides != other.childOverrides)
        mask |= RoomFieldFlag::Hierarchy;
    return mask;
}
