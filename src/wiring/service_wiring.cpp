#include "wiring/service_wiring.h"

// Nothing is joined yet: the client shows its windows, and their requests reach no service.

namespace wiring {

void wireShellSession(LoginService *, SessionService *, IShellNavigator *)
{
}

void wireProfileLifecycle(LoginService *, SessionService *, ProfileService *, UserState *)
{
}

void wireReconsentCheck(ProfileService *, ConsentService *)
{
}

void wireRealtimeLifecycle(LoginService *, SessionService *, GatewayService *)
{
}

void wireMatchRealtime(GatewayService *, CodeMatchService *)
{
}

void wireRoomLifecycle(CodeMatchService *, CodeAttachService *, RoomCreateService *, SessionService *, ActiveRoomSession *, UserState *, RoomChatService *, RoomApplyService *, RoomAttachApplyService *, LoginService *, RoomListService *)
{
}

WatchRegistry *wireRoomRealtime(GatewayService *, RoomEntityFeed *, ActiveRoomSession *, RoomCreateService *, RoomChatService *, RoomListService *, RoomSettingsService *, RoomApplyService *, RoomAttachApplyService *)
{
    return nullptr;
}

void wireLiveKitSession(ActiveRoomSession *, RoomEntityStore *, UserState *, MediaSessionService *)
{
}

void wireAudioTransmit(ActiveRoomSession *, AudioControlService *, AudioCaptureManager *, MediaSessionService *, SoundManager *)
{
}

void wirePttHotkey(HotkeyService *, AudioControlService *)
{
}

void wireProfileRealtime(GatewayService *, ProfileService *)
{
}

void wireUserDirectory(GatewayService *, UserDirectoryService *, SessionService *)
{
}

} // namespace wiring
