// The history side of RoomChatService: the latest page with its gap rule, older
// pages for scrolling back, and one tag's thread.
#include "room/room_chat_service.h"

#include "net/api_path.h"
#include "room/room_logging.h"
#include "room/room_request.h"

#include <QJsonArray>

namespace {

// The messages of a page's "history" array that parse, walked from its last
// element to its first (reversed) or in array order.
QList<ImMessageSentEvent> pageMessages(const HttpResponse &response, bool reversed)
{
    const QJsonArray history = response.json.value(QLatin1String("history")).toArray();
    QList<ImMessageSentEvent> page;
    page.reserve(history.size());
    for (qsizetype k = 0; k < history.size(); ++k) {
        const qsizetype i = reversed ? history.size() - 1 - k : k;
        if (std::optional<ImMessageSentEvent> message = ImMessageSentEvent::fromJson(history.at(i).toObject()))
            page.append(std::move(*message));
    }
    return page;
}

} // namespace

void RoomChatService::onFeedActivated(const QString &roomId)
{
    activeFeedRoomId = roomId;
    if (!hasSubscription(roomId))
        return;
    // A loaded, current buffer is not sent again: the view keeps what it shows.
    const RoomBuffer &room = buffers[roomId];
    if (!room.loaded || room.stale)
        refreshLatest(roomId);
}

void RoomChatService::refreshLatest(const QString &roomId)
{
    RoomRequest request;
    request.method = HttpMethod::Get;
    request.path = apiPath(QStringLiteral("/v1/im/rooms/%1/messages"), {roomId});
    request.failureLead = logText("chat refresh failed room_id=", roomId);
    request.detail = FailureDetail::NetError;
    request.stillWanted = [this, roomId] { return hasSubscription(roomId); };
    sendRoomRequest(
        http, lcRoomChat, this, std::move(request),
        [this, roomId](const HttpResponse &response) {
            RoomBuffer &room = buffers[roomId];
            applyLatestChatPage(room, pageMessages(response, true));
            qCInfo(lcRoomChat).nospace() << "chat refreshed room_id=" << roomId << " buffered=" << room.messages.size()
                                         << " gap=" << (room.gapBeforeSeq > 0);
            rebuildFeed(roomId);
        },
        [this, roomId](const RoomRequestError &error) {
            // A followed room that no longer exists is unfollowed; the buffer keeps
            // its flags, so the next activation tries again otherwise.
            if (error.code == RoomErrorCode::NotFound && followed.contains(roomId)) {
                qCInfo(lcRoomChat).nospace() << "room gone, dropping subscription room_id=" << roomId;
                unsubscribeRoomChat(roomId);
            }
        });
}

void RoomChatService::loadOlder(const QString &roomId, qlonglong beforeSeq)
{
    if (beforeSeq > 0 && hasSubscription(roomId))
        fetchHistory(roomId, beforeSeq);
}

void RoomChatService::fetchHistory(const QString &roomId, qlonglong beforeSeq)
{
    RoomRequest request;
    request.method = HttpMethod::Get;
    request.path =
        apiPath(QStringLiteral("/v1/im/rooms/%1/messages?beforeSeq=%2"), {roomId, QString::number(beforeSeq)});
    request.failureLead = logText("chat history fetch failed room_id=", roomId);
    request.detail = FailureDetail::NetError;
    request.stillWanted = [this, roomId] { return hasSubscription(roomId); };
    sendRoomRequest(http, lcRoomChat, this, std::move(request),
                    [this, roomId](const HttpResponse &response) {
                        const QList<ImMessageSentEvent> page = pageMessages(response, true);
                        // A full buffer keeps its newest messages; the page still goes to the view.
                        RoomBuffer &room = buffers[roomId];
                        for (const ImMessageSentEvent &message : page) {
                            if (room.messages.size() >= kRoomChatBufferCap)
                                break;
                            bufferMessage(room, message);
                        }
                        qCInfo(lcRoomChat).nospace()
                            << "chat older loaded room_id=" << roomId << " count=" << page.size();
                        emit olderLoaded(roomId, page);
                    },
                    {});
}

void RoomChatService::loadTagHistory(const QString &roomId, qlonglong tagId, qlonglong afterSeq)
{
    if (tagId <= 0 || afterSeq < 0 || !hasSubscription(roomId))
        return;
    RoomRequest request;
    request.method = HttpMethod::Get;
    request.path = apiPath(QStringLiteral("/v1/im/rooms/%1/messages?tagId=%2&afterSeq=%3"),
                           {roomId, QString::number(tagId), QString::number(afterSeq)});
    request.failureLead = logText("tag history fetch failed room_id=", roomId, " tag_id=", tagId);
    request.detail = FailureDetail::Status;
    request.stillWanted = [this, roomId] { return hasSubscription(roomId); };
    sendRoomRequest(http, lcRoomChat, this, std::move(request),
                    [this, roomId, tagId, afterSeq](const HttpResponse &response) {
                        emit tagHistoryLoaded(roomId, tagId, afterSeq, pageMessages(response, false));
                    },
                    {});
}

void RoomChatService::rebuildFeed(const QString &roomId)
{
    // A copy: a receiver may drop the room's subscription, and its buffer with it.
    const RoomBuffer room = buffers.value(roomId);
    emit chatCleared(roomId);
    emit gapMarked(roomId, room.gapBeforeSeq);
    emit historyLoaded(roomId, room.messages);
}
