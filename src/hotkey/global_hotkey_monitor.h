#pragma once

#include <QObject>

// Watches the keyboard while other applications have the focus.
class GlobalHotkeyMonitor : public QObject
{
    Q_OBJECT
public:
    explicit GlobalHotkeyMonitor(QObject *parent = nullptr);
    ~GlobalHotkeyMonitor() override;
};
