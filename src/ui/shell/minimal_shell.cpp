#include "ui/shell/minimal_shell.h"

#include "app/client_context.h"
#include "app/startup_gate.h"
#include "audio/audio_assembly.h"
#include "auth/auth_assembly.h"
#include "auth/session_service.h"
#include "channel/channel_assembly.h"
#include "hotkey/hotkey_assembly.h"
#include "legal/legal_service.h"
#include "livekit/media_session_service.h"
#include "match/match_assembly.h"
#include "match/pref_assembly.h"
#include "net/http_transport.h"
#include "realtime/realtime_assembly.h"
#include "room/room_assembly.h"
#include "theme/style_helpers.h"
#include "theme/ui_log.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/dialogs/startup_retry_dialog.h"
#include "ui/dialogs/update_progress_dialog.h"
#include "ui/login/login_window.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "ui/shell/ui_machine_store.h"
#include "update/update_service.h"
#include "user/user_assembly.h"
#include "user/user_directory_service.h"
#include "wiring/login_window_wiring.h"
#include "wiring/main_window_wiring.h"
#include "wiring/service_wiring.h"

#include <QApplication>
#include <QFile>
#include <QLayout>
#include <QLibrary>
#include <QStyleFactory>
#include <QThread>

#include <atomic>

namespace {

// Warms up the voice libraries so that their first real use finds them loaded. Runs on
// its own low-priority thread and touches nothing shared.
void preloadLibraries()
{
    for (const char *name : {"livekit", "livekit_ffi", "onnxruntime", "df"}) {
        QLibrary library{QString::fromLatin1(name)};
        if (!library.load())
            qCWarning(lcUi).noquote() << "delay-load preload failed:" << name;
    }
}

std::atomic_bool preloadStarted{false};

} // namespace

MinimalShell::MinimalShell(ClientContext *ctx, QObject *parent)
    : QObject(parent)
    , context(ctx)
    , store(std::make_unique<UiMachineStore>())
{}

MinimalShell::~MinimalShell()
{
    context->setPresenter(nullptr);
    store.reset();
    preloadedLogin.reset();
    current.reset();
    // The start-up dialogs belong to the shell until the gate passes.
    delete progressDialog.data();
    delete retryDialog.data();
}

void MinimalShell::applyStyleSheet()
{
    QFile file(QStringLiteral(":/minimal-theme.qss"));
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcUi) << "minimal-theme.qss missing from resources, falling back to bare fusion";
        return;
    }
    const QString sheet = style::resolveTheme(QString::fromUtf8(file.readAll()));
    if (sheet.contains(QLatin1Char('@')))
        qCWarning(lcUi) << "unresolved token placeholder in minimal-theme.qss";
    qApp->setStyleSheet(sheet);
}

void MinimalShell::wireServices()
{
    // Connections to one signal run in the order they were made, so this order matters.
    LoginService *login = context->auth->loginService();
    SessionService *session = context->auth->sessionService();
    GatewayService *gateway = context->realtime->gateway();
    UserState *user = context->user->userState();
    ProfileService *profile = context->user->profileService();
    CodeMatchService *codeMatch = context->match->codeMatchService();
    CodeAttachService *codeAttach = context->match->codeAttachService();
    ChannelListService *channelList = context->channel->listService();
    RoomAssembly *rooms = context->room.get();
    ActiveRoomSession *activeRoom = rooms->session();
    RoomEntityStore *roomStore = rooms->entityStore();
    MediaSessionService *media = context->mediaSession.get();
    AudioControlService *audioControl = context->audio->controlService();
    SoundManager *sounds = context->audio->soundManager();
    HotkeyService *hotkeys = context->hotkeys->service();
    wiring::wireShellSession(login, session, this);
    wiring::wireProfileLifecycle(login, session, profile, user);
    wiring::wireReconsentCheck(profile, context->user->consentService());
    wiring::wireRealtimeLifecycle(login, session, gateway);
    wiring::wireMatchRealtime(gateway, codeMatch);
    wiring::wireRoomLifecycle(codeMatch, codeAttach, rooms->createService(), session, activeRoom, user,
                              rooms->chatService(), rooms->applyService(), rooms->attachApplyService(), login,
                              rooms->listService());
    WatchRegistry *watches =
        wiring::wireRoomRealtime(gateway, rooms->entityFeed(), activeRoom, rooms->createService(), rooms->chatService(),
                                 rooms->listService(), rooms->settingsService(), rooms->applyService(),
                                 rooms->attachApplyService());
    wiring::wireChannelLifecycle(login, session, channelList, user);
    wiring::wireChannelRealtime(gateway, context->channel->entityFeed(), channelList, context->channel->entityStore(),
                                roomStore, watches);
    wiring::wireLiveKitSession(activeRoom, roomStore, user, media);
    wiring::wireAudioTransmit(activeRoom, audioControl, context->audio->captureManager(), media, sounds);
    wiring::wirePttHotkey(hotkeys, audioControl);
    wiring::wireProfileRealtime(gateway, profile);
    wiring::wireUserDirectory(gateway, context->user->userDirectoryService(), session);
}

