#pragma once

#include <QMetaType>
#include <QString>

// The global hotkey actions; the values are fixed (stored names "ptt" and "broadcast").
// Travels in signals, hence the meta-type. `PushToTalk` is the same action as `Ptt`.
enum class HotkeyAction { Ptt = 0, Broadcast = 1, PushToTalk = Ptt };

Q_DECLARE_METATYPE(HotkeyAction)

// The storage and log name of an action: "ptt", "broadcast", empty for any other value.
inline QString hotkeyActionName(HotkeyAction action)
{
    switch (action) {
        case HotkeyAction::Ptt: return QStringLiteral("ptt");
        case HotkeyAction::Broadcast: return QStringLiteral("broadcast");
    }
    return QString();
}
