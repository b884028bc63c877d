#pragma once

class MainWindow;
class NicknameService;
class QWidget;
class UserState;

// The parts of the session wiring that open a dialog on request. GUI thread only.
namespace wiring {

// Opens the open-source notice, window-modal over `parent`, deleted when closed.
void showLicenses(QWidget *parent);

// Opens a new account dialog over the main window with the user's names as they are now.
void openAccountDialog(MainWindow *window, UserState *user, NicknameService *nickname);

} // namespace wiring
