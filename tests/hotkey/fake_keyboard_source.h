#pragma once

#include "platform/keyboard/abstract_keyboard_source.h"
#include "platform/keyboard/us_key_layout.h"

#include <QSet>

namespace testsupport {

// A keyboard that the test plays: `press` and `release` report a make or a break and set the
// key's held state; `drop` lets go of a key without a break, as when the focus moves while the
// key is held; `refuse` makes registration fail. Characters map through the US layout.
//
//   auto keyboard = std::make_unique<FakeKeyboardSource>();
//   FakeKeyboardSource *keys = keyboard.get();
//   GlobalHotkeyMonitor monitor(nullptr, std::move(keyboard));
//   monitor.watchKey(Qt::Key_F2); QTest::qWait(0); keys->press(113);
class FakeKeyboardSource : public AbstractKeyboardSource
{
public:
    bool registerInput() override
    {
        ++registrations;
        return !refuse;
    }
    bool isKeyDown(quint16 virtualKey) const override { return held.contains(virtualKey); }
    quint16 virtualKeyForCharacter(char16_t character) const override { return usVirtualKeyForCharacter(character); }

    void press(quint16 virtualKey)
    {
        held.insert(virtualKey);
        emit keyInput(virtualKey, false);
    }
    void release(quint16 virtualKey)
    {
        held.remove(virtualKey);
        emit keyInput(virtualKey, true);
    }
    void drop(quint16 virtualKey) { held.remove(virtualKey); }

    bool refuse = false;
    int registrations = 0;
    QSet<quint16> held;
};

} // namespace testsupport
