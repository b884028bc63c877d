#include "hotkey/global_hotkey_monitor.h"

GlobalHotkeyMonitor::GlobalHotkeyMonitor(QObject *parent) : QObject(parent) {}
GlobalHotkeyMonitor::~GlobalHotkeyMonitor() = default;
