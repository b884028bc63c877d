#pragma once

#include <QObject>
#include <QSystemTrayIcon>

class IWindowPresenter;
class QAction;
class QMenu;

// The client's system-tray icon: a tooltip with the product and version, a menu to
// bring the window forward or quit, and clicks that bring the window forward.
// The window is reached through the shell's presenter. GUI thread only.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    // Builds the icon and its menu; the icon stays hidden until show().
    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    // Shows the icon when the desktop has a system tray; otherwise warns once.
    void show();
    // Null disables the show entry and makes clicks do nothing.
    void setPresenter(IWindowPresenter *presenter);
    IWindowPresenter *currentPresenter() const { return presenter; }

private slots:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

private:
    void presentWindow();

    QSystemTrayIcon *trayIcon = nullptr;
    QMenu *menu = nullptr; // no parent: a menu cannot be a child of a plain QObject
    QAction *showAction = nullptr;
    IWindowPresenter *presenter = nullptr;
};
