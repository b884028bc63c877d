#pragma once

// The wiring that joins services to services, called once by the shell at start, in
// the order of the declarations below. GUI thread only.

class ActiveRoomSession;
class AudioCaptureManager;
class AudioControlService;
class ChannelEntityFeed;
class ChannelEntityStore;
class ChannelListService;
class CodeAttachService;
class CodeMatchService;
class ConsentService;
class GatewayService;
class HotkeyService;
class IShellNavigator;
class LoginService;
class MediaSessionService;
class ProfileService;
class RoomApplyService;
class RoomAttachApplyService;
class RoomChatService;
class RoomCreateService;
class RoomEntityFeed;
class RoomEntityStore;
class RoomListService;
class RoomSettingsService;
class SessionService;
class SoundManager;
class UserDirectoryService;
class UserState;
class WatchRegistry;

namespace wiring {

void wireShellSession(LoginService *login, SessionService *session, IShellNavigator *navigator);
void wireProfileLifecycle(LoginService *login, SessionService *session, ProfileService *profile, UserState *user);
void wireReconsentCheck(ProfileService *profile, ConsentService *consent);
void wireRealtimeLifecycle(LoginService *login, SessionService *session, GatewayService *gateway);
void wireMatchRealtime(GatewayService *gateway, CodeMatchService *codeMatch);
void wireRoomLifecycle(CodeMatchService *codeMatch, CodeAttachService *codeAttach, RoomCreateService *roomCreate,
                       SessionService *session, ActiveRoomSession *activeRoom, UserState *user,
                       RoomChatService *roomChat, RoomApplyService *roomApply, RoomAttachApplyService *roomAttachApply,
                       LoginService *login, RoomListService *roomList);
// Returns the watch registry the channel routing shares (owned by the wiring).
WatchRegistry *wireRoomRealtime(GatewayService *gateway, RoomEntityFeed *roomFeed, ActiveRoomSession *activeRoom,
                                RoomCreateService *roomCreate, RoomChatService *roomChat, RoomListService *roomList,
                                RoomSettingsService *roomSettings, RoomApplyService *roomApply,
                                RoomAttachApplyService *roomAttachApply);
void wireChannelLifecycle(LoginService *login, SessionService *session, ChannelListService *channelList,
                          UserState *user);
void wireChannelRealtime(GatewayService *gateway, ChannelEntityFeed *channelFeed, ChannelListService *channelList,
                         ChannelEntityStore *channelStore, RoomEntityStore *roomStore, WatchRegistry *watches);
void wireLiveKitSession(ActiveRoomSession *activeRoom, RoomEntityStore *roomStore, UserState *user,
                        MediaSessionService *media);
void wireAudioTransmit(ActiveRoomSession *activeRoom, AudioControlService *audioControl, AudioCaptureManager *capture,
                       MediaSessionService *media, SoundManager *sounds);
void wirePttHotkey(HotkeyService *hotkeys, AudioControlService *audioControl);
void wireProfileRealtime(GatewayService *gateway, ProfileService *profile);
void wireUserDirectory(GatewayService *gateway, UserDirectoryService *directory, SessionService *session);

} // namespace wiring
