// Records every wiring call of the shell, in order, in place of the real wiring.
#include "recording_wiring.h"

#include "wiring/login_window_wiring.h"
#include "wiring/main_window_wiring.h"
#include "wiring/room_panels_feed.h"
#include "wiring/service_wiring.h"

#include "realtime/gateway_service.h"
#include "realtime/watch_registry.h"
#include "ui/main/main_window.h"

namespace recording {
QStringList calls;
IShellNavigator *navigator = nullptr;
QList<wiring::RoomPanelsFeed *> feedsSeen;
QStringList nullArguments;

void noteNull(int index, const void *argument)
{
    if (!argument)
        nullArguments << QStringLiteral("%1#%2").arg(calls.last()).arg(index);
}
} // namespace recording

namespace wiring {

void wireShellSession(LoginService *a0, SessionService *a1, IShellNavigator *a2)
{
    recording::calls << QStringLiteral("wireShellSession");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::navigator = a2;
}

void wireProfileLifecycle(LoginService *a0, SessionService *a1, ProfileService *a2, UserState *a3)
{
    recording::calls << QStringLiteral("wireProfileLifecycle");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
}

void wireReconsentCheck(ProfileService *a0, ConsentService *a1)
{
    recording::calls << QStringLiteral("wireReconsentCheck");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
}

void wireRealtimeLifecycle(LoginService *a0, SessionService *a1, GatewayService *a2)
{
    recording::calls << QStringLiteral("wireRealtimeLifecycle");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
}

void wireMatchRealtime(GatewayService *a0, CodeMatchService *a1)
{
    recording::calls << QStringLiteral("wireMatchRealtime");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
}

void wireRoomLifecycle(CodeMatchService *a0, CodeAttachService *a1, RoomCreateService *a2, SessionService *a3,
                       ActiveRoomSession *a4, UserState *a5, RoomChatService *a6, RoomApplyService *a7,
                       RoomAttachApplyService *a8, LoginService *a9, RoomListService *a10)
{
    recording::calls << QStringLiteral("wireRoomLifecycle");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
    recording::noteNull(5, a5);
    recording::noteNull(6, a6);
    recording::noteNull(7, a7);
    recording::noteNull(8, a8);
    recording::noteNull(9, a9);
    recording::noteNull(10, a10);
}

WatchRegistry *wireRoomRealtime(GatewayService *a0, RoomEntityFeed *a1, ActiveRoomSession *a2, RoomCreateService *a3,
                                RoomChatService *a4, RoomListService *a5, RoomSettingsService *a6, RoomApplyService *a7,
                                RoomAttachApplyService *a8)
{
    recording::calls << QStringLiteral("wireRoomRealtime");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
    recording::noteNull(5, a5);
    recording::noteNull(6, a6);
    recording::noteNull(7, a7);
    recording::noteNull(8, a8);
    // A registry the gateway owns, as the real wiring makes it.
    return a0 ? new WatchRegistry(a0) : nullptr;
}

void wireChannelLifecycle(LoginService *a0, SessionService *a1, ChannelListService *a2, UserState *a3)
{
    recording::calls << QStringLiteral("wireChannelLifecycle");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
}

void wireChannelRealtime(GatewayService *a0, ChannelEntityFeed *a1, ChannelListService *a2, ChannelEntityStore *a3,
                         RoomEntityStore *a4, WatchRegistry *a5)
{
    recording::calls << QStringLiteral("wireChannelRealtime");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
    recording::noteNull(5, a5);
}

void wireLiveKitSession(ActiveRoomSession *a0, RoomEntityStore *a1, UserState *a2, MediaSessionService *a3)
{
    recording::calls << QStringLiteral("wireLiveKitSession");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
}

void wireAudioTransmit(ActiveRoomSession *a0, AudioControlService *a1, AudioCaptureManager *a2, MediaSessionService *a3,
                       SoundManager *a4)
{
    recording::calls << QStringLiteral("wireAudioTransmit");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
}

void wirePttHotkey(HotkeyService *a0, AudioControlService *a1)
{
    recording::calls << QStringLiteral("wirePttHotkey");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
}

void wireProfileRealtime(GatewayService *a0, ProfileService *a1)
{
    recording::calls << QStringLiteral("wireProfileRealtime");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
}

void wireUserDirectory(GatewayService *a0, UserDirectoryService *a1, SessionService *a2)
{
    recording::calls << QStringLiteral("wireUserDirectory");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
}

void wireLegal(LoginWindow *a0, LegalService *a1)
{
    recording::calls << QStringLiteral("login:wireLegal");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
}

void wireLicenses(LoginWindow *a0)
{
    recording::calls << QStringLiteral("login:wireLicenses");
    recording::noteNull(0, a0);
}

void wireLoginForm(LoginWindow *a0, SmsService *a1, LoginService *a2, LegalService *a3)
{
    recording::calls << QStringLiteral("login:wireLoginForm");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
}

void wireAudioSettings(LoginWindow *a0, AudioDeviceCatalog *a1, AudioCaptureManager *a2, AudioPlaybackManager *a3,
                       SoundManager *a4)
{
    recording::calls << QStringLiteral("login:wireAudioSettings");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
}

void wireLicenses(MainWindow *a0)
{
    recording::calls << QStringLiteral("main:wireLicenses");
    recording::noteNull(0, a0);
}

void wireLogout(MainWindow *a0, SessionService *a1)
{
    recording::calls << QStringLiteral("main:wireLogout");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
}

void wireNicknameLabel(MainWindow *a0, UserState *a1)
{
    recording::calls << QStringLiteral("main:wireNicknameLabel");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
}

void wireStatusAnnouncer(MainWindow *a0, ActiveRoomSession *a1, GatewayService *a2)
{
    recording::calls << QStringLiteral("main:wireStatusAnnouncer");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
}

void wireAccountDialog(MainWindow *a0, UserState *a1, NicknameService *a2)
{
    recording::calls << QStringLiteral("main:wireAccountDialog");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
}

void wireCodeJoin(MainWindow *a0, CodeMatchService *a1, CodeAttachService *a2, ActiveRoomSession *a3)
{
    recording::calls << QStringLiteral("main:wireCodeJoin");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
}

RoomPanelsFeed *wireRoomPanels(MainWindow *a0, ActiveRoomSession *a1, RoomEntityStore *a2, RoomCreateService *a3,
                               RoomModerationService *a4, RoomChatService *a5, RoomFollowCodeService *a6,
                               RoomListService *a7, RoomSubroomService *a8, UserState *a9, AbstractUserResolver *a10,
                               ChannelEntityStore *a11, IRawDownloader *a12)
{
    recording::calls << QStringLiteral("main:wireRoomPanels");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
    recording::noteNull(5, a5);
    recording::noteNull(6, a6);
    recording::noteNull(7, a7);
    recording::noteNull(8, a8);
    recording::noteNull(9, a9);
    recording::noteNull(10, a10);
    recording::noteNull(11, a11);
    recording::noteNull(12, a12);
    auto *feed = new RoomPanelsFeed(a0);
    recording::feedsSeen << feed;
    return feed;
}

void wireRoomSettings(MainWindow *a0, ActiveRoomSession *a1, RoomEntityStore *a2, RoomAdapterRegistry *a3,
                      RoomSettingsService *a4, UserState *a5, AbstractUserResolver *a6, GatewayService *a7,
                      ChannelEntityStore *a8, RoomChatService *a9)
{
    recording::calls << QStringLiteral("main:wireRoomSettings");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
    recording::noteNull(5, a5);
    recording::noteNull(6, a6);
    recording::noteNull(7, a7);
    recording::noteNull(8, a8);
    recording::noteNull(9, a9);
}

void wireRoomCreateConfigs(MainWindow *a0, RoomCreateConfigService *a1, UserState *a2)
{
    recording::calls << QStringLiteral("main:wireRoomCreateConfigs");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
}

void wirePrefConfigs(MainWindow *a0, PreferenceService *a1, AbstractUserResolver *a2, ActiveRoomSession *a3,
                     RoomListService *a4, UserState *a5)
{
    recording::calls << QStringLiteral("main:wirePrefConfigs");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
    recording::noteNull(5, a5);
}

void wirePrefMatch(MainWindow *a0, PreferenceService *a1, PrefMatchService *a2, RoomEntityStore *a3,
                   ActiveRoomSession *a4, RoomCreateService *a5, RoomSettingsService *a6, AbstractUserResolver *a7)
{
    recording::calls << QStringLiteral("main:wirePrefMatch");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
    recording::noteNull(5, a5);
    recording::noteNull(6, a6);
    recording::noteNull(7, a7);
}

void wireRoomRequests(MainWindow *a0, ActiveRoomSession *a1, RoomRequestService *a2, RoomApplyService *a3,
                      RoomAttachApplyService *a4, UserState *a5, AbstractUserResolver *a6, ChannelEntityStore *a7)
{
    recording::calls << QStringLiteral("main:wireRoomRequests");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
    recording::noteNull(5, a5);
    recording::noteNull(6, a6);
    recording::noteNull(7, a7);
}

void wireSpeakers(MainWindow *a0, MediaSessionService *a1, RoomPanelsFeed *a2)
{
    recording::calls << QStringLiteral("main:wireSpeakers");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::feedsSeen << a2;
}

void wireVoiceFailures(MainWindow *a0, MediaSessionService *a1, AudioCaptureManager *a2)
{
    recording::calls << QStringLiteral("main:wireVoiceFailures");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
}

void wireControlPanel(MainWindow *a0, AudioControlService *a1, ActiveRoomSession *a2, UserState *a3)
{
    recording::calls << QStringLiteral("main:wireControlPanel");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
}

void wireBroadcastHotkey(MainWindow *a0, HotkeyService *a1)
{
    recording::calls << QStringLiteral("main:wireBroadcastHotkey");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
}

void wireHotkeySettings(MainWindow *a0, HotkeyService *a1)
{
    recording::calls << QStringLiteral("main:wireHotkeySettings");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
}

void wireAudioSettings(MainWindow *a0, AudioDeviceCatalog *a1, AudioCaptureManager *a2, AudioPlaybackManager *a3,
                       SoundManager *a4)
{
    recording::calls << QStringLiteral("main:wireAudioSettings");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
}

void wireParticipantVolume(MainWindow *a0, AudioPlaybackManager *a1, MediaSessionService *a2)
{
    recording::calls << QStringLiteral("main:wireParticipantVolume");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
}

void wireMyRoomOrder(MainWindow *a0, IUiStorage *a1)
{
    recording::calls << QStringLiteral("main:wireMyRoomOrder");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
}

void wireChannelPanels(MainWindow *a0, ChannelListService *a1, ChannelEntityStore *a2, ChannelActionsService *a3,
                       UserState *a4, AbstractUserResolver *a5, IUiStorage *a6, RoomEntityStore *a7,
                       ActiveRoomSession *a8, RoomPanelsFeed *a9)
{
    recording::calls << QStringLiteral("main:wireChannelPanels");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
    recording::noteNull(4, a4);
    recording::noteNull(5, a5);
    recording::noteNull(6, a6);
    recording::noteNull(7, a7);
    recording::noteNull(8, a8);
    recording::noteNull(9, a9);
    recording::feedsSeen << a9;
}

void wireUserReconsent(MainWindow *a0, ConsentService *a1, LegalService *a2, SessionService *a3)
{
    recording::calls << QStringLiteral("main:wireUserReconsent");
    recording::noteNull(0, a0);
    recording::noteNull(1, a1);
    recording::noteNull(2, a2);
    recording::noteNull(3, a3);
}

} // namespace wiring
