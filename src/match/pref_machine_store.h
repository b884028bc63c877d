#pragma once

#include "match/i_pref_storage.h"

#include <memory>

class QSettings;

// Keeps the preference groups in "pref.ini" of the machine folder, as the array
// "prefConfigs" of "name" and "memberIds". GUI thread only.
class PrefMachineStore : public IPrefStorage
{
public:
    PrefMachineStore();
    ~PrefMachineStore() override;
    PrefMachineStore(const PrefMachineStore &) = delete;
    PrefMachineStore &operator=(const PrefMachineStore &) = delete;

    QList<PrefConfig> load() override;
    // Rewrites the whole array and flushes it to disk at once.
    void save(const QList<PrefConfig> &configs) override;

private:
    std::unique_ptr<QSettings> settings;
};
