#pragma once

#include "storage/i_device_storage.h"

#include <memory>

class QSettings;

// Keeps the device id that the login sends, in "device.ini" of the machine folder.
// GUI thread only; lives for one read.
class DeviceMachineStore : public IDeviceStorage
{
public:
    DeviceMachineStore();
    ~DeviceMachineStore() override;

    // Returns the stored id, or generates, stores and returns a new one.
    QString deviceId() override;

private:
    std::unique_ptr<QSettings> settings;
};
