#include "match/pref_assembly.h"

#include "match/pref_machine_store.h"
#include "match/preference_service.h"

PrefAssembly::PrefAssembly()
    : store(std::make_unique<PrefMachineStore>())
    , service(std::make_unique<PreferenceService>(store.get()))
{}

PrefAssembly::~PrefAssembly() = default;
