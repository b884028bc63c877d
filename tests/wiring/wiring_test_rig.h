#pragma once

#include "auth/jwt.h"
#include "auth/login_service.h"
#include "auth/memory_session_store.h"
#include "auth/session_service.h"
#include "auth/sms_service.h"
#include "legal/legal_service.h"
#include "match/code_attach_service.h"
#include "match/code_match_service.h"
#include "realtime/gateway_service.h"
#include "realtime/socket_client.h"
#include "realtime/watch_registry.h"
#include "room/active_room_session.h"
#include "room/room_apply_service.h"
#include "room/room_assembly.h"
#include "room/room_attach_apply_service.h"
#include "room/room_chat_service.h"
#include "room/room_entity_store.h"
#include "room/room_list_service.h"
#include "room/room_stream_target.h"
#include "support/fake_http_client.h"
#include "support/fake_raw_uploader.h"
#include "support/pending_raw_downloader.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "ui/shell/i_shell_navigator.h"
#include "user/consent_service.h"
#include "user/nickname_service.h"
#include "user/profile_service.h"
#include "user/user_directory_service.h"
#include "user/user_state.h"
#include "wiring/main_window_wiring.h"
#include "wiring/service_wiring.h"

#include <QPointer>
#include <QTest>

#include <memory>

// An access token that expired long ago: the gateway's connect must refresh it first.
inline QString expiredToken()
{
    return jwtWith({{"sub", "me"}, {"exp", 1000}});
}

// The real services of the session and room road over a fake REST client, a gateway
// that never connects (the tests play its signals), and a navigator that builds real
// main windows with the window wiring of the session and room entry, as the shell does.
// GUI thread only.
struct WiringTestRig : IShellNavigator
{
    testsupport::FakeHttpClient http;
    testsupport::FakeRawUploader uploader;
    testsupport::PendingRawDownloader downloader;
    MemorySessionStore sessionStore;
    SessionService session{&http, &sessionStore};
    LoginService login{&http, &sessionStore, QStringLiteral("device-1")};
    SmsService sms{&http};
    LegalService legal{&downloader};
    UserState user;
    ProfileService profile{&http, &user};
    ConsentService consent{&http, &user, &legal};
    NicknameService nickname{&http, &user};
    UserDirectoryService directory{&http};
    CodeMatchService codeMatch{&http};
    CodeAttachService codeAttach{&http};
    RoomAssembly rooms{&http, &uploader};
    SocketClient socket;
    GatewayService gateway{&socket};
    WatchRegistry *watches = nullptr;

    std::unique_ptr<MainWindow> window;
    QStringList navigation;       // "main" / "login", in order
    QList<int> callsAtNavigation; // REST calls made before each navigation
    MainWindowOptions lastOptions;

    ActiveRoomSession *activeRoom() const { return rooms.session(); }

    // Shell start: the service wiring of the session and room entry, in the shell's order.
    void wireServices()
    {
        wiring::wireShellSession(&login, &session, this);
        wiring::wireProfileLifecycle(&login, &session, &profile, &user);
        wiring::wireReconsentCheck(&profile, &consent);
        wiring::wireRealtimeLifecycle(&login, &session, &gateway);
        wiring::wireMatchRealtime(&gateway, &codeMatch);
        wiring::wireRoomLifecycle(&codeMatch, &codeAttach, rooms.createService(), &session, activeRoom(), &user,
                                  rooms.chatService(), rooms.applyService(), rooms.attachApplyService(), &login,
                                  rooms.listService());
        watches = wiring::wireRoomRealtime(&gateway, rooms.entityFeed(), activeRoom(), rooms.createService(),
                                           rooms.chatService(), rooms.listService(), rooms.settingsService(),
                                           rooms.applyService(), rooms.attachApplyService());
        wiring::wireProfileRealtime(&gateway, &profile);
        wiring::wireUserDirectory(&gateway, &directory, &session);
    }

    // A main window with the real views, wired as the shell wires it (the calls of the
    // session and room entry).
    std::unique_ptr<MainWindow> buildMainWindow(const MainWindowOptions &options)
    {
        auto w = std::make_unique<MainWindow>(options);
        w->setCurrentRoomPanel(new CurrentRoomPanel);
        w->setMyRoomPanel(new MyRoomPanel);
        w->setMyChannelPanel(new MyChannelPanel);
        w->setConnectSettingsTab(new ConnectSettingsTab);
        // Messages pass quickly so that a test sees each one in turn.
        w->statusBar()->setTimings(1, 1, 1);
        wiring::wireLicenses(w.get());
        wiring::wireLogout(w.get(), &session);
        wiring::wireNicknameLabel(w.get(), &user);
        wiring::wireStatusAnnouncer(w.get(), activeRoom(), &gateway);
        wiring::wireAccountDialog(w.get(), &user, &nickname);
        wiring::wireCodeJoin(w.get(), &codeMatch, &codeAttach, activeRoom());
        wiring::wireUserReconsent(w.get(), &consent, &legal, &session);
        return w;
    }

    void showMainWindow(const MainWindowOptions &options) override
    {
        navigation << QStringLiteral("main");
        callsAtNavigation << int(http.calls.size());
        lastOptions = options;
        window = buildMainWindow(options);
    }

    void showLoginWindow() override
    {
        navigation << QStringLiteral("login");
        callsAtNavigation << int(http.calls.size());
        window.reset();
    }

    ConnectSettingsTab *tab() const { return qobject_cast<ConnectSettingsTab *>(window->connectSettingsTab()); }
    MainStatusBar *bar() const { return window->statusBar(); }

    // Paths of the REST calls from `from` on, in order.
    QStringList pathsFrom(int from) const
    {
        QStringList paths;
        for (qsizetype i = from; i < http.calls.size(); ++i)
            paths << http.calls.at(i).path;
        return paths;
    }

    // Signs in through the login service: the server accepts, with an access token
    // that is not fresh, so the gateway's first connect must refresh it first.
    void signIn(const QString &userId = QStringLiteral("me"))
    {
        login.login(QStringLiteral("13800000000"), QStringLiteral("123456"), QStringLiteral("v1"));
        http.answer(QStringLiteral("/v1/auth/login"), http.callsTo(QStringLiteral("/v1/auth/login")).size() - 1,
                    testsupport::jsonReply(200, {{"userId", userId},
                                                 {"accessToken", expiredToken()},
                                                 {"refreshToken", "refresh-1"},
                                                 {"refreshExpiresIn", 3600}}));
    }

    // The gateway confirms both stream watches of a room the session waits for.
    void confirmWatches(const QString &roomId)
    {
        emit gateway.watchResultReceived(publicStreamTarget(roomId), true);
        emit gateway.watchResultReceived(privateStreamTarget(roomId), true);
    }
};

// Waits until the status bar has shown every queued message and rests on `sticky`.
inline bool statusBarSettles(MainStatusBar *bar, const QString &sticky = QString())
{
    return QTest::qWaitFor([bar, sticky] { return bar->currentMessage() == sticky; }, 2000);
}
