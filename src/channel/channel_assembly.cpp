#include "channel/channel_assembly.h"

#include "channel/channel_actions_service.h"
#include "channel/channel_entity_feed.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"

ChannelAssembly::ChannelAssembly(IHttpClient *api)
    : store(std::make_unique<ChannelEntityStore>(nullptr))
    , feed(std::make_unique<ChannelEntityFeed>(store.get(), nullptr))
    , list(std::make_unique<ChannelListService>(api, store.get(), nullptr))
    , actions(std::make_unique<ChannelActionsService>(api, nullptr))
{}

ChannelAssembly::~ChannelAssembly() = default;
