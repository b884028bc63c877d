#pragma once

#include <memory>

class GlobalHotkeyMonitor;
class HotkeyService;
class IHotkeyStorage;

// The hotkey module: the machine store of the bindings, then the service over the client
// context's monitor. Destroyed in reverse: the service, then the store.
class HotkeyAssembly
{
public:
    explicit HotkeyAssembly(GlobalHotkeyMonitor *monitor);
    ~HotkeyAssembly();

    HotkeyService *service() const { return hotkeys.get(); }
    IHotkeyStorage *storage() const { return store.get(); }

private:
    std::unique_ptr<IHotkeyStorage> store;
    std::unique_ptr<HotkeyService> hotkeys;
};
