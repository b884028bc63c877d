#pragma once

class HotkeyService;
class MainWindow;

namespace wiring {

// Brings the window's hotkey settings dialog to the front, or opens one. The hotkeys stay
// suspended while it exists, so pressing a key to bind it does not also trigger its action.
void openHotkeySettings(MainWindow *window, HotkeyService *hotkeys);

} // namespace wiring
