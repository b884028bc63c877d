// The realtime side of RoomChatService: chat events applied to the buffers and tag
// lists, and the re-subscription after a gateway resync.
#include "room/room_chat_service.h"

#include "room/room_logging.h"

void RoomChatService::handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64)
{
    if (name == QLatin1String("chat-subscribed")) {
        const QString roomId = payload.value(QLatin1String("roomId")).toString();
        if (roomId.isEmpty() || !hasSubscription(roomId))
            return;
        fetchTags(roomId);
        const RoomBuffer &room = buffers[roomId];
        if (roomId == activeFeedRoomId && (!room.loaded || room.stale))
            refreshLatest(roomId);
    } else if (name == QLatin1String("im.message.sent")) {
        const std::optional<ImMessageSentEvent> message = ImMessageSentEvent::fromJson(payload);
        if (!message || !hasSubscription(message->roomId))
            return;
        bufferMessage(buffers[message->roomId], *message);
        emit messageReceived(message->roomId, *message);
    } else if (name == QLatin1String("im.message.hidden")) {
        const std::optional<ImMessageHiddenEvent> event = ImMessageHiddenEvent::fromJson(payload);
        if (!event || !hasSubscription(event->roomId))
            return;
        if (!event->hidden) {
            // Shown again: the text must come back from the server; the view keeps
            // what it shows until the reload succeeds.
            buffers[event->roomId] = RoomBuffer();
            refreshLatest(event->roomId);
            return;
        }
        QList<ImMessageSentEvent> &messages = buffers[event->roomId].messages;
        for (ImMessageSentEvent &m : messages) {
            if (m.messageId == event->messageId) {
                m.hidden = true;
                m.content.clear();
                m.title.clear();
                break;
            }
        }
        emit messageHidden(event->roomId, event->messageId);
    } else if (name == QLatin1String("im.tag.created") || name == QLatin1String("im.tag.renamed")
               || name == QLatin1String("im.tag_config.changed")) {
        const QString roomId = payload.value(QLatin1String("roomId")).toString();
        if (!roomId.isEmpty() && hasSubscription(roomId))
            fetchTags(roomId);
    } else if (name == QLatin1String("im.tag.archived")) {
        const QString roomId = payload.value(QLatin1String("roomId")).toString();
        if (roomId.isEmpty() || !hasSubscription(roomId))
            return;
        const qint64 tagId = payload.value(QLatin1String("tagId")).toVariant().toLongLong();
        const qint64 targetTagId = payload.value(QLatin1String("targetTagId")).toVariant().toLongLong();
        const bool transfer = payload.value(QLatin1String("mode")).toString() == QLatin1String("transfer");
        for (ImMessageSentEvent &m : buffers[roomId].messages) {
            if (m.tagId != tagId)
                continue;
            if (transfer) {
                m.tagId = targetTagId;
            } else {
                m.hidden = true;
                m.content.clear();
                m.title.clear();
            }
        }
        rebuildFeed(roomId);
        fetchTags(roomId);
    } else if (name == QLatin1String("im.message.retagged")) {
        const std::optional<ImMessageRetaggedEvent> event = ImMessageRetaggedEvent::fromJson(payload);
        if (!event || !hasSubscription(event->roomId))
            return;
        for (ImMessageSentEvent &m : buffers[event->roomId].messages) {
            if (m.messageId == event->messageId) {
                m.tagId = event->tagId;
                break;
            }
        }
        emit messageRetagged(event->roomId, event->messageId, event->tagId);
        fetchTags(event->roomId);
    }
}

void RoomChatService::onResync()
{
    // Events of the gap are lost: every buffer reloads its latest page when next needed.
    for (RoomBuffer &room : buffers)
        room.stale = true;
    const QList<Subscription> current = subs;
    for (const Subscription &s : current) {
        qCInfo(lcRoomChat).nospace() << "resync, re-subscribing chat room_id=" << s.roomId;
        emit subscribeRequested(s.roomId);
    }
}
