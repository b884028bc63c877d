#pragma once

#include <QMainWindow>

class LoginForm;
class LoginMenuBar;
class LoginStatusBar;
class WindowTitleBar;

// The frameless window shown while nobody is signed in: title bar with menus, the
// centred sign-in form and a status strip.
class LoginWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit LoginWindow(QWidget *parent = nullptr);

    LoginForm *form() const { return loginForm; }
    LoginMenuBar *loginMenuBar() const { return menu; }
    WindowTitleBar *titleBar() const { return title; }

private:
    LoginMenuBar *menu = nullptr;
    WindowTitleBar *title = nullptr;
    LoginForm *loginForm = nullptr;
    LoginStatusBar *status = nullptr;
};
