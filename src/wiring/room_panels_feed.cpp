#include "wiring/room_panels_feed.h"

namespace wiring {

RoomPanelsFeed::RoomPanelsFeed(QObject *parent)
    : QObject(parent)
{
    timer.setSingleShot(true);
    timer.setInterval(0);
    connect(&timer, &QTimer::timeout, this, &RoomPanelsFeed::onTimeout);
}

RoomPanelsFeed::~RoomPanelsFeed() = default;

void RoomPanelsFeed::setAssembler(std::function<void()> assemble)
{
    assembler = std::move(assemble);
}

void RoomPanelsFeed::markDirty()
{
    timer.start();
}

void RoomPanelsFeed::setOwnSpeakers(const QStringList &speakers)
{
    if (speakers == ownList)
        return;
    ownList = speakers;
    markDirty();
}

void RoomPanelsFeed::setParentSpeakers(const QStringList &speakers)
{
    if (speakers == parentList)
        return;
    parentList = speakers;
    markDirty();
}

void RoomPanelsFeed::setParentBroadcastAllowed(bool allowed)
{
    if (allowed == broadcastAllowed)
        return;
    broadcastAllowed = allowed;
    markDirty();
}

void RoomPanelsFeed::onTimeout()
{
    if (assembler)
        assembler();
    emit assembleTicked();
}

} // namespace wiring
