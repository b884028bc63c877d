#pragma once

#include "room/i_room_storage.h"

#include <memory>

class QSettings;

// Keeps the saved room-creation presets in "room.ini" of the machine folder, as the
// array "createConfigs". GUI thread only.
class RoomMachineStore : public IRoomStorage
{
public:
    RoomMachineStore();
    ~RoomMachineStore() override;
    RoomMachineStore(const RoomMachineStore &) = delete;
    RoomMachineStore &operator=(const RoomMachineStore &) = delete;

    // Entries are taken as they are; a missing key reads its default.
    QList<RoomCreateConfig> load() override;
    // Rewrites the whole array and flushes it to disk at once.
    void save(const QList<RoomCreateConfig> &configs) override;

private:
    std::unique_ptr<QSettings> settings;
};
