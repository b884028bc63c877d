#include "match/pref_machine_store.h"

#include "storage/machine_store.h"

#include <QSettings>
#include <QStringList>

namespace {
const QString kArray = QStringLiteral("prefConfigs");
const QString kName = QStringLiteral("name");
const QString kMemberIds = QStringLiteral("memberIds");

// How many elements of the array to read: its stored "size", but never past the last
// element the file actually holds, so that a hand-edited size cannot make the load
// invent (and allocate) millions of empty entries. Gaps below the last one still read.
int storedElementCount(QSettings &settings, const QString &array)
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

} // namespace

PrefMachineStore::PrefMachineStore()
    : settings(openMachineSettings(QStringLiteral("pref")))
{
}

PrefMachineStore::~PrefMachineStore() = default;

QList<PrefConfig> PrefMachineStore::load()
{
    QList<PrefConfig> configs;
    const int count = storedElementCount(*settings, kArray);
    settings->beginReadArray(kArray);
    for (int i = 0; i < count; ++i) {
        settings->setArrayIndex(i);
        PrefConfig config;
        config.name = settings->value(kName).toString();
        config.memberIds = settings->value(kMemberIds).toStringList();
        configs.append(config);
    }
    settings->endArray();
    return configs;
}

void PrefMachineStore::save(const QList<PrefConfig> &configs)
{
    // Removing first drops the elements beyond the new size.
    settings->remove(kArray);
    settings->beginWriteArray(kArray, int(configs.size()));
    for (int i = 0; i < configs.size(); ++i) {
        settings->setArrayIndex(i);
        settings->setValue(kName, configs.at(i).name);
        settings->setValue(kMemberIds, configs.at(i).memberIds);
    }
    settings->endArray();
    settings->sync();
}
