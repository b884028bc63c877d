#include "fuzz_target.h"

#include "realtime/events/chat_events.h"

#include <QJsonArray>

// The chat events and their attachment lists.
KESTOVA_FUZZ_TARGET(chat_records)
{
    const QJsonObject payload = fuzzing::objectOf(fuzzing::bytesOf(data, size));
    (void)ImMessageSentEvent::fromJson(payload);
    (void)ImMessageHiddenEvent::fromJson(payload);
    (void)ImMessageRetaggedEvent::fromJson(payload);
    (void)parseImAttachments(payload.value(QLatin1String("attachments")).toArray());
}
