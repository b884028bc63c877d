#include "hotkey/hotkey_service.h"

#include "hotkey/global_hotkey_monitor.h"
#include "hotkey/i_hotkey_storage.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcHotkey, "hotkey.service", QtInfoMsg)

// The key code of a combination, its modifier bits dropped.
constexpr int kKeyMask = 0x01FFFFFF;

// Text that does not parse still gives one combination, of the unknown key: that is no key.
bool isKey(const QKeySequence &sequence)
{
    const int key = sequence[0].toCombined() & kKeyMask;
    return key != 0 && key != Qt::Key_unknown;
}

int defaultKey(HotkeyAction action)
{
    return action == HotkeyAction::Ptt ? Qt::Key_F2 : Qt::Key_F3;
}

} // namespace

HotkeyService::HotkeyService(GlobalHotkeyMonitor *monitor_, IHotkeyStorage *store_, QObject *parent)
    : QObject(parent)
    , monitor(monitor_)
    , store(store_)
{
    qRegisterMetaType<HotkeyAction>();
    for (HotkeyAction action : {HotkeyAction::Ptt, HotkeyAction::Broadcast}) {
        int key = defaultKey(action);
        const QString text = store->binding(hotkeyActionName(action));
        if (!text.isEmpty()) {
            const QKeySequence stored = QKeySequence::fromString(text, QKeySequence::PortableText);
            if (stored.count() == 1 && isKey(stored))
                key = stored[0].toCombined() & kKeyMask;
        }
        bindings.append({action, key, false});
        monitor->watchKey(key);
    }
    connect(monitor, &GlobalHotkeyMonitor::keyDown, this, &HotkeyService::onKeyDown);
    connect(monitor, &GlobalHotkeyMonitor::keyUp, this, &HotkeyService::onKeyUp);
}

HotkeyService::~HotkeyService() = default;

QKeySequence HotkeyService::bindingFor(HotkeyAction action) const
{
    for (const Binding &binding : bindings) {
        if (binding.action == action)
            return QKeySequence(binding.key);
    }
    return QKeySequence();
}

bool HotkeyService::setBinding(HotkeyAction action, const QKeySequence &sequence)
{
    if (sequence.count() != 1 || !isKey(sequence))
        return false;
    const int key = sequence[0].toCombined() & kKeyMask;
    Binding *entry = nullptr;
    for (Binding &binding : bindings) {
        if (binding.action != action && binding.key == key)
            return false;
        if (binding.action == action)
            entry = &binding;
    }
    if (!entry)
        return false;
    if (entry->key == key)
        return true;
    if (entry->pressed) {
        entry->pressed = false;
        emitReleased(action);
    }
    monitor->unwatchKey(entry->key);
    entry->key = key;
    monitor->watchKey(key);
    const QString text = sequence.toString(QKeySequence::PortableText);
    store->setBinding(hotkeyActionName(action), text);
    qCInfo(lcHotkey).nospace().noquote() << "binding changed, action=" << hotkeyActionName(action) << " key=" << text;
    emit bindingChanged(action, sequence);
    return true;
}

void HotkeyService::setSuspended(bool value)
{
    if (value == suspended)
        return;
    suspended = value;
    qCInfo(lcHotkey) << "dispatch" << (value ? "suspended" : "resumed");
    if (!value)
        return;
    for (qsizetype i = 0; i < bindings.size(); ++i) {
        if (bindings.at(i).pressed) {
            bindings[i].pressed = false;
            emitReleased(bindings.at(i).action);
        }
    }
}

void HotkeyService::onKeyDown(int qtKey)
{
    if (suspended)
        return;
    for (qsizetype i = 0; i < bindings.size(); ++i) {
        if (bindings.at(i).key == qtKey && !bindings.at(i).pressed) {
            bindings[i].pressed = true;
            emitPressed(bindings.at(i).action);
        }
    }
}

void HotkeyService::onKeyUp(int qtKey)
{
    if (suspended)
        return;
    for (qsizetype i = 0; i < bindings.size(); ++i) {
        if (bindings.at(i).key == qtKey && bindings.at(i).pressed) {
            bindings[i].pressed = false;
            emitReleased(bindings.at(i).action);
        }
    }
}

void HotkeyService::emitPressed(HotkeyAction action)
{
    if (action == HotkeyAction::Ptt)
        emit pttPressed();
    else
        emit broadcastPressed();
}

void HotkeyService::emitReleased(HotkeyAction action)
{
    if (action == HotkeyAction::Ptt)
        emit pttReleased();
    else
        emit broadcastReleased();
}
