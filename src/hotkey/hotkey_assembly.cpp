#include "hotkey/hotkey_assembly.h"

HotkeyAssembly::HotkeyAssembly(GlobalHotkeyMonitor *) {}
HotkeyAssembly::~HotkeyAssembly() = default;
