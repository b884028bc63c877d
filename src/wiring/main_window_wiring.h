#pragma once

// The wiring of one main window, called by the shell in the order below for every main
// window it builds. GUI thread only.

class AbstractUserResolver;
class ActiveRoomSession;
class AudioCaptureManager;
class AudioControlService;
class AudioDeviceCatalog;
class AudioPlaybackManager;
class ChannelActionsService;
class ChannelEntityStore;
class ChannelListService;
class CodeAttachService;
class CodeMatchService;
class ConsentService;
class GatewayService;
class HotkeyService;
class IRawDownloader;
class IUiStorage;
class LegalService;
class MainWindow;
class MediaSessionService;
class NicknameService;
class PrefMatchService;
class PreferenceService;
class RoomAdapterRegistry;
class RoomApplyService;
class RoomAttachApplyService;
class RoomChatService;
class RoomCreateConfigService;
class RoomCreateService;
class RoomEntityStore;
class RoomFollowCodeService;
class RoomListService;
class RoomModerationService;
class RoomRequestService;
class RoomSettingsService;
class RoomSubroomService;
class SessionService;
class SoundManager;
class UserState;

namespace wiring {

class RoomPanelsFeed;

void wireLicenses(MainWindow *window);
void wireLogout(MainWindow *window, SessionService *session);
void wireNicknameLabel(MainWindow *window, UserState *user);
void wireStatusAnnouncer(MainWindow *window, ActiveRoomSession *activeRoom, GatewayService *gateway);
void wireAccountDialog(MainWindow *window, UserState *user, NicknameService *nickname);
void wireCodeJoin(MainWindow *window, CodeMatchService *codeMatch, CodeAttachService *codeAttach,
                  ActiveRoomSession *activeRoom);
// Returns the feed of this window's room panels (owned by the window).
RoomPanelsFeed *wireRoomPanels(MainWindow *window, ActiveRoomSession *activeRoom, RoomEntityStore *roomStore,
                               RoomCreateService *roomCreate, RoomModerationService *moderation,
                               RoomChatService *roomChat, RoomFollowCodeService *followCode, RoomListService *roomList,
                               RoomSubroomService *subrooms, UserState *user, AbstractUserResolver *users,
                               ChannelEntityStore *channelStore, IRawDownloader *downloader);
void wireRoomSettings(MainWindow *window, ActiveRoomSession *activeRoom, RoomEntityStore *roomStore,
                      RoomAdapterRegistry *adapters, RoomSettingsService *roomSettings, UserState *user,
                      AbstractUserResolver *users, GatewayService *gateway, ChannelEntityStore *channelStore,
                      RoomChatService *roomChat);
void wireRoomCreateConfigs(MainWindow *window, RoomCreateConfigService *configs, UserState *user);
// The group picker offers the members of the active room and of the user's rooms.
void wirePrefConfigs(MainWindow *window, PreferenceService *preferences, AbstractUserResolver *users,
                     ActiveRoomSession *activeRoom, RoomListService *roomList, UserState *user);
void wirePrefMatch(MainWindow *window, PreferenceService *preferences, PrefMatchService *prefMatch,
                   RoomEntityStore *roomStore, ActiveRoomSession *activeRoom, RoomCreateService *roomCreate,
                   RoomSettingsService *roomSettings, AbstractUserResolver *users);
void wireRoomRequests(MainWindow *window, ActiveRoomSession *activeRoom, RoomRequestService *requests,
                      RoomApplyService *roomApply, RoomAttachApplyService *roomAttachApply, UserState *user,
                      AbstractUserResolver *users, ChannelEntityStore *channelStore);
void wireSpeakers(MainWindow *window, MediaSessionService *media, RoomPanelsFeed *feed);
void wireVoiceFailures(MainWindow *window, MediaSessionService *media, AudioCaptureManager *capture);
void wireControlPanel(MainWindow *window, AudioControlService *audioControl, ActiveRoomSession *activeRoom,
                      UserState *user);
void wireBroadcastHotkey(MainWindow *window, HotkeyService *hotkeys);
void wireHotkeySettings(MainWindow *window, HotkeyService *hotkeys);
void wireAudioSettings(MainWindow *window, AudioDeviceCatalog *devices, AudioCaptureManager *capture,
                       AudioPlaybackManager *playback, SoundManager *sounds);
void wireParticipantVolume(MainWindow *window, AudioPlaybackManager *playback, MediaSessionService *media);
void wireMyRoomOrder(MainWindow *window, IUiStorage *storage);
void wireChannelPanels(MainWindow *window, ChannelListService *channelList, ChannelEntityStore *channelStore,
                       ChannelActionsService *channelActions, UserState *user, AbstractUserResolver *users,
                       IUiStorage *storage, RoomEntityStore *roomStore, ActiveRoomSession *activeRoom,
                       RoomPanelsFeed *feed);
void wireUserReconsent(MainWindow *window, ConsentService *consent, LegalService *legal, SessionService *session);

} // namespace wiring
