#include "realtime/events/chat_events.h"

#include "realtime/events/event_json.h"

#include <QJsonArray>
#include <QJsonObject>

ImAttachment ImAttachment::fromJson(const QJsonObject &object)
{
    return ImAttachment{
        .attachmentId = eventText(object, "attachmentId"),
        .contentType = eventText(object, "contentType"),
        .sizeBytes = eventInt64(object, "sizeBytes"),
        .width = eventInt(object, "width"),
        .height = eventInt(object, "height"),
        .url = eventText(object, "url"),
        .thumbUrl = eventText(object, "thumbUrl"),
        .fileName = eventText(object, "fileName"),
    };
}

std::optional<ImMessageSentEvent> ImMessageSentEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return ImMessageSentEvent{
        .roomId = *roomId,
        .messageId = eventText(payload, "messageId"),
        .userId = eventText(payload, "userId"),
        .content = eventText(payload, "content"),
        .tagId = eventInt64(payload, "tagId"),
        .seq = eventInt64(payload, "seq"),
        .sentAt = eventInt64(payload, "sentAt"),
        .hidden = eventBool(payload, "hidden"),
        .title = eventText(payload, "title"),
        .attachments = parseImAttachments(eventArray(payload, "attachments")),
    };
}

std::optional<ImMessageHiddenEvent> ImMessageHiddenEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return ImMessageHiddenEvent{
        .roomId = *roomId,
        .messageId = eventText(payload, "messageId"),
        .hidden = eventBool(payload, "hidden"),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

std::optional<ImMessageRetaggedEvent> ImMessageRetaggedEvent::fromJson(const QJsonObject &payload)
{
    const std::optional<QString> roomId = eventRequiredText(payload, "roomId");
    if (!roomId)
        return std::nullopt;
    return ImMessageRetaggedEvent{
        .roomId = *roomId,
        .messageId = eventText(payload, "messageId"),
        .tagId = eventInt64(payload, "tagId"),
        .byUserId = eventText(payload, "byUserId"),
        .changedAt = eventInt64(payload, "changedAt"),
    };
}

QList<ImAttachment> parseImAttachments(const QJsonArray &array)
{
    QList<ImAttachment> attachments;
    attachments.reserve(array.size());
    for (const QJsonValue &element : array)
        attachments.append(ImAttachment::fromJson(element.toObject()));
    return attachments;
}

QDebug operator<<(QDebug debug, const ImAttachment &attachment)
{
    const QDebugStateSaver saver(debug);
    debug.nospace() << "ImAttachment{"
                    << "attachmentId=" << attachment.attachmentId << ", contentType=" << attachment.contentType
                    << ", sizeBytes=" << attachment.sizeBytes << ", width=" << attachment.width
                    << ", height=" << attachment.height << ", url=" << attachment.url
                    << ", thumbUrl=" << attachment.thumbUrl << ", fileName=" << attachment.fileName << "}";
    return debug;
}

QDebug operator<<(QDebug debug, const ImMessageSentEvent &message)
{
    const QDebugStateSaver saver(debug);
    debug.nospace() << "ImMessageSentEvent{"
                    << "roomId=" << message.roomId << ", messageId=" << message.messageId
                    << ", userId=" << message.userId << ", content=" << message.content << ", tagId=" << message.tagId
                    << ", seq=" << message.seq << ", sentAt=" << message.sentAt << ", hidden=" << message.hidden
                    << ", title=" << message.title << ", attachments=" << message.attachments << "}";
    return debug;
}

namespace {

// Registered with the parsers, which every user of the records links, so that the
// records travel in queued signals and print from a QVariant.
void registerChatEventTypes()
{
    qRegisterMetaType<ImMessageSentEvent>();
    qRegisterMetaType<QList<ImMessageSentEvent>>();
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(registerChatEventTypes)
