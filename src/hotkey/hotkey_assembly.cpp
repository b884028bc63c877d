#include "hotkey/hotkey_assembly.h"

#include "hotkey/hotkey_machine_store.h"
#include "hotkey/hotkey_service.h"

HotkeyAssembly::HotkeyAssembly(GlobalHotkeyMonitor *monitor)
    : store(std::make_unique<HotkeyMachineStore>())
    , hotkeys(std::make_unique<HotkeyService>(monitor, store.get()))
{}

HotkeyAssembly::~HotkeyAssembly() = default;
