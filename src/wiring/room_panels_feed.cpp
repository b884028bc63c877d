#include "wiring/room_panels_feed.h"

namespace wiring {

RoomPanelsFeed::RoomPanelsFeed(QObject *parent)
    : QObject(parent)
{
}

RoomPanelsFeed::~RoomPanelsFeed() = default;

} // namespace wiring
