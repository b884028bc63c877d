#pragma once

#include <memory>

class IPrefStorage;
class PreferenceService;

// The preference module: the preference machine store, then the preference service
// over it; destroyed in the reverse order. GUI thread only.
class PrefAssembly
{
public:
    PrefAssembly();
    ~PrefAssembly();
    PrefAssembly(const PrefAssembly &) = delete;
    PrefAssembly &operator=(const PrefAssembly &) = delete;

    PreferenceService *preferenceService() const { return service.get(); }

private:
    std::unique_ptr<IPrefStorage> store;
    std::unique_ptr<PreferenceService> service;
};
