#pragma once

class IHttpClient;

// The channel module: channel store, feed, list and actions.
class ChannelAssembly
{
public:
    explicit ChannelAssembly(IHttpClient *api);
    ~ChannelAssembly();
};
