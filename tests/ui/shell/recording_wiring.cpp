// Records every wiring call of the shell, in order, in place of the real wiring.
#include "recording_wiring.h"

#include "wiring/login_window_wiring.h"
#include "wiring/main_window_wiring.h"
#include "wiring/room_panels_feed.h"
#include "wiring/service_wiring.h"

#include "ui/main/main_window.h"

namespace recording {
QStringList calls;
IShellNavigator *navigator = nullptr;
QList<wiring::RoomPanelsFeed *> feedsSeen;
} // namespace recording

namespace wiring {

void wireShellSession(LoginService *a0, SessionService *a1, IShellNavigator *a2)
{
    recording::calls << QStringLiteral("wireShellSession");
    (void)a0;
    (void)a1;
    (void)a2;
    recording::navigator = a2;
}

void wireProfileLifecycle(LoginService *a0, SessionService *a1, ProfileService *a2, UserState *a3)
{
    recording::calls << QStringLiteral("wireProfileLifecycle");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
}

void wireReconsentCheck(ProfileService *a0, ConsentService *a1)
{
    recording::calls << QStringLiteral("wireReconsentCheck");
    (void)a0;
    (void)a1;
}

void wireRealtimeLifecycle(LoginService *a0, SessionService *a1, GatewayService *a2)
{
    recording::calls << QStringLiteral("wireRealtimeLifecycle");
    (void)a0;
    (void)a1;
    (void)a2;
}

void wireMatchRealtime(GatewayService *a0, CodeMatchService *a1)
{
    recording::calls << QStringLiteral("wireMatchRealtime");
    (void)a0;
    (void)a1;
}

void wireRoomLifecycle(CodeMatchService *a0, CodeAttachService *a1, RoomCreateService *a2, SessionService *a3, ActiveRoomSession *a4, UserState *a5, RoomChatService *a6, RoomApplyService *a7, RoomAttachApplyService *a8, LoginService *a9, RoomListService *a10)
{
    recording::calls << QStringLiteral("wireRoomLifecycle");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
    (void)a6;
    (void)a7;
    (void)a8;
    (void)a9;
    (void)a10;
}

WatchRegistry *wireRoomRealtime(GatewayService *a0, RoomEntityFeed *a1, ActiveRoomSession *a2, RoomCreateService *a3, RoomChatService *a4, RoomListService *a5, RoomSettingsService *a6, RoomApplyService *a7, RoomAttachApplyService *a8)
{
    recording::calls << QStringLiteral("wireRoomRealtime");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
    (void)a6;
    (void)a7;
    (void)a8;
    return nullptr;
}

void wireChannelLifecycle(LoginService *a0, SessionService *a1, ChannelListService *a2, UserState *a3)
{
    recording::calls << QStringLiteral("wireChannelLifecycle");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
}

void wireChannelRealtime(GatewayService *a0, ChannelEntityFeed *a1, ChannelListService *a2, ChannelEntityStore *a3, RoomEntityStore *a4, WatchRegistry *a5)
{
    recording::calls << QStringLiteral("wireChannelRealtime");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
}

void wireLiveKitSession(ActiveRoomSession *a0, RoomEntityStore *a1, UserState *a2, MediaSessionService *a3)
{
    recording::calls << QStringLiteral("wireLiveKitSession");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
}

void wireAudioTransmit(ActiveRoomSession *a0, AudioControlService *a1, AudioCaptureManager *a2, MediaSessionService *a3, SoundManager *a4)
{
    recording::calls << QStringLiteral("wireAudioTransmit");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
}

void wirePttHotkey(HotkeyService *a0, AudioControlService *a1)
{
    recording::calls << QStringLiteral("wirePttHotkey");
    (void)a0;
    (void)a1;
}

void wireProfileRealtime(GatewayService *a0, ProfileService *a1)
{
    recording::calls << QStringLiteral("wireProfileRealtime");
    (void)a0;
    (void)a1;
}

void wireUserDirectory(GatewayService *a0, UserDirectoryService *a1, SessionService *a2)
{
    recording::calls << QStringLiteral("wireUserDirectory");
    (void)a0;
    (void)a1;
    (void)a2;
}

void wireLegal(LoginWindow *a0, LegalService *a1)
{
    recording::calls << QStringLiteral("login:wireLegal");
    (void)a0;
    (void)a1;
}

void wireLicenses(LoginWindow *a0)
{
    recording::calls << QStringLiteral("login:wireLicenses");
    (void)a0;
}

void wireLoginForm(LoginWindow *a0, SmsService *a1, LoginService *a2, LegalService *a3)
{
    recording::calls << QStringLiteral("login:wireLoginForm");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
}

void wireAudioSettings(LoginWindow *a0, AudioDeviceCatalog *a1, AudioCaptureManager *a2, AudioPlaybackManager *a3, SoundManager *a4)
{
    recording::calls << QStringLiteral("login:wireAudioSettings");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
}

void wireLicenses(MainWindow *a0)
{
    recording::calls << QStringLiteral("main:wireLicenses");
    (void)a0;
}

void wireLogout(MainWindow *a0, SessionService *a1)
{
    recording::calls << QStringLiteral("main:wireLogout");
    (void)a0;
    (void)a1;
}

void wireNicknameLabel(MainWindow *a0, UserState *a1)
{
    recording::calls << QStringLiteral("main:wireNicknameLabel");
    (void)a0;
    (void)a1;
}

void wireStatusAnnouncer(MainWindow *a0, ActiveRoomSession *a1, GatewayService *a2)
{
    recording::calls << QStringLiteral("main:wireStatusAnnouncer");
    (void)a0;
    (void)a1;
    (void)a2;
}

void wireAccountDialog(MainWindow *a0, UserState *a1, NicknameService *a2)
{
    recording::calls << QStringLiteral("main:wireAccountDialog");
    (void)a0;
    (void)a1;
    (void)a2;
}

void wireCodeJoin(MainWindow *a0, CodeMatchService *a1, CodeAttachService *a2, ActiveRoomSession *a3)
{
    recording::calls << QStringLiteral("main:wireCodeJoin");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
}

RoomPanelsFeed *wireRoomPanels(MainWindow *a0, ActiveRoomSession *a1, RoomEntityStore *a2, RoomCreateService *a3, RoomModerationService *a4, RoomChatService *a5, RoomFollowCodeService *a6, RoomListService *a7, RoomSubroomService *a8, UserState *a9, AbstractUserResolver *a10, ChannelEntityStore *a11, IRawDownloader *a12)
{
    recording::calls << QStringLiteral("main:wireRoomPanels");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
    (void)a6;
    (void)a7;
    (void)a8;
    (void)a9;
    (void)a10;
    (void)a11;
    (void)a12;
    auto *feed = new RoomPanelsFeed(a0);
    recording::feedsSeen << feed;
    return feed;
}

void wireRoomSettings(MainWindow *a0, ActiveRoomSession *a1, RoomEntityStore *a2, RoomAdapterRegistry *a3, RoomSettingsService *a4, UserState *a5, AbstractUserResolver *a6, GatewayService *a7, ChannelEntityStore *a8, RoomChatService *a9)
{
    recording::calls << QStringLiteral("main:wireRoomSettings");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
    (void)a6;
    (void)a7;
    (void)a8;
    (void)a9;
}

void wireRoomCreateConfigs(MainWindow *a0, RoomCreateConfigService *a1, UserState *a2)
{
    recording::calls << QStringLiteral("main:wireRoomCreateConfigs");
    (void)a0;
    (void)a1;
    (void)a2;
}

void wirePrefConfigs(MainWindow *a0, PreferenceService *a1, AbstractUserResolver *a2)
{
    recording::calls << QStringLiteral("main:wirePrefConfigs");
    (void)a0;
    (void)a1;
    (void)a2;
}

void wirePrefMatch(MainWindow *a0, PreferenceService *a1, PrefMatchService *a2, RoomEntityStore *a3, ActiveRoomSession *a4, RoomCreateService *a5, RoomSettingsService *a6, AbstractUserResolver *a7)
{
    recording::calls << QStringLiteral("main:wirePrefMatch");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
    (void)a6;
    (void)a7;
}

void wireRoomRequests(MainWindow *a0, ActiveRoomSession *a1, RoomRequestService *a2, RoomApplyService *a3, RoomAttachApplyService *a4, UserState *a5, AbstractUserResolver *a6, ChannelEntityStore *a7)
{
    recording::calls << QStringLiteral("main:wireRoomRequests");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
    (void)a6;
    (void)a7;
}

void wireSpeakers(MainWindow *a0, MediaSessionService *a1, RoomPanelsFeed *a2)
{
    recording::calls << QStringLiteral("main:wireSpeakers");
    (void)a0;
    (void)a1;
    (void)a2;
    recording::feedsSeen << a2;
}

void wireControlPanel(MainWindow *a0, AudioControlService *a1, ActiveRoomSession *a2, UserState *a3)
{
    recording::calls << QStringLiteral("main:wireControlPanel");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
}

void wireBroadcastHotkey(MainWindow *a0, HotkeyService *a1)
{
    recording::calls << QStringLiteral("main:wireBroadcastHotkey");
    (void)a0;
    (void)a1;
}

void wireHotkeySettings(MainWindow *a0, HotkeyService *a1)
{
    recording::calls << QStringLiteral("main:wireHotkeySettings");
    (void)a0;
    (void)a1;
}

void wireAudioSettings(MainWindow *a0, AudioDeviceCatalog *a1, AudioCaptureManager *a2, AudioPlaybackManager *a3, SoundManager *a4)
{
    recording::calls << QStringLiteral("main:wireAudioSettings");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
}

void wireParticipantVolume(MainWindow *a0, AudioPlaybackManager *a1, MediaSessionService *a2)
{
    recording::calls << QStringLiteral("main:wireParticipantVolume");
    (void)a0;
    (void)a1;
    (void)a2;
}

void wireMyRoomOrder(MainWindow *a0, IUiStorage *a1)
{
    recording::calls << QStringLiteral("main:wireMyRoomOrder");
    (void)a0;
    (void)a1;
}

void wireChannelPanels(MainWindow *a0, ChannelListService *a1, ChannelEntityStore *a2, ChannelActionsService *a3, UserState *a4, AbstractUserResolver *a5, IUiStorage *a6, RoomEntityStore *a7, ActiveRoomSession *a8, RoomPanelsFeed *a9)
{
    recording::calls << QStringLiteral("main:wireChannelPanels");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
    (void)a6;
    (void)a7;
    (void)a8;
    (void)a9;
    recording::feedsSeen << a9;
}

void wireUserReconsent(MainWindow *a0, ConsentService *a1, LegalService *a2, SessionService *a3)
{
    recording::calls << QStringLiteral("main:wireUserReconsent");
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
}

} // namespace wiring
