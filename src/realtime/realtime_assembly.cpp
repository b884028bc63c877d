#include "realtime/realtime_assembly.h"

RealtimeAssembly::RealtimeAssembly() = default;
RealtimeAssembly::~RealtimeAssembly() = default;
