#pragma once

#include <QString>

// Where the hotkey bindings of this machine are kept, by action storage name ("ptt",
// "broadcast"); the value is a key sequence in Qt's portable text form. GUI thread only.
class IHotkeyStorage
{
public:
    virtual ~IHotkeyStorage() = default;
    // The stored text; empty when nothing is stored.
    virtual QString binding(const QString &actionName) const = 0;
    virtual void setBinding(const QString &actionName, const QString &text) = 0;
};
