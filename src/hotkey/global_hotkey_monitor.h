#pragma once

#include "platform/keyboard/abstract_keyboard_source.h"

#include <QList>
#include <QObject>

#include <memory>

class QTimer;

// Reports presses and releases of a few watched keys while other applications have the focus.
// Keys are watched by Qt key code and matched by virtual key (the table in `virtualKeyFor`). A
// release can be missed (the focus moves while the key is held), so a key that is down is also
// polled every 100 ms until the source says it is up. The keyboard source is registered on the
// event loop after the first key is watched; without a keyboard the monitor stays silent.
// GUI thread only.
class GlobalHotkeyMonitor : public QObject
{
    Q_OBJECT
public:
    // `source` empty: the desktop's keyboard.
    explicit GlobalHotkeyMonitor(QObject *parent = nullptr, std::unique_ptr<AbstractKeyboardSource> source = {});
    ~GlobalHotkeyMonitor() override;

    void watchKey(int qtKey);
    // Removes the first entry of that key; the source stays registered.
    void unwatchKey(int qtKey);

    // The virtual key of a Qt key; 0 when it has none. Characters outside the fixed rows go to
    // the source's layout.
    static quint16 virtualKeyFor(int qtKey, const AbstractKeyboardSource &source);

signals:
    void keyDown(int qtKey);
    void keyUp(int qtKey);

private:
    struct Entry
    {
        int qtKey = 0;
        quint16 vk = 0;
        bool down = false;
    };

    void registerInput();
    void onKeyInput(quint16 virtualKey, bool released);
    void pollReleases();

    QList<Entry> entries;
    QTimer *releasePollTimer = nullptr; // child, repeating 100 ms
    std::unique_ptr<AbstractKeyboardSource> source;
    bool registered = false;
    bool registrationScheduled = false;
};

// The factory through which the client context builds the one monitor.
std::unique_ptr<GlobalHotkeyMonitor> createGlobalHotkeyMonitor();
