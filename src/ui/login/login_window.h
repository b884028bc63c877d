#pragma once

#include <QMainWindow>

#include <functional>

class LoginForm;
class LoginMenuBar;
class LoginStatusBar;
class WindowTitleBar;

// The frameless window shown while nobody is signed in: title bar with menus, the
// centred sign-in form and a status strip. Closing it hides it while a tray icon can bring
// it back, and quits the client where there is no tray.
class LoginWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit LoginWindow(QWidget *parent = nullptr);

    LoginForm *form() const { return loginForm; }
    LoginMenuBar *loginMenuBar() const { return menu; }
    WindowTitleBar *titleBar() const { return title; }

    // Replaces the system's answer to "is there a tray?" (tests).
    void setTrayCheck(std::function<bool()> check);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::function<bool()> trayCheck;
    LoginMenuBar *menu = nullptr;
    WindowTitleBar *title = nullptr;
    LoginForm *loginForm = nullptr;
    LoginStatusBar *status = nullptr;
};
