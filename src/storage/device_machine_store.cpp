#include "storage/device_machine_store.h"

#include "storage/data_root.h"
#include "storage/machine_store.h"

#include <QSettings>
#include <QUuid>

namespace {
const QString kDeviceIdKey = QStringLiteral("deviceId");
}

DeviceMachineStore::DeviceMachineStore()
    : settings(openMachineSettings(QStringLiteral("device")))
{}

DeviceMachineStore::~DeviceMachineStore() = default;

QString DeviceMachineStore::deviceId()
{
    const QString stored = settings->value(kDeviceIdKey, QString()).toString();
    if (!stored.isEmpty())
        return stored;

    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    settings->setValue(kDeviceIdKey, id);
    // Written at once so that the file holds the id before anything else runs.
    settings->sync();
    qCInfo(storageLogCategory()) << "deviceId generated";
    return id;
}
