#pragma once

#include <QString>

class IDeviceStorage
{
public:
    virtual ~IDeviceStorage() = default;
    // The machine's device id; never empty.
    virtual QString deviceId() = 0;
};
