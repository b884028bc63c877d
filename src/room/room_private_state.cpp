#include "room/room_private_state.h"

#include "room/room_field_flag.h"

// Room services carry the request records in signals and look them up by name.
static const int joinRequestTypeId = qRegisterMetaType<roomdata::PendingJoinRequest>();
static const int subroomRequestTypeId = qRegisterMetaType<roomdata::PendingSubroomRequest>();

uint RoomPrivateState::diff(const RoomPrivateState &other) const
{
    Q_UNUSED(joinRequestTypeId)
    Q_UNUSED(subroomRequestTypeId)
    uint mask = 0;
    if (followCode != other.followCode || followCodeExpiresAtMs != other.followCodeExpiresAtMs)
        mask |= RoomFieldFlag::FollowCode;
    if (pendingJoinRequests != other.pendingJoinRequests || pendingSubrooms != other.pendingSubrooms)
        mask |= RoomFieldFlag::Requests;
    return mask;
}
