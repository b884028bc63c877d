#include "wiring/hotkey_wiring.h"

#include "audio/audio_control_service.h"
#include "hotkey/hotkey_service.h"
#include "ui/dialogs/hotkey_settings_dialog.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_menu_bar.h"
#include "ui/main/main_window.h"
#include "ui/panels/my_room_panel.h"
#include "ui/shell/i_ui_storage.h"
#include "wiring/main_window_wiring.h"
#include "wiring/service_wiring.h"
#include "wiring/window_views.h"

namespace wiring {

void wirePttHotkey(HotkeyService *hotkeys, AudioControlService *audioControl)
{
    if (!hotkeys || !audioControl)
        return;
    QObject::connect(hotkeys, &HotkeyService::pttPressed, audioControl,
                     [audioControl] { audioControl->setPttActive(true); });
    QObject::connect(hotkeys, &HotkeyService::pttReleased, audioControl,
                     [audioControl] { audioControl->setPttActive(false); });
}

void wireBroadcastHotkey(MainWindow *window, HotkeyService *hotkeys)
{
    ControlPanel *panel = window ? window->controlPanel() : nullptr;
    if (!panel || !hotkeys)
        return;
    // Through the panel, which refuses a broadcast while its control is hidden or disabled.
    QObject::connect(hotkeys, &HotkeyService::broadcastPressed, panel, [panel] { panel->setBroadcasting(true); });
    QObject::connect(hotkeys, &HotkeyService::broadcastReleased, panel, [panel] { panel->setBroadcasting(false); });
}

void wireHotkeySettings(MainWindow *window, HotkeyService *hotkeys)
{
    if (!window || !hotkeys || !window->mainMenuBar())
        return;
    QObject::connect(window->mainMenuBar(), &MainMenuBar::hotkeySettingsRequested, window,
                     [window, hotkeys] { openHotkeySettings(window, hotkeys); });
}

void openHotkeySettings(MainWindow *window, HotkeyService *hotkeys)
{
    if (auto *open = window->findChild<HotkeySettingsDialog *>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto *dialog = new HotkeySettingsDialog(window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    for (HotkeyAction action : {HotkeyAction::Ptt, HotkeyAction::Broadcast})
        dialog->setBinding(action, hotkeys->bindingFor(action));
    hotkeys->setSuspended(true);
    QObject::connect(dialog, &QObject::destroyed, hotkeys, [hotkeys] { hotkeys->setSuspended(false); });
    QObject::connect(dialog, &HotkeySettingsDialog::bindingChangeRequested, hotkeys,
                     [hotkeys, dialog](HotkeyAction action, const QKeySequence &sequence) {
                         if (!hotkeys->setBinding(action, sequence))
                             dialog->showConflict(action);
                     });
    QObject::connect(hotkeys, &HotkeyService::bindingChanged, dialog, &HotkeySettingsDialog::setBinding);
    dialog->show();
}

void wireMyRoomOrder(MainWindow *window, IUiStorage *storage)
{
    auto *panel = window ? windowView<MyRoomPanel>(window->myRoomPanel()) : nullptr;
    if (!panel || !storage)
        return;
    panel->setOrder(storage->myRoomOrder());
    QObject::connect(panel, &blocks::BlockListPanel::orderChanged, window,
                     [storage](const QStringList &order) { storage->setMyRoomOrder(order); });
}

} // namespace wiring