void MinimalShell::start()
{
    applyStyleSheet();
    context->setPresenter(this);
    qCInfo(lcUi) << "minimal shell start, running startup gate";
    wireServices();

    progressDialog = new UpdateProgressDialog;
    connect(context->update.get(), &UpdateService::downloadStarted, progressDialog.data(), &QWidget::show);
    connect(context->update.get(), &UpdateService::downloadProgress, progressDialog.data(),
            &UpdateProgressDialog::setDownloadPercent);

    retryDialog = new StartupRetryDialog;
    connect(context->startupGate.get(), &StartupGate::needRetry, retryDialog.data(), &StartupRetryDialog::showRetry);
    connect(retryDialog.data(), &StartupRetryDialog::retryRequested, context->startupGate.get(),
            &StartupGate::onManualRetry);
    // Escape rejects the dialog without a close event; without the dialog nothing would be
    // left on screen, so it quits as closing does.
    connect(retryDialog.data(), &QDialog::rejected, qApp, &QCoreApplication::quit);

    QPointer<MinimalShell> self(this);
    context->startupGate->start([self] {
        if (!self)
            return;
        qCInfo(lcUi) << "startup gate passed, showing login";
        self->showLoginWindow();
        self->context->auth->sessionService()->tryResume();
        if (self) {
            if (self->progressDialog)
                self->progressDialog->deleteLater();
            if (self->retryDialog) {
                // Going away after a pass is no request to quit.
                QObject::disconnect(self->retryDialog.data(), nullptr, qApp, nullptr);
                self->retryDialog->deleteLater();
            }
        }
    });

    if (!current)
        preloadedLogin = createLoginWindow();
}

std::unique_ptr<QWidget> MinimalShell::createLoginWindow()
{
    auto window = std::make_unique<LoginWindow>();
    LegalService *legal = context->legal.get();
    wiring::wireLegal(window.get(), legal);
    wiring::wireLicenses(window.get());
    wiring::wireLoginForm(window.get(), context->auth->smsService(), context->auth->loginService(), legal);
    wiring::wireAudioSettings(window.get(), context->audio->deviceCatalog(), context->audio->captureManager(),
                              context->audio->playbackManager(), context->audio->soundManager());
    // Polished in advance so that the first show costs nothing.
    window->ensurePolished();
    for (QWidget *child : window->findChildren<QWidget *>())
        child->ensurePolished();
    if (QLayout *layout = window->layout())
        layout->activate();
    (void)window->sizeHint();
    return window;
}

void MinimalShell::showLoginWindow()
{
    std::unique_ptr<QWidget> next = preloadedLogin ? std::move(preloadedLogin) : createLoginWindow();
    swapWindow(std::move(next));
}

void MinimalShell::installPanels(MainWindow *window)
{
    // The window's docks hold placeholders until the views are handed in; the wiring
    // finds the views through the window's accessors. The chat tab is the window's own.
    window->setCurrentRoomPanel(new CurrentRoomPanel);
    window->setMyRoomPanel(new MyRoomPanel);
    window->setMyChannelPanel(new MyChannelPanel);
    window->setConnectSettingsTab(new ConnectSettingsTab);
}

