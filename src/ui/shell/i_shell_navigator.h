#pragma once

struct MainWindowOptions;

// The shell's face towards the session wiring: which top-level window to show.
// GUI thread only.
class IShellNavigator
{
public:
    virtual ~IShellNavigator() = default;
    virtual void showMainWindow(const MainWindowOptions &options) = 0;
    virtual void showLoginWindow() = 0;
};
