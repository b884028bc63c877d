#pragma once

#include "match/pref_config.h"

#include <QList>

// Where the preference groups persist. GUI thread only.
class IPrefStorage
{
public:
    virtual ~IPrefStorage() = default;
    // Every stored group, in stored order; empty when nothing is stored.
    virtual QList<PrefConfig> load() = 0;
    // Replaces the stored groups with the whole list.
    virtual void save(const QList<PrefConfig> &configs) = 0;
};
