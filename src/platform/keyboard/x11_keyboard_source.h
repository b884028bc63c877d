#pragma once

#include "platform/keyboard/abstract_keyboard_source.h"

#include <QString>

#include <memory>

// The keyboard source of an X11 desktop: XInput2 raw key events of every master keyboard, read
// on a display connection of its own (so nothing is taken from any window), `XQueryKeymap` for
// the held keys, and the fixed US layout for characters. Keys are named by their unshifted
// keysym, so a layout that moves a key moves its virtual key with it. GUI thread only.
class X11KeyboardSource : public AbstractKeyboardSource
{
    Q_OBJECT
public:
    // `displayName` empty: the DISPLAY of the environment.
    explicit X11KeyboardSource(const QString &displayName = QString(), QObject *parent = nullptr);
    ~X11KeyboardSource() override;

    bool registerInput() override;
    bool isKeyDown(quint16 virtualKey) const override;
    quint16 virtualKeyForCharacter(char16_t character) const override;

    // The virtual key of an unshifted keysym; 0 when the key has none.
    static quint16 virtualKeyForKeysym(unsigned long keysym);

private:
    void readEvents();
    void readQueuedEventsLater() const;

    struct Impl;
    std::unique_ptr<Impl> d;
};
