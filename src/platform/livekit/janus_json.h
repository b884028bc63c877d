#pragma once

#include <cstdint>
#include <string>

typedef struct _JsonArray JsonArray;
typedef struct _JsonObject JsonObject;

// Reading and writing the media server's JSON messages: members of the wrong type read as absent.
namespace livekit::detail {

inline constexpr const char *kRoomPlugin = "janus.plugin.videoroom";

// A new request object {"janus": verb}; the caller owns it.
JsonObject *request(const char *verb);
std::string stringMember(JsonObject *o, const char *name);
std::int64_t intMember(JsonObject *o, const char *name);
JsonObject *objectMember(JsonObject *o, const char *name);
JsonArray *arrayMember(JsonObject *o, const char *name);
// An error answer of the server to one of our requests.
bool failed(JsonObject *reply);

std::string participantSid(std::int64_t id);
std::string trackSid(std::int64_t feed);

} // namespace livekit::detail
