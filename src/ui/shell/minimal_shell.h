#pragma once

#include "app/i_window_presenter.h"
#include "ui/shell/i_shell_navigator.h"

#include <QObject>
#include <QPointer>

#include <memory>

class MainWindow;
class QWidget;
class StartupRetryDialog;
class UiMachineStore;
class UpdateProgressDialog;
struct ClientContext;

// The one owner of the top-level windows. It applies the application's style sheet,
// joins the services to each other through the wiring, shows the start-up dialogs while
// the start-up gate runs, and then swaps between the login window and the main window;
// every swap builds the next window with its wiring and deletes the previous one later.
// It also owns the machine store of the panel orders. GUI thread only.
class MinimalShell : public QObject, public IShellNavigator, public IWindowPresenter
{
    Q_OBJECT
public:
    explicit MinimalShell(ClientContext *context, QObject *parent = nullptr);
    ~MinimalShell() override;

    // Called once, by createMinimalShell.
    void start();

    void showMainWindow(const MainWindowOptions &options) override;
    void showLoginWindow() override;
    void present() override;

    QWidget *currentWindow() const { return current.get(); }
    QWidget *preloadedLoginWindow() const { return preloadedLogin.get(); }
    UiMachineStore *uiStore() const { return store.get(); }

private:
    void swapWindow(std::unique_ptr<QWidget> next);
    std::unique_ptr<QWidget> createLoginWindow();
    void installPanels(MainWindow *window);
    void applyStyleSheet();
    void wireServices();

    ClientContext *context = nullptr;
    std::unique_ptr<QWidget> current;
    std::unique_ptr<QWidget> preloadedLogin;
    std::unique_ptr<UiMachineStore> store;
    // Alive from start until the gate passes (or until the shell goes).
    QPointer<UpdateProgressDialog> progressDialog;
    QPointer<StartupRetryDialog> retryDialog;
};

// Sets the application style and font, then builds and starts the shell over the
// context; main owns the result and deletes it before the context.
std::unique_ptr<MinimalShell> createMinimalShell(ClientContext &context);