void MinimalShell::showMainWindow(const MainWindowOptions &options)
{
    auto window = std::make_unique<MainWindow>(options);
    MainWindow *w = window.get();
    installPanels(w);
    SessionService *session = context->auth->sessionService();
    UserState *user = context->user->userState();
    GatewayService *gateway = context->realtime->gateway();
    AbstractUserResolver *users = context->user->userDirectoryService();
    ChannelEntityStore *channelStore = context->channel->entityStore();
    MediaSessionService *media = context->mediaSession.get();
    PreferenceService *preferences = context->prefs->preferenceService();
    RoomAssembly *rooms = context->room.get();
    ActiveRoomSession *activeRoom = rooms->session();
    RoomEntityStore *roomStore = rooms->entityStore();
    AudioControlService *audioControl = context->audio->controlService();
    SoundManager *sounds = context->audio->soundManager();
    HotkeyService *hotkeys = context->hotkeys->service();
    wiring::wireLicenses(w);
    wiring::wireLogout(w, session);
    wiring::wireNicknameLabel(w, user);
    wiring::wireStatusAnnouncer(w, activeRoom, gateway);
    wiring::wireAccountDialog(w, user, context->user->nicknameService());
    wiring::wireCodeJoin(w, context->match->codeMatchService(), context->match->codeAttachService(), activeRoom);
    wiring::RoomPanelsFeed *feed =
        wiring::wireRoomPanels(w, activeRoom, roomStore, rooms->createService(), rooms->moderationService(),
                               rooms->chatService(), rooms->followCodeService(), rooms->listService(),
                               rooms->subroomService(), user, users, channelStore, context->transport->downloader());
    wiring::wireRoomSettings(w, activeRoom, roomStore, rooms->adapterRegistry(), rooms->settingsService(), user, users,
                             gateway, channelStore, rooms->chatService());
    wiring::wireRoomCreateConfigs(w, rooms->createConfigService(), user);
    wiring::wirePrefConfigs(w, preferences, users, activeRoom, rooms->listService(), user);
    wiring::wirePrefMatch(w, preferences, context->match->prefMatchService(), roomStore, activeRoom,
                          rooms->createService(), rooms->settingsService(), users);
    wiring::wireRoomRequests(w, activeRoom, rooms->requestService(), rooms->applyService(), rooms->attachApplyService(),
                             user, users, channelStore);
    wiring::wireSpeakers(w, media, feed);
    wiring::wireVoiceFailures(w, media, context->audio->captureManager());
    wiring::wireControlPanel(w, audioControl, activeRoom, user);
    wiring::wireBroadcastHotkey(w, hotkeys);
    wiring::wireHotkeySettings(w, hotkeys);
    wiring::wireAudioSettings(w, context->audio->deviceCatalog(), context->audio->captureManager(),
                              context->audio->playbackManager(), sounds);
    wiring::wireParticipantVolume(w, context->audio->playbackManager(), media);
    wiring::wireMyRoomOrder(w, store.get());
    wiring::wireChannelPanels(w, context->channel->listService(), channelStore, context->channel->actionsService(),
                              user, users, store.get(), roomStore, activeRoom, feed);
    wiring::wireUserReconsent(w, context->user->consentService(), context->legal.get(), session);
    swapWindow(std::move(window));
}

void MinimalShell::swapWindow(std::unique_ptr<QWidget> next)
{
    if (current) {
        current->hide();
        current.release()->deleteLater();
    }
    current = std::move(next);
    current->show();

    // Once per process, after the first window is on screen.
    if (!preloadStarted.exchange(true)) {
        QThread *thread = QThread::create(preloadLibraries);
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start(QThread::LowPriority);
    }
}

void MinimalShell::present()
{
    if (!current)
        return;
    if (auto *main = qobject_cast<MainWindow *>(current.get())) {
        main->activateAll();
        return;
    }
    current->show();
    if (current->windowState() & Qt::WindowMinimized)
        current->setWindowState(current->windowState() & ~Qt::WindowMinimized);
    current->raise();
    current->activateWindow();
}

std::unique_ptr<MinimalShell> createMinimalShell(ClientContext &context)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    QFont font(QStringLiteral("Microsoft YaHei UI"), 9);
    font.setHintingPreference(QFont::PreferNoHinting);
    QApplication::setFont(font);
    qCInfo(lcUi) << "UI shell = minimal";
    auto shell = std::make_unique<MinimalShell>(&context);
    shell->start();
    return shell;
}
