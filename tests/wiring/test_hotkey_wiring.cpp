#include "audio/audio_capture_manager.h"
#include "audio/audio_control_service.h"
#include "audio/audio_playback_manager.h"
#include "audio/memory_audio_storage.h"
#include "hotkey/fake_keyboard_source.h"
#include "hotkey/global_hotkey_monitor.h"
#include "hotkey/hotkey_assembly.h"
#include "hotkey/hotkey_service.h"
#include "support/test_main.h"
#include "ui/dialogs/hotkey_settings_dialog.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_menu_bar.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/panels/my_room_panel.h"
#include "ui/shell/ui_machine_store.h"
#include "wiring/main_window_wiring.h"
#include "wiring/service_wiring.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>

using testsupport::FakeKeyboardSource;

namespace {

constexpr quint16 kF2 = 113; // push-to-talk by default
constexpr quint16 kF3 = 114; // broadcast by default
constexpr quint16 kF5 = 116;

// The hotkey service over a played keyboard, the talk controls, and a main window.
struct Rig
{
    FakeKeyboardSource *keys = nullptr;
    std::unique_ptr<GlobalHotkeyMonitor> monitor;
    std::unique_ptr<HotkeyAssembly> hotkeys;
    testsupport::MemoryAudioStorage storage;
    AudioCaptureManager capture{&storage};
    AudioPlaybackManager playback;
    AudioControlService control{&capture, &playback};
    std::unique_ptr<MainWindow> window;

    Rig()
    {
        auto keyboard = std::make_unique<FakeKeyboardSource>();
        keys = keyboard.get();
        monitor = std::make_unique<GlobalHotkeyMonitor>(nullptr, std::move(keyboard));
        hotkeys = std::make_unique<HotkeyAssembly>(monitor.get());
        window = std::make_unique<MainWindow>(MainWindowOptions{});
        window->setMyRoomPanel(new MyRoomPanel);
        wiring::wirePttHotkey(service(), &control);
        wiring::wireBroadcastHotkey(window.get(), service());
        wiring::wireHotkeySettings(window.get(), service());
    }
    ~Rig()
    {
        window.reset();
        hotkeys.reset();
        monitor.reset();
    }
    HotkeyService *service() const { return hotkeys->service(); }
    HotkeySettingsDialog *openDialog()
    {
        emit window->mainMenuBar()->hotkeySettingsRequested();
        return window->findChild<HotkeySettingsDialog *>();
    }
    void tap(quint16 key)
    {
        keys->press(key);
        keys->release(key);
    }
};

bool showsText(QWidget *root, const QString &text)
{
    for (QLabel *label : root->findChildren<QLabel *>())
        if (label->isVisible() && label->text().contains(text))
            return true;
    return false;
}

} // namespace

class HotkeyWiringTest : public QObject
{
    Q_OBJECT
private slots:
    void pushToTalkKeyOpensTheMicrophoneWhileHeld()
    {
        Rig rig;
        QSignalSpy ptt(&rig.control, &AudioControlService::pttActiveChanged);
        rig.keys->press(kF2);
        QVERIFY(rig.control.isPttActive());
        rig.keys->release(kF2);
        QVERIFY(!rig.control.isPttActive());
        QCOMPARE(ptt.count(), 2);
    }

    void broadcastKeyGoesThroughTheControlPanel()
    {
        Rig rig;
        ControlPanel *panel = rig.window->controlPanel();
        QSignalSpy broadcast(panel, &ControlPanel::broadcastStateChanged);
        panel->setBroadcastVisible(true);
        panel->setBroadcastAvailable(true);
        rig.keys->press(kF3);
        QVERIFY(panel->isBroadcasting());
        rig.keys->release(kF3);
        QVERIFY(!panel->isBroadcasting());
        QCOMPARE(broadcast.count(), 2);

        // A room whose broadcast control is hidden: the key does nothing.
        panel->setBroadcastVisible(false);
        rig.tap(kF3);
        QVERIFY(!panel->isBroadcasting());
        QCOMPARE(broadcast.count(), 2);
    }

    void settingsDialogSuspendsAndRebindsLive()
    {
        Rig rig;
        HotkeySettingsDialog *dialog = rig.openDialog();
        QVERIFY(dialog);
        QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
        // A second request raises the open dialog instead of opening another.
        emit rig.window->mainMenuBar()->hotkeySettingsRequested();
        QCOMPARE(rig.window->findChildren<HotkeySettingsDialog *>().size(), 1);

        // While it is open the keys do not fire.
        rig.keys->press(kF2);
        QVERIFY(!rig.control.isPttActive());
        rig.keys->release(kF2);

        // Binding broadcast to the push-to-talk key is refused with the conflict message.
        QSignalSpy changed(rig.service(), &HotkeyService::bindingChanged);
        emit dialog->bindingChangeRequested(HotkeyAction::Broadcast, QKeySequence(Qt::Key_F2));
        QVERIFY(showsText(dialog, QStringLiteral("该键已绑定其他动作")));
        QCOMPARE(rig.service()->bindingFor(HotkeyAction::Broadcast), QKeySequence(Qt::Key_F3));
        QCOMPARE(rig.service()->bindingFor(HotkeyAction::Ptt), QKeySequence(Qt::Key_F2));
        QCOMPARE(changed.count(), 0);

        // A good change is stored by the service and shown through its announcement.
        emit dialog->bindingChangeRequested(HotkeyAction::Ptt, QKeySequence(Qt::Key_F5));
        QCOMPARE(rig.service()->bindingFor(HotkeyAction::Ptt), QKeySequence(Qt::Key_F5));
        QCOMPARE(changed.count(), 1);
        bool shown = false;
        for (auto *widget : dialog->findChildren<QWidget *>()) {
            const QString text = qobject_cast<QLabel *>(widget)        ? qobject_cast<QLabel *>(widget)->text()
                                 : qobject_cast<QPushButton *>(widget) ? qobject_cast<QPushButton *>(widget)->text()
                                                                       : QString();
            shown = shown || text == QStringLiteral("F5");
        }
        QVERIFY(shown);

        // Closing the dialog resumes the keys, with the new binding.
        QPointer<HotkeySettingsDialog> guard(dialog);
        dialog->close();
        QTRY_VERIFY(guard.isNull());
        rig.keys->press(kF5);
        QVERIFY(rig.control.isPttActive());
        rig.keys->release(kF5);
        QVERIFY(!rig.control.isPttActive());
    }

    void myRoomOrderIsStoredAndRestored()
    {
        UiMachineStore().setMyRoomOrder({});
        {
            Rig rig;
            UiMachineStore store;
            wiring::wireMyRoomOrder(rig.window.get(), &store);
            auto *panel = qobject_cast<MyRoomPanel *>(rig.window->myRoomPanel());
            emit panel->orderChanged({QStringLiteral("r2"), QStringLiteral("r1")});
            QCOMPARE(UiMachineStore().myRoomOrder(), QStringList({"r2", "r1"}));
        }
        // The next window opens with the stored order.
        Rig next;
        UiMachineStore store;
        wiring::wireMyRoomOrder(next.window.get(), &store);
        auto *panel = qobject_cast<MyRoomPanel *>(next.window->myRoomPanel());
        QCOMPARE(panel->savedOrder(), QStringList({"r2", "r1"}));
    }
};

KESTOVA_TEST_MAIN(HotkeyWiringTest)
#include "test_hotkey_wiring.moc"
