#include "platform/livekit/janus_json.h"

#include <json-glib/json-glib.h>

namespace livekit::detail {

JsonObject *request(const char *verb)
{
    JsonObject *o = json_object_new();
    json_object_set_string_member(o, "janus", verb);
    return o;
}

std::string stringMember(JsonObject *o, const char *name)
{
    if (!o || !json_object_has_member(o, name))
        return {};
    JsonNode *node = json_object_get_member(o, name);
    if (!JSON_NODE_HOLDS_VALUE(node) || json_node_get_value_type(node) != G_TYPE_STRING)
        return {};
    return json_node_get_string(node);
}

std::int64_t intMember(JsonObject *o, const char *name)
{
    if (!o || !json_object_has_member(o, name))
        return 0;
    JsonNode *node = json_object_get_member(o, name);
    if (!JSON_NODE_HOLDS_VALUE(node) || json_node_get_value_type(node) != G_TYPE_INT64)
        return 0;
    return json_node_get_int(node);
}

JsonObject *objectMember(JsonObject *o, const char *name)
{
    if (!o || !json_object_has_member(o, name))
        return nullptr;
    JsonNode *node = json_object_get_member(o, name);
    return JSON_NODE_HOLDS_OBJECT(node) ? json_node_get_object(node) : nullptr;
}

JsonArray *arrayMember(JsonObject *o, const char *name)
{
    if (!o || !json_object_has_member(o, name))
        return nullptr;
    JsonNode *node = json_object_get_member(o, name);
    return JSON_NODE_HOLDS_ARRAY(node) ? json_node_get_array(node) : nullptr;
}

bool failed(JsonObject *reply)
{
    return stringMember(reply, "janus") == "error";
}

std::string participantSid(std::int64_t id)
{
    return "PA_" + std::to_string(id);
}

std::string trackSid(std::int64_t feed)
{
    return "TR_" + std::to_string(feed);
}

} // namespace livekit::detail
