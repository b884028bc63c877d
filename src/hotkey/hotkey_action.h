#pragma once

#include <QMetaType>

// The global hotkey actions; the values are fixed (stored names "ptt" and "broadcast").
// Travels in signals, hence the meta-type.
enum class HotkeyAction { PushToTalk = 0, Broadcast = 1 };

Q_DECLARE_METATYPE(HotkeyAction)
