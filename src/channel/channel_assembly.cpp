#include "channel/channel_assembly.h"

ChannelAssembly::ChannelAssembly(IHttpClient *) {}
ChannelAssembly::~ChannelAssembly() = default;
