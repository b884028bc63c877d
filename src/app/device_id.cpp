#include "app/device_id.h"

#include "app/app_log.h"
#include "storage/device_machine_store.h"

bool ensureDeviceId()
{
    DeviceMachineStore store;
    if (!store.deviceId().isEmpty()) {
        qCInfo(lcBoot) << "deviceId ready";
        return true;
    }
    qCWarning(lcBoot) << "ensure deviceId failed";
    return false;
}
