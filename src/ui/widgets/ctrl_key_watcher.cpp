#include "ui/widgets/ctrl_key_watcher.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>

CtrlKeyWatcher::CtrlKeyWatcher(QObject *parent)
    : QObject(parent)
{}

CtrlKeyWatcher *CtrlKeyWatcher::instance()
{
    static CtrlKeyWatcher *const watcher = [] {
        auto *created = new CtrlKeyWatcher(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(created);
        return created;
    }();
    return watcher;
}

void CtrlKeyWatcher::setHeld(bool value)
{
    if (value == isHeld)
        return;
    isHeld = value;
    emit changed(value);
}

bool CtrlKeyWatcher::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Control && !key->isAutoRepeat())
                setHeld(event->type() == QEvent::KeyPress);
            break;
        }
        case QEvent::ApplicationStateChange:
            if (static_cast<QApplicationStateChangeEvent *>(event)->applicationState() != Qt::ApplicationActive)
                setHeld(false);
            break;
        default: break;
    }
    return QObject::eventFilter(watched, event);
}
