#include "recording_wiring.h"

#include "../../server/local_service_rig.h"
#include "app/client_context.h"
#include "app/startup_gate.h"
#include "auth/auth_assembly.h"
#include "auth/session_store.h"
#include "net/server_addresses.h"
#include "storage/data_root.h"
#include "support/log_capture.h"
#include "support/test_main.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/dialogs/startup_retry_dialog.h"
#include "ui/login/login_window.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "ui/shell/minimal_shell.h"
#include "ui/shell/ui_machine_store.h"

#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

using testsupport::LogCapture;

namespace {

constexpr int kWaitMs = 10000;

const QStringList kServiceWiring{"wireShellSession",      "wireProfileLifecycle", "wireReconsentCheck",
                                 "wireRealtimeLifecycle", "wireMatchRealtime",    "wireRoomLifecycle",
                                 "wireRoomRealtime",      "wireChannelLifecycle", "wireChannelRealtime",
                                 "wireLiveKitSession",    "wireAudioTransmit",    "wirePttHotkey",
                                 "wireProfileRealtime",   "wireUserDirectory"};
const QStringList kLoginWiring{"login:wireLegal", "login:wireLicenses", "login:wireLoginForm",
                               "login:wireAudioSettings"};
const QStringList kMainWiring{"main:wireLicenses",        "main:wireLogout",        "main:wireNicknameLabel",
                              "main:wireStatusAnnouncer", "main:wireAccountDialog", "main:wireCodeJoin",
                              "main:wireRoomPanels",      "main:wireRoomSettings",  "main:wireRoomCreateConfigs",
                              "main:wirePrefConfigs",     "main:wirePrefMatch",     "main:wireRoomRequests",
                              "main:wireSpeakers",        "main:wireVoiceFailures", "main:wireControlPanel",
                              "main:wireBroadcastHotkey",
                              "main:wireHotkeySettings",  "main:wireAudioSettings", "main:wireParticipantVolume",
                              "main:wireMyRoomOrder",     "main:wireChannelPanels", "main:wireUserReconsent"};

StartupRetryDialog *visibleRetryDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<StartupRetryDialog *>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

} // namespace

class MinimalShellTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        recording::calls.clear();
        recording::navigator = nullptr;
        recording::feedsSeen.clear();
        recording::nullArguments.clear();
    }

    void swapsFromLoginToMainAndBack()
    {
        servertest::ServiceRig rig;
        QVERIFY(rig.start());
        LogCapture logs;
        ClientContext context;
        context.init(nullptr);
        std::unique_ptr<MinimalShell> shell = createMinimalShell(context);

        // Start: services wired in order, then the login window built and wired in advance.
        QCOMPARE(recording::calls, kServiceWiring + kLoginWiring);
        QCOMPARE(recording::navigator, static_cast<IShellNavigator *>(shell.get()));
        QVERIFY(!shell->currentWindow());
        QPointer<QWidget> preloaded = shell->preloadedLoginWindow();
        QVERIFY(qobject_cast<LoginWindow *>(preloaded));
        QVERIFY(!preloaded->isVisible());
        shell->present(); // nothing on screen yet: nothing happens
        QVERIFY(!preloaded->isVisible());
        QVERIFY(!qApp->styleSheet().isEmpty());
        QVERIFY(logs.contains("ui", "minimal shell start, running startup gate"));
        // Every service the wiring is given is a real one.
        QCOMPARE(recording::nullArguments, QStringList());

        // The gate passes against the local service: the very preloaded window is shown.
        QTRY_VERIFY_WITH_TIMEOUT(shell->currentWindow(), kWaitMs);
        QCOMPARE(shell->currentWindow(), preloaded.data());
        QVERIFY(preloaded->isVisible());
        QVERIFY(!shell->preloadedLoginWindow());
        QVERIFY(logs.contains("ui", "startup gate passed, showing login"));
        QCOMPARE(recording::calls, kServiceWiring + kLoginWiring);

        // A sign-in: the main window is wired in order and replaces the login window.
        recording::calls.clear();
        recording::nullArguments.clear();
        MainWindowOptions options;
        recording::navigator->showMainWindow(options);
        QCOMPARE(recording::calls, kMainWiring);
        auto *main = qobject_cast<MainWindow *>(shell->currentWindow());
        QVERIFY(main);
        QCOMPARE(recording::nullArguments, QStringList());
        // The wiring finds the real views in the window, not the placeholders.
        QVERIFY(qobject_cast<ConnectSettingsTab *>(main->connectSettingsTab()));
        QVERIFY(qobject_cast<CurrentRoomPanel *>(main->currentRoomPanel()));
        QVERIFY(qobject_cast<MyRoomPanel *>(main->myRoomPanel()));
        QVERIFY(qobject_cast<MyChannelPanel *>(main->myChannelPanel()));
        QVERIFY(main->isVisible());
        QVERIFY(!preloaded.isNull()); // deleted later, never at once
        QVERIFY(!preloaded->isVisible());
        QTRY_VERIFY(preloaded.isNull());
        // The feed of call 7 is the one the speaker and channel wiring received.
        QCOMPARE(recording::feedsSeen.size(), 3);
        QCOMPARE(recording::feedsSeen.at(1), recording::feedsSeen.at(0));
        QCOMPARE(recording::feedsSeen.at(2), recording::feedsSeen.at(0));

        // Presenting the main window brings it forward with its floating docks.
        main->hide();
        shell->present();
        QVERIFY(main->isVisible());

        // A sign-out builds a fresh login window.
        recording::calls.clear();
        QPointer<QWidget> oldMain = main;
        recording::navigator->showLoginWindow();
        QCOMPARE(recording::calls, kLoginWiring);
        auto *login = qobject_cast<LoginWindow *>(shell->currentWindow());
        QVERIFY(login);
        QTRY_VERIFY(oldMain.isNull());

        // Presenting a minimised login window restores it.
        login->showMinimized();
        shell->present();
        QVERIFY(!(login->windowState() & Qt::WindowMinimized));
        QVERIFY(login->isVisible());

        shell.reset();
        // The session look-up of the resume runs in the credential store; let it finish
        // before the context goes.
        QTRY_VERIFY_WITH_TIMEOUT(context.auth->sessionStore()->findChildren<QObject *>().isEmpty(), kWaitMs);
    }

    void failingGateShowsTheRetryDialogAndClosingItQuits()
    {
        // Nothing listens here: every start-up fetch fails at once.
        serveraddress::setApiBaseUrl(QStringLiteral("http://127.0.0.1:9"));
        serveraddress::setAssetBaseUrl(QStringLiteral("http://127.0.0.1:9"));
        ClientContext context;
        context.init(nullptr);
        context.startupGate->setRetryDelayMs(1);
        std::unique_ptr<MinimalShell> shell = createMinimalShell(context);

        QTRY_VERIFY_WITH_TIMEOUT(visibleRetryDialog(), kWaitMs);
        QVERIFY(!shell->currentWindow());

        // A manual retry that fails again brings the dialog back with its button enabled.
        StartupRetryDialog *dialog = visibleRetryDialog();
        dialog->retry()->click();
        QVERIFY(!dialog->retry()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(dialog->retry()->isEnabled(), kWaitMs);
        QVERIFY(dialog->isVisible());

        // Escape and the close button both end the program.
        QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
        QTimer::singleShot(kWaitMs, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(qApp->exec(), 0);

        QTimer::singleShot(0, dialog, [dialog] {
            dialog->show();
            dialog->close();
        });
        QTimer::singleShot(kWaitMs, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(qApp->exec(), 0);

        QPointer<StartupRetryDialog> guard = dialog;
        shell.reset();
        QVERIFY(guard.isNull()); // the shell takes its dialogs with it
    }

    void uiStoreKeepsPanelOrders()
    {
        {
            UiMachineStore store;
            QVERIFY(store.myRoomOrder().isEmpty());
            QVERIFY(store.myChannelOrder().isEmpty());
            store.setMyRoomOrder({"r2", "r1"});
            store.setMyChannelOrder({"c1"});
        }
        QVERIFY(QFile::exists(machineIniPath("ui")));
        QSettings file(machineIniPath("ui"), QSettings::IniFormat);
        QCOMPARE(file.value("minimal/myRoomOrder").toStringList(), (QStringList{"r2", "r1"}));
        QCOMPARE(file.value("minimal/myChannelOrder").toStringList(), (QStringList{"c1"}));
        UiMachineStore again;
        QCOMPARE(again.myRoomOrder(), (QStringList{"r2", "r1"}));
        QCOMPARE(again.myChannelOrder(), (QStringList{"c1"}));
    }
};

KESTOVA_TEST_MAIN(MinimalShellTest)
#include "test_minimal_shell.moc"
