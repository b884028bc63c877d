// Before any Qt header: glib uses names that Qt defines as macros.
#include <json-glib/json-glib.h>

#include "fuzz_target.h"

#include "platform/livekit/janus_json.h"

// The readers the media connection applies to every signalling message, walked the
// way the connection walks a plugin event.
KESTOVA_FUZZ_TARGET(janus_messages)
{
    JsonParser *parser = json_parser_new();
    if (json_parser_load_from_data(parser, reinterpret_cast<const char *>(data), static_cast<gssize>(size), nullptr)
        && JSON_NODE_HOLDS_OBJECT(json_parser_get_root(parser))) {
        using namespace livekit::detail;
        JsonObject *message = json_node_get_object(json_parser_get_root(parser));
        (void)stringMember(message, "janus");
        (void)stringMember(message, "transaction");
        (void)intMember(message, "sender");
        (void)failed(message);
        JsonObject *plugin = objectMember(objectMember(message, "plugindata"), "data");
        (void)stringMember(plugin, "videoroom");
        (void)stringMember(objectMember(message, "jsep"), "sdp");
        if (JsonArray *publishers = arrayMember(plugin, "publishers")) {
            for (guint i = 0; i < json_array_get_length(publishers); ++i) {
                JsonNode *node = json_array_get_element(publishers, i);
                if (JSON_NODE_HOLDS_OBJECT(node)) {
                    JsonObject *publisher = json_node_get_object(node);
                    (void)participantSid(intMember(publisher, "id"));
                    (void)stringMember(publisher, "display");
                    (void)arrayMember(publisher, "streams");
                }
            }
        }
    }
    g_object_unref(parser);
}
