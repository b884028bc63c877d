#pragma once

#include "room/room_create_config.h"

#include <QList>

// Where the saved room-creation presets persist. GUI thread only.
class IRoomStorage
{
public:
    virtual ~IRoomStorage() = default;
    // Every stored preset, in stored order; empty when nothing is stored.
    virtual QList<RoomCreateConfig> load() = 0;
    // Replaces the stored presets with the whole list.
    virtual void save(const QList<RoomCreateConfig> &configs) = 0;
};
