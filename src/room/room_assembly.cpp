#include "room/room_assembly.h"

#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_apply_service.h"
#include "room/room_attach_apply_service.h"
#include "room/room_chat_service.h"
#include "room/room_create_config_service.h"
#include "room/room_create_service.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_follow_code_service.h"
#include "room/room_list_service.h"
#include "room/room_machine_store.h"
#include "room/room_moderation_service.h"
#include "room/room_request_service.h"
#include "room/room_settings_service.h"
#include "room/room_subroom_service.h"

RoomAssembly::RoomAssembly(IHttpClient *api, IRawUploader *uploader)
    : machineStore(std::make_unique<RoomMachineStore>())
    , store(std::make_unique<RoomEntityStore>(nullptr))
    , feed(std::make_unique<RoomEntityFeed>(store.get(), nullptr))
    , adapters(std::make_unique<RoomAdapterRegistry>(store.get(), nullptr))
    , activeSession(std::make_unique<ActiveRoomSession>(api, store.get(), feed.get(), adapters.get(), nullptr))
    , create(std::make_unique<RoomCreateService>(api, nullptr))
    , createConfigs(std::make_unique<RoomCreateConfigService>(machineStore.get(), nullptr))
    , moderation(std::make_unique<RoomModerationService>(api, activeSession.get(), nullptr))
    , chat(std::make_unique<RoomChatService>(api, uploader, activeSession.get(), nullptr))
    , followCode(std::make_unique<RoomFollowCodeService>(api, activeSession.get(), nullptr))
    , list(std::make_unique<RoomListService>(api, store.get(), nullptr))
    , settings(std::make_unique<RoomSettingsService>(api, store.get(), feed.get(), nullptr))
    , subroom(std::make_unique<RoomSubroomService>(api, activeSession.get(), nullptr))
    , requests(std::make_unique<RoomRequestService>(api, activeSession.get(), nullptr))
    , apply(std::make_unique<RoomApplyService>(api, activeSession.get(), nullptr))
    , attachApply(std::make_unique<RoomAttachApplyService>(api, nullptr))
{
    // Both live exactly as long as the assembly, so a plain pointer is enough.
    RoomCreateConfigService *configs = createConfigs.get();
    create->setConfigProvider([configs](int index) { return configs->toJson(index); });
}

RoomAssembly::~RoomAssembly() = default;
