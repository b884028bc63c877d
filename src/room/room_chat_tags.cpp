// The tag side of RoomChatService: the tag list with the user's unread counts, tag
// operations, the tag-system switch and the read cursor.
#include "room/room_chat_service.h"

#include "net/api_path.h"
#include "room/room_logging.h"
#include "room/room_request.h"

#include <QJsonArray>

namespace {

// A 64-bit integer from a number or a decimal string; 0 for anything else.
qint64 int64Of(const QJsonValue &value)
{
    return value.toVariant().toLongLong();
}

RoomChatService::ChatTagInfo tagOf(const QJsonObject &o)
{
    RoomChatService::ChatTagInfo tag;
    tag.tagId = int64Of(o.value(QLatin1String("tagId")));
    tag.name = o.value(QLatin1String("name")).toString();
    tag.createdBy = o.value(QLatin1String("createdBy")).toString();
    tag.firstMessageId = o.value(QLatin1String("firstMessageId")).toString();
    tag.messageCount = int64Of(o.value(QLatin1String("messageCount")));
    tag.lastSeq = int64Of(o.value(QLatin1String("lastSeq")));
    tag.lastMessageAt = int64Of(o.value(QLatin1String("lastMessageAt")));
    tag.firstTitle = o.value(QLatin1String("firstTitle")).toString();
    tag.firstUserId = o.value(QLatin1String("firstUserId")).toString();
    tag.firstContent = o.value(QLatin1String("firstContent")).toString();
    tag.firstHidden = o.value(QLatin1String("firstHidden")).toBool();
    return tag;
}

} // namespace

void RoomChatService::refreshTags(const QString &roomId)
{
    if (!roomId.isEmpty())
        fetchTags(roomId);
}

void RoomChatService::fetchTags(const QString &roomId)
{
    RoomRequest request;
    request.method = HttpMethod::Get;
    request.path = apiPath(QStringLiteral("/v1/im/rooms/%1/tags"), {roomId});
    request.failureLead = logText("tags fetch failed room_id=", roomId);
    request.detail = FailureDetail::Code;
    sendRoomRequest(http, lcRoomChat, this, std::move(request),
                    [this, roomId](const HttpResponse &response) {
                        const bool enabled = response.json.value(QLatin1String("enabled")).toBool();
                        QList<ChatTagInfo> tags;
                        const QJsonArray array = response.json.value(QLatin1String("tags")).toArray();
                        for (const QJsonValue &element : array)
                            tags.append(tagOf(element.toObject()));

                        // The unread counts are the server's; a failed list leaves them at 0.
                        const auto deliver = [this, roomId, enabled](const QList<ChatTagInfo> &result) {
                            qCInfo(lcRoomChat).nospace() << "tags loaded room_id=" << roomId << " enabled=" << enabled
                                                         << " count=" << result.size();
                            emit tagsChanged(roomId, enabled, result);
                        };
                        RoomRequest unread;
                        unread.method = HttpMethod::Get;
                        unread.path = apiPath(QStringLiteral("/v1/im/rooms/%1/unread"), {roomId});
                        unread.failureLead = logText("unread fetch failed room_id=", roomId);
                        unread.detail = FailureDetail::Status;
                        sendRoomRequest(
                            http, lcRoomChat, this, std::move(unread),
                            [tags, deliver](const HttpResponse &reply) {
                                QHash<qint64, qint64> counts;
                                const QJsonArray items = reply.json.value(QLatin1String("unread")).toArray();
                                for (const QJsonValue &element : items) {
                                    const QJsonObject item = element.toObject();
                                    counts.insert(int64Of(item.value(QLatin1String("tagKey"))),
                                                  int64Of(item.value(QLatin1String("unread"))));
                                }
                                QList<ChatTagInfo> counted = tags;
                                for (ChatTagInfo &tag : counted)
                                    tag.unread = counts.value(tag.tagId, 0);
                                deliver(counted);
                            },
                            [tags, deliver](const RoomRequestError &) { deliver(tags); });
                    },
                    {});
}

void RoomChatService::createTag(const QString &roomId, const QString &tagName, const QString &title,
                                const QString &content)
{
    const QString name = tagName.trimmed();
    const QString trimmedTitle = title.trimmed();
    const QString text = content.trimmed();
    if (name.isEmpty() || trimmedTitle.isEmpty() || text.isEmpty() || !hasSubscription(roomId))
        return;
    // Nothing is added locally: the tag arrives with the reload its event triggers.
    postSimpleAction(roomId, QStringLiteral("create post"), apiPath(QStringLiteral("/v1/im/rooms/%1/tags"), {roomId}),
                     QJsonObject{{QStringLiteral("name"), name},
                                 {QStringLiteral("title"), trimmedTitle},
                                 {QStringLiteral("content"), text}},
                     false, true);
}

void RoomChatService::renameTag(const QString &roomId, qlonglong tagId, const QString &name)
{
    const QString trimmed = name.trimmed();
    if (tagId <= 0 || trimmed.isEmpty() || !hasSubscription(roomId))
        return;
    postSimpleAction(roomId, QStringLiteral("rename tag"),
                     apiPath(QStringLiteral("/v1/im/rooms/%1/tags/%2"), {roomId, QString::number(tagId)}),
                     QJsonObject{{QStringLiteral("name"), trimmed}}, true, false);
}

void RoomChatService::archiveTag(const QString &roomId, qlonglong tagId, const QString &mode, qlonglong targetTagId)
{
    if (tagId <= 0 || !hasSubscription(roomId))
        return;
    QJsonObject body{{QStringLiteral("mode"), mode}};
    if (targetTagId > 0)
        body.insert(QStringLiteral("targetTagId"), targetTagId);
    postSimpleAction(roomId, QStringLiteral("archive tag"),
                     apiPath(QStringLiteral("/v1/im/rooms/%1/tags/%2/archive"), {roomId, QString::number(tagId)}), body,
                     false, true);
}

void RoomChatService::setTagConfig(const QString &roomId, bool enabled)
{
    if (roomId.isEmpty())
        return;
    RoomRequest request;
    request.method = HttpMethod::Put;
    request.path = apiPath(QStringLiteral("/v1/im/rooms/%1/tag-config"), {roomId});
    request.body = QJsonObject{{QStringLiteral("enabled"), enabled}};
    request.failureLead = logText("set tag config failed room_id=", roomId);
    sendRoomRequest(
        http, lcRoomChat, this, std::move(request), [this, roomId](const HttpResponse &) { fetchTags(roomId); },
        [this](const RoomRequestError &error) { emit sendFailed(error.code, error.message); });
}

void RoomChatService::reportTagOpened(const QString &roomId, qlonglong tagId, qlonglong lastSeq)
{
    if (tagId <= 0 || lastSeq < 0 || !hasSubscription(roomId))
        return;
    RoomRequest request;
    request.method = HttpMethod::Put;
    request.path = apiPath(QStringLiteral("/v1/im/rooms/%1/read-cursor"), {roomId});
    request.body = QJsonObject{{QStringLiteral("tagKey"), tagId}, {QStringLiteral("seq"), lastSeq}};
    request.failureLead = logText("read cursor report failed room_id=", roomId);
    request.detail = FailureDetail::Status;
    request.stillWanted = [this, roomId] { return hasSubscription(roomId); };
    // The server recounts the unread messages; the next tag list carries them.
    sendRoomRequest(http, lcRoomChat, this, std::move(request),
                    [this, roomId](const HttpResponse &) { fetchTags(roomId); }, {});
}
