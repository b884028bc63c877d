#include "app/tray_icon.h"

#include "app/i_window_presenter.h"
#include "build_config.h"

#include <QCoreApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QMenu>

Q_LOGGING_CATEGORY(lcTray, "app.tray", QtInfoMsg)

TrayIcon::TrayIcon(QObject *parent)
    : QObject(parent)
    , menu(new QMenu)
{
    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setIcon(QIcon(QStringLiteral(":/icons/icon.ico")));
    trayIcon->setToolTip(
        QStringLiteral("%1 v%2").arg(QStringLiteral("Kestova"), QString::fromLatin1(buildconfig::kClientVersion)));

    showAction = menu->addAction(QStringLiteral("显示窗口"));
    showAction->setEnabled(false);
    connect(showAction, &QAction::triggered, this, &TrayIcon::presentWindow);
    menu->addSeparator();
    QAction *quitAction = menu->addAction(QStringLiteral("退出"));
    connect(quitAction, &QAction::triggered, QCoreApplication::instance(), &QCoreApplication::quit);

    trayIcon->setContextMenu(menu);
    connect(trayIcon, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
}

TrayIcon::~TrayIcon()
{
    delete menu;
}

void TrayIcon::show()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qCWarning(lcTray) << "system tray unavailable, close-to-tray disabled and window close will quit";
        return;
    }
    trayIcon->show();
}

void TrayIcon::setPresenter(IWindowPresenter *p)
{
    presenter = p;
    showAction->setEnabled(presenter != nullptr);
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // The context-menu click opens the menu by itself; other reasons do nothing.
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
        presentWindow();
}

void TrayIcon::presentWindow()
{
    if (presenter)
        presenter->present();
}
