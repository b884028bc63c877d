#pragma once

class GlobalHotkeyMonitor;

// The hotkey module: hotkey settings store and hotkey service.
class HotkeyAssembly
{
public:
    explicit HotkeyAssembly(GlobalHotkeyMonitor *monitor);
    ~HotkeyAssembly();
};
