#pragma once

#include "hotkey/hotkey_action.h"

#include <QKeySequence>
#include <QList>
#include <QObject>

class GlobalHotkeyMonitor;
class IHotkeyStorage;

// The two global hotkeys, push-to-talk and broadcast: holds the key bound to each (F2 and F3 by
// default, stored per machine), has the monitor watch those keys, turns key downs and ups into
// pressed and released signals, rebinds, and can suspend the dispatch while the bindings are
// edited. A binding is one key; modifiers are kept in what is stored and announced but do not
// take part in triggering. GUI thread only.
class HotkeyService : public QObject
{
    Q_OBJECT
public:
    HotkeyService(GlobalHotkeyMonitor *monitor, IHotkeyStorage *store, QObject *parent = nullptr);
    ~HotkeyService() override;

    // A one-key sequence of the action's key; empty for an action without an entry.
    QKeySequence bindingFor(HotkeyAction action) const;
    // False (nothing changes) for a sequence that is not exactly one key combination, for a key
    // that the other action holds, and for an unknown action; true once the action is bound to it.
    bool setBinding(HotkeyAction action, const QKeySequence &sequence);
    // Suspending releases every held action.
    void setSuspended(bool suspended);

signals:
    void pttPressed();
    void pttReleased();
    void broadcastPressed();
    void broadcastReleased();
    void bindingChanged(HotkeyAction action, const QKeySequence &key);

private:
    struct Binding
    {
        HotkeyAction action = HotkeyAction::Ptt;
        int key = 0; // a Qt key code without modifier bits
        bool pressed = false;
    };

    void onKeyDown(int qtKey);
    void onKeyUp(int qtKey);
    void emitPressed(HotkeyAction action);
    void emitReleased(HotkeyAction action);

    GlobalHotkeyMonitor *monitor = nullptr;
    IHotkeyStorage *store = nullptr;
    QList<Binding> bindings;
    bool suspended = false;
};
