#include "storage/machine_store.h"

#include "storage/data_root.h"

#include <QDir>
#include <QSettings>
#include <QStringList>

std::unique_ptr<QSettings> openMachineSettings(const QString &storeName)
{
    const QString dir = machineDir();
    if (!QDir().mkpath(dir))
        qCWarning(storageLogCategory()).noquote() << "create machine dir failed:" << dir;
    return std::make_unique<QSettings>(machineIniPath(storeName), QSettings::IniFormat);
}

int storedArrayCount(QSettings &settings, const QString &array)
{
    settings.beginGroup(array);
    const int size = settings.value(QStringLiteral("size"), 0).toInt();
    int last = 0;
    const QStringList groups = settings.childGroups();
    for (const QString &group : groups) {
        bool isNumber = false;
        const int n = group.toInt(&isNumber);
        if (isNumber && n > last)
            last = n;
    }
    settings.endGroup();
    return qBound(0, size, last);
}
