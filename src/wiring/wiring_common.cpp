#include "wiring/wiring_common.h"

#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "room/active_room_session.h"
#include "room/room_entity.h"
#include "room/room_entity_store.h"
#include "room/room_view_model.h"
#include "ui/main/main_status_bar.h"
#include "user/abstract_user_resolver.h"
#include "user/user_state.h"

namespace wiring {

QString displayNameFor(AbstractUserResolver *resolver, const QString &userId)
{
    if (resolver == nullptr || userId.isEmpty())
        return QStringLiteral("\u2026");
    const QString nickname = resolver->nickname(userId);
    if (!nickname.isEmpty())
        return nickname;
    const QString username = resolver->username(userId);
    if (!username.isEmpty())
        return username;
    // A user answered without any name is shown by id: asking again would only repeat
    // the same empty answer and wake every view that names users.
    if (resolver->isKnown(userId))
        return userId;
    resolver->request(userId);
    return QStringLiteral("\u2026");
}

namespace {

// The facts of one room that the test needs, from either of the two places a room
// can be read.
struct RoomFacts
{
    QString channelId;
    QHash<QString, qint64> memberRoles;
    QList<RoomAclRole> roles;
};

int levelOf(const RoomFacts &room, const QString &userId)
{
    const qint64 roleId = room.memberRoles.value(userId, 0);
    if (roleId == 0)
        return -1;
    for (const RoomAclRole &role : room.roles) {
        if (role.roleId == roleId)
            return role.level;
    }
    return -1;
}

bool channelCascades(ChannelEntityStore *channels, const QString &channelId, const QString &userId)
{
    if (channels == nullptr || channelId.isEmpty())
        return false;
    const ChannelEntity *channel = channels->find(channelId);
    return channelHasPermission(ChannelEntity::memberRole(channel, userId), "core.channel.cascade_rooms");
}

} // namespace

bool roomPermission(const PermissionContext &context, const QString &roomId, const QString &key,
                    const QString &targetUserId)
{
    const QString ownId = context.user != nullptr ? context.user->userId() : QString();
    if (ownId.isEmpty())
        return false;

    RoomFacts facts;
    const RoomViewModel *active = nullptr;
    const RoomEntity *stored = nullptr;
    if (roomId.isEmpty()) {
        active = context.activeRoom != nullptr ? context.activeRoom->currentViewModel() : nullptr;
        if (active == nullptr)
            return false;
        facts = {active->channelId(), active->memberRoles(), active->roles()};
    } else {
        stored = context.roomStore != nullptr ? context.roomStore->find(roomId) : nullptr;
        if (stored == nullptr)
            return false;
        facts = {stored->publicState.channelId, stored->publicState.memberRoles, stored->publicState.roles};
    }

    const bool cascade = channelCascades(context.channelStore, facts.channelId, ownId);
    const bool allowed = active != nullptr ? active->userHasPermission(ownId, key, cascade)
                                           : stored->userHasPermission(ownId, key, cascade);
    if (!allowed || cascade || targetUserId.isEmpty())
        return allowed;
    return levelOf(facts, ownId) > levelOf(facts, targetUserId);
}

void showFailure(MainStatusBar *statusBar, const QString &message, const QString &fixedText)
{
    if (statusBar == nullptr)
        return;
    statusBar->showTransientMessage(message.isEmpty() ? fixedText : message, MainStatusBar::Normal);
}

} // namespace wiring
