#include "app/client_context.h"

#include "app/app_log.h"
#include "app/single_instance.h"
#include "app/startup_gate.h"
#include "app/tray_icon.h"
#include "audio/audio_assembly.h"
#include "auth/auth_assembly.h"
#include "auth/auth_interceptor.h"
#include "channel/channel_assembly.h"
#include "hotkey/global_hotkey_monitor.h"
#include "hotkey/hotkey_assembly.h"
#include "legal/legal_service.h"
#include "livekit/media_session_service.h"
#include "match/match_assembly.h"
#include "match/pref_assembly.h"
#include "net/http_transport.h"
#include "realtime/realtime_assembly.h"
#include "room/room_assembly.h"
#include "storage/device_machine_store.h"
#include "update/update_service.h"
#include "user/user_assembly.h"

ClientContext::ClientContext() = default;
ClientContext::~ClientContext() = default;

void ClientContext::init(SingleInstance *instance)
{
    transport = std::make_unique<HttpTransport>();
    IHttpClient *api = transport->api();
    IRawDownloader *downloader = transport->downloader();
    IRawUploader *uploader = transport->uploader();

    QString deviceId;
    {
        DeviceMachineStore store;
        deviceId = store.deviceId();
    }

    update = std::make_unique<UpdateService>(downloader);
    legal = std::make_unique<LegalService>(downloader);
    startupGate = std::make_unique<StartupGate>(downloader, update.get(), legal.get());

    auth = std::make_unique<AuthAssembly>(api, deviceId);
    // Tracing was registered by the transport itself, so the bearer token is added after it.
    transport->addRequestInterceptor(auth->interceptor());
    transport->addResponseInterceptor(auth->interceptor());

    user = std::make_unique<UserAssembly>(api, legal.get());
    match = std::make_unique<MatchAssembly>(api);
    room = std::make_unique<RoomAssembly>(api, uploader);
    channel = std::make_unique<ChannelAssembly>(api);
    realtime = std::make_unique<RealtimeAssembly>();
    audio = std::make_unique<AudioAssembly>();
    mediaSession = createMediaSessionService(api, audio->captureManager(), audio->playbackManager());
    hotkeyMonitor = createGlobalHotkeyMonitor();
    hotkeys = std::make_unique<HotkeyAssembly>(hotkeyMonitor.get());
    prefs = std::make_unique<PrefAssembly>();

    tray = std::make_unique<TrayIcon>();
    tray->show();

    singleInstance = instance;
    qCInfo(lcContext) << "client context initialized";
}

void ClientContext::setPresenter(IWindowPresenter *presenter)
{
    if (tray)
        tray->setPresenter(presenter);
    if (singleInstance)
        singleInstance->setPresenter(presenter);
}
