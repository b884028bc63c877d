#include "hotkey/global_hotkey_monitor.h"

#include "platform/keyboard/x11_keyboard_source.h"

#include <QLoggingCategory>
#include <QTimer>

namespace {
Q_LOGGING_CATEGORY(lcInput, "base.input", QtInfoMsg)
constexpr int kReleasePollMs = 100;
} // namespace

GlobalHotkeyMonitor::GlobalHotkeyMonitor(QObject *parent, std::unique_ptr<AbstractKeyboardSource> keyboard)
    : QObject(parent)
    , source(std::move(keyboard))
{
    if (!source)
        source = std::make_unique<X11KeyboardSource>();
    connect(source.get(), &AbstractKeyboardSource::keyInput, this, &GlobalHotkeyMonitor::onKeyInput);
    releasePollTimer = new QTimer(this);
    releasePollTimer->setObjectName(QStringLiteral("releasePollTimer"));
    releasePollTimer->setInterval(kReleasePollMs);
    connect(releasePollTimer, &QTimer::timeout, this, &GlobalHotkeyMonitor::pollReleases);
}

GlobalHotkeyMonitor::~GlobalHotkeyMonitor() = default;

quint16 GlobalHotkeyMonitor::virtualKeyFor(int qtKey, const AbstractKeyboardSource &source)
{
    if (qtKey == Qt::Key_Space)
        return 32;
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return static_cast<quint16>(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<quint16>(112 + (qtKey - Qt::Key_F1));
    switch (qtKey) {
        case Qt::Key_Tab: return 9;
        case Qt::Key_Insert: return 45;
        case Qt::Key_Delete: return 46;
        case Qt::Key_Pause: return 19;
        case Qt::Key_Home: return 36;
        case Qt::Key_End: return 35;
        case Qt::Key_Left: return 37;
        case Qt::Key_Up: return 38;
        case Qt::Key_Right: return 39;
        case Qt::Key_Down: return 40;
        case Qt::Key_PageUp: return 33;
        case Qt::Key_PageDown: return 34;
        case Qt::Key_Shift: return 16;
        case Qt::Key_Control: return 17;
        case Qt::Key_Alt: return 18;
        case Qt::Key_CapsLock: return 20;
        case Qt::Key_ScrollLock: return 145;
        default: break;
    }
    if (qtKey >= 32 && qtKey <= 255)
        return static_cast<quint16>(source.virtualKeyForCharacter(static_cast<char16_t>(qtKey)) & 0xFF);
    return 0;
}

void GlobalHotkeyMonitor::watchKey(int qtKey)
{
    for (const Entry &entry : std::as_const(entries)) {
        if (entry.qtKey == qtKey)
            return;
    }
    const quint16 vk = virtualKeyFor(qtKey, *source);
    if (vk == 0) {
        qCWarning(lcInput).nospace() << "unsupported hotkey, no vk mapping, qtKey=" << qtKey;
        return;
    }
    entries.append({qtKey, vk, false});
    if (!registered && !registrationScheduled) {
        registrationScheduled = true;
        QTimer::singleShot(0, this, &GlobalHotkeyMonitor::registerInput);
    }
}

void GlobalHotkeyMonitor::unwatchKey(int qtKey)
{
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i).qtKey == qtKey) {
            entries.removeAt(i);
            return;
        }
    }
}

void GlobalHotkeyMonitor::registerInput()
{
    registrationScheduled = false;
    if (registered)
        return;
    if (source->registerInput()) {
        registered = true;
        qCInfo(lcInput) << "global hotkey monitor active";
    } else {
        qCWarning(lcInput) << "raw input registration failed, global hotkeys inactive";
    }
}

void GlobalHotkeyMonitor::onKeyInput(quint16 virtualKey, bool released)
{
    if (entries.isEmpty())
        return;
    // Signals may reach code that watches or unwatches keys, so the list is walked by index.
    for (qsizetype i = 0; i < entries.size(); ++i) {
        Entry &entry = entries[i];
        if (entry.vk != virtualKey)
            continue;
        const int qtKey = entry.qtKey;
        if (released) {
            if (entry.down) {
                entry.down = false;
                emit keyUp(qtKey);
            }
        } else if (!entry.down) {
            entry.down = true;
            emit keyDown(qtKey);
            if (!releasePollTimer->isActive())
                releasePollTimer->start();
        }
    }
}

void GlobalHotkeyMonitor::pollReleases()
{
    bool stillHeld = false;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        Entry &entry = entries[i];
        if (!entry.down)
            continue;
        if (source->isKeyDown(entry.vk)) {
            stillHeld = true;
            continue;
        }
        entry.down = false;
        emit keyUp(entry.qtKey);
    }
    if (!stillHeld)
        releasePollTimer->stop();
}

std::unique_ptr<GlobalHotkeyMonitor> createGlobalHotkeyMonitor()
{
    return std::make_unique<GlobalHotkeyMonitor>();
}
