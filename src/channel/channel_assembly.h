#pragma once

#include <memory>

class ChannelActionsService;
class ChannelEntityFeed;
class ChannelEntityStore;
class ChannelListService;
class IHttpClient;

// The channel module: the channel store, the feed that fills it, the user's channel
// list and the administration requests, built in that order and destroyed in
// reverse. The shell and the wiring reach them through the accessors. GUI thread only.
class ChannelAssembly
{
public:
    // The transport is not owned and must outlive the assembly.
    explicit ChannelAssembly(IHttpClient *api);
    ~ChannelAssembly();
    ChannelAssembly(const ChannelAssembly &) = delete;
    ChannelAssembly &operator=(const ChannelAssembly &) = delete;

    ChannelEntityStore *entityStore() const { return store.get(); }
    ChannelEntityFeed *entityFeed() const { return feed.get(); }
    ChannelListService *listService() const { return list.get(); }
    ChannelActionsService *actionsService() const { return actions.get(); }

private:
    // Declaration order is construction order; destruction runs in reverse.
    std::unique_ptr<ChannelEntityStore> store;
    std::unique_ptr<ChannelEntityFeed> feed;
    std::unique_ptr<ChannelListService> list;
    std::unique_ptr<ChannelActionsService> actions;
};
