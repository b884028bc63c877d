#include "hotkey/hotkey_machine_store.h"

#include "storage/machine_store.h"

#include <QSettings>

namespace {
QString bindingKey(const QString &actionName)
{
    return QStringLiteral("bindings/") + actionName;
}
} // namespace

HotkeyMachineStore::HotkeyMachineStore()
    : settings(openMachineSettings(QStringLiteral("hotkeys")))
{}

HotkeyMachineStore::~HotkeyMachineStore() = default;

QString HotkeyMachineStore::binding(const QString &actionName) const
{
    return settings->value(bindingKey(actionName), QString()).toString();
}

void HotkeyMachineStore::setBinding(const QString &actionName, const QString &text)
{
    settings->setValue(bindingKey(actionName), text);
    settings->sync();
}
