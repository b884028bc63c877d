#pragma once

#include <QString>

class AbstractUserResolver;
class ActiveRoomSession;
class ChannelEntityStore;
class MainStatusBar;
class RoomEntityStore;
class UserState;

// What every wire function shares: how a user is named, whether the signed-in user may
// do something in a room, and how a failure reaches the status bar. GUI thread only.
namespace wiring {

// The cached nickname, else the cached username, else the id of a user cached without
// names, else "…". A user whose names are not cached is fetched once, answering later through the resolver's userInfoReady; a
// known user is never requested again, so a userInfoReady slot that names the user
// cannot start another round.
QString displayNameFor(AbstractUserResolver *resolver, const QString &userId);

// Where the room permission test finds its room, its channel and the own user id.
// Only the pointers a caller has need to be set; a missing store reads as "no room"
// and a missing channel store as "no cascade".
struct PermissionContext
{
    ActiveRoomSession *activeRoom = nullptr;
    RoomEntityStore *roomStore = nullptr;
    ChannelEntityStore *channelStore = nullptr;
    UserState *user = nullptr;
};

// Whether the signed-in user holds `key` (written out in full, "core.room.…") in the
// room. An empty room id means the active room. With a non-empty `targetUserId` the
// actor's role level must also be strictly above the target's, unless the channel
// grants the user every room of the channel.
bool roomPermission(const PermissionContext &context, const QString &roomId, const QString &key,
                    const QString &targetUserId = QString());

// Shows a service failure in the status bar: the server's message when it has one,
// else the action's own fixed text. The error code is never shown.
void showFailure(MainStatusBar *statusBar, const QString &message, const QString &fixedText);

} // namespace wiring
