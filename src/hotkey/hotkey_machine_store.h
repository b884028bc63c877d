#pragma once

#include "hotkey/i_hotkey_storage.h"

#include <memory>

class QSettings;

// The hotkey bindings in the machine folder's "hotkeys" INI file, group "bindings". The file
// holds only what was set; a missing key means the action's default.
class HotkeyMachineStore : public IHotkeyStorage
{
public:
    HotkeyMachineStore();
    ~HotkeyMachineStore() override;

    QString binding(const QString &actionName) const override;
    // Written to disk at once.
    void setBinding(const QString &actionName, const QString &text) override;

private:
    std::unique_ptr<QSettings> settings;
};
