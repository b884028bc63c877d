#include "ui/login/login_window.h"

#include "theme/style_helpers.h"
#include "ui/frame/window_title_bar.h"
#include "ui/login/login_form.h"
#include "ui/login/login_menu_bar.h"
#include "ui/login/login_status_bar.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QSystemTrayIcon>

LoginWindow::LoginWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Kestova"));
    resize(800, 600);

    menu = new LoginMenuBar(this);
    title = new WindowTitleBar(menu, this);
    title->setTitle(QStringLiteral("Kestova"));
    setMenuWidget(title);
    installFramelessAgent(this, title);

    loginForm = new LoginForm(this);
    status = new LoginStatusBar(this);

    auto *body = new QWidget(this);
    body->setObjectName(QStringLiteral("loginBody"));
    body->setAttribute(Qt::WA_StyledBackground);
    body->setStyleSheet(style::resolveTheme(QStringLiteral("\n#loginBody {\n    background: @white@;\n}\n")));
    auto *column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addStretch(1);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(loginForm);
    row->addStretch(1);
    column->addLayout(row);
    column->addStretch(1);
    column->addWidget(status);
    setCentralWidget(body);
}

void LoginWindow::setTrayCheck(std::function<bool()> check)
{
    trayCheck = std::move(check);
}

void LoginWindow::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    // Without a tray nothing could show the window again: an invisible client is no use.
    const bool trayAvailable = trayCheck ? trayCheck() : QSystemTrayIcon::isSystemTrayAvailable();
    if (!trayAvailable)
        QCoreApplication::quit();
}
