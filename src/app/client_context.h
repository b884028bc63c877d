#pragma once

#include <memory>

class AudioAssembly;
class AuthAssembly;
class ChannelAssembly;
class GlobalHotkeyMonitor;
class HotkeyAssembly;
class HttpTransport;
class IWindowPresenter;
class LegalService;
class MatchAssembly;
class MediaSessionService;
class PrefAssembly;
class RealtimeAssembly;
class RoomAssembly;
class SingleInstance;
class StartupGate;
class TrayIcon;
class UpdateService;
class UserAssembly;

// Owns every service module of the process. The shell and the wiring read the
// fields directly. Members are destroyed in reverse declaration order, which is
// the teardown order the modules rely on: dependants go before what they use, and
// the transport goes last. GUI thread only.
struct ClientContext
{
    ClientContext();
    ~ClientContext();
    ClientContext(const ClientContext &) = delete;
    ClientContext &operator=(const ClientContext &) = delete;

    // Builds every module in start-up order. Called once, on an empty context.
    void init(SingleInstance *instance);

    // Hands the shell's presenter to the tray and the single-instance guard (null clears it).
    void setPresenter(IWindowPresenter *presenter);

    std::unique_ptr<HttpTransport> transport;
    std::unique_ptr<UpdateService> update;
    std::unique_ptr<LegalService> legal;
    std::unique_ptr<StartupGate> startupGate;
    std::unique_ptr<TrayIcon> tray;
    SingleInstance *singleInstance = nullptr; // owned by main, outlives the context
    std::unique_ptr<AuthAssembly> auth;
    std::unique_ptr<UserAssembly> user;
    std::unique_ptr<MatchAssembly> match;
    std::unique_ptr<RoomAssembly> room;
    std::unique_ptr<ChannelAssembly> channel;
    std::unique_ptr<RealtimeAssembly> realtime;
    std::unique_ptr<AudioAssembly> audio;
    std::unique_ptr<MediaSessionService> mediaSession;
    std::unique_ptr<GlobalHotkeyMonitor> hotkeyMonitor;
    std::unique_ptr<HotkeyAssembly> hotkeys;
    std::unique_ptr<PrefAssembly> prefs;
};
