#include "room/room_assembly.h"

RoomAssembly::RoomAssembly(IHttpClient *, IRawUploader *) {}
RoomAssembly::~RoomAssembly() = default;
