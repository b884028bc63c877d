#pragma once

#include "ui/panels/block_records.h"
#include "ui/panels/my_channel_panel.h"

#include <QString>
#include <QStringList>

#include <functional>

class AbstractUserResolver;
class ChannelEntityStore;

// The state of the my-channels panel, built anew on every rebuild. GUI thread only.
namespace wiring {

struct ChannelPanelInput
{
    ChannelEntityStore *store = nullptr;
    // The user's channels in the list service's order.
    QStringList channelIds;
    QString ownUserId;
    // The room part: the block of one room shown inside a channel block, as the room
    // panels build a listed room (title, tags, member rows, the active room emphasised).
    std::function<blocks::RoomBlockData(const QString &roomId)> roomBlock;
};

// One section of folded, draggable channel blocks with their rooms in the channel's
// order; "无频道" when the user has no channel.
blocks::BlockListData buildMyChannelPanelState(const ChannelPanelInput &input);

// What the channel menu offers the user for that channel.
MyChannelPanel::MenuState channelMenuState(ChannelEntityStore *store, const QString &ownUserId,
                                           const QString &channelId);

// The cached nickname, else the user id itself (the user is then fetched).
QString channelMemberName(AbstractUserResolver *users, const QString &userId);

} // namespace wiring
