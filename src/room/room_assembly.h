#pragma once

#include <memory>

class ActiveRoomSession;
class IHttpClient;
class IRawUploader;
class IRoomStorage;
class RoomAdapterRegistry;
class RoomApplyService;
class RoomAttachApplyService;
class RoomChatService;
class RoomCreateConfigService;
class RoomCreateService;
class RoomEntityFeed;
class RoomEntityStore;
class RoomFollowCodeService;
class RoomListService;
class RoomModerationService;
class RoomRequestService;
class RoomSettingsService;
class RoomSubroomService;

// The room module: the room state model (store, feed, view models), the active room
// session and the room services, built in dependency order (each receives only
// members built before it) and destroyed in reverse. It connects no signals; that is
// the wiring's work. Every Qt object is built without a parent: the assembly alone
// owns them. GUI thread only.
class RoomAssembly
{
public:
    // Neither is owned; both must outlive the assembly.
    RoomAssembly(IHttpClient *api, IRawUploader *uploader);
    ~RoomAssembly();
    RoomAssembly(const RoomAssembly &) = delete;
    RoomAssembly &operator=(const RoomAssembly &) = delete;

    RoomEntityStore *entityStore() const { return store.get(); }
    RoomEntityFeed *entityFeed() const { return feed.get(); }
    RoomAdapterRegistry *adapterRegistry() const { return adapters.get(); }
    ActiveRoomSession *session() const { return activeSession.get(); }
    RoomCreateService *createService() const { return create.get(); }
    RoomCreateConfigService *createConfigService() const { return createConfigs.get(); }
    RoomModerationService *moderationService() const { return moderation.get(); }
    RoomChatService *chatService() const { return chat.get(); }
    RoomFollowCodeService *followCodeService() const { return followCode.get(); }
    RoomListService *listService() const { return list.get(); }
    RoomSettingsService *settingsService() const { return settings.get(); }
    RoomSubroomService *subroomService() const { return subroom.get(); }
    RoomRequestService *requestService() const { return requests.get(); }
    RoomApplyService *applyService() const { return apply.get(); }
    RoomAttachApplyService *attachApplyService() const { return attachApply.get(); }

private:
    // Declaration order is construction order; destruction runs in reverse, so the
    // services that point at the session go before it, and the session before the
    // store, feed and registry it points at.
    // The machine store is reached only through the config service.
    std::unique_ptr<IRoomStorage> machineStore;
    std::unique_ptr<RoomEntityStore> store;
    std::unique_ptr<RoomEntityFeed> feed;
    std::unique_ptr<RoomAdapterRegistry> adapters;
    std::unique_ptr<ActiveRoomSession> activeSession;
    std::unique_ptr<RoomCreateService> create;
    std::unique_ptr<RoomCreateConfigService> createConfigs;
    std::unique_ptr<RoomModerationService> moderation;
    std::unique_ptr<RoomChatService> chat;
    std::unique_ptr<RoomFollowCodeService> followCode;
    std::unique_ptr<RoomListService> list;
    std::unique_ptr<RoomSettingsService> settings;
    std::unique_ptr<RoomSubroomService> subroom;
    std::unique_ptr<RoomRequestService> requests;
    std::unique_ptr<RoomApplyService> apply;
    std::unique_ptr<RoomAttachApplyService> attachApply;
};
