#include "storage/machine_store.h"

#include "storage/data_root.h"

#include <QDir>
#include <QSettings>

std::unique_ptr<QSettings> openMachineSettings(const QString &storeName)
{
    const QString dir = machineDir();
    if (!QDir().mkpath(dir))
        qCWarning(storageLogCategory()).noquote() << "create machine dir failed:" << dir;
    return std::make_unique<QSettings>(machineIniPath(storeName), QSettings::IniFormat);
}
