#include "match/pref_machine_store.h"

#include "storage/machine_store.h"

#include <QSettings>
#include <QStringList>

namespace {
const QString kArray = QStringLiteral("prefConfigs");
const QString kName = QStringLiteral("name");
const QString kMemberIds = QStringLiteral("memberIds");

} // namespace

PrefMachineStore::PrefMachineStore()
    : settings(openMachineSettings(QStringLiteral("pref")))
{}

PrefMachineStore::~PrefMachineStore() = default;

QList<PrefConfig> PrefMachineStore::load()
{
    QList<PrefConfig> configs;
    const int count = storedArrayCount(*settings, kArray);
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
