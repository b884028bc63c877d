#include "chat_api.h"

#include "gateway_hub.h"
#include "json_body.h"
#include "room_api_support.h"
#include "rooms_api.h"
#include "service_log.h"
#include "service_state.h"
#include "token_issuer.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QJsonDocument>
#include <QSaveFile>
#include <QUuid>

#include <algorithm>

namespace localservice {

using roomapi::perm;

namespace {

constexpr int kPageSize = 50;
constexpr int kMaxContentChars = 4000;
constexpr int kMaxTitleChars = 200;
constexpr int kMaxTagNameChars = 64;
constexpr int kMaxAttachments = 4;
constexpr int kMaxIdempotentReplies = 2000;

// The largest box in which the client shows a chat image is 320 x 200; thumbnails fit
// twice that, so that they stay sharp on a screen with a device pixel ratio of 2.
const QSize kThumbnailBox(640, 400);

const QStringList kImageTypes{QStringLiteral("image/png"), QStringLiteral("image/jpeg"), QStringLiteral("image/gif"),
                              QStringLiteral("image/webp")};

// A whole, non-negative query number; nothing when absent, -1 when malformed.
qint64 queryNumber(const ApiRequest &request, const char *key, bool *present)
{
    const QString text = request.query.queryItemValue(QLatin1String(key));
    *present = request.query.hasQueryItem(QLatin1String(key));
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok && value >= 0 ? value : -1;
}

} // namespace

ChatApi::ChatApi(ServiceState *state_, GatewayHub *gateway_, RoomsApi *rooms_, QString uploadFolder,
                 std::function<QString()> baseUrl_, QObject *parent)
    : QObject(parent)
    , state(state_)
    , gateway(gateway_)
    , rooms(rooms_)
    , folder(std::move(uploadFolder))
    , baseUrl(std::move(baseUrl_))
{}

void ChatApi::addRoutes(ApiRouter &router)
{
    using Access = ApiRouter::Access;
    const auto on = [this, &router](const char *method, const char *path,
                                    ApiReply (ChatApi::*handler)(const ApiRequest &)) {
        router.add(method, QString::fromLatin1(path), Access::SignedIn,
                   [this, handler](const ApiRequest &request) { return (this->*handler)(request); });
    };
    on("GET", "/v1/users/me/chat-subscriptions", &ChatApi::subscriptions);
    router.add("PUT", QStringLiteral("/v1/users/me/chat-subscriptions/{}"), Access::SignedIn,
               [this](const ApiRequest &request) { return setSubscription(request, true); });
    router.add("DELETE", QStringLiteral("/v1/users/me/chat-subscriptions/{}"), Access::SignedIn,
               [this](const ApiRequest &request) { return setSubscription(request, false); });
    on("GET", "/v1/im/rooms/{}/messages", &ChatApi::history);
    on("POST", "/v1/im/rooms/{}/messages", &ChatApi::send);
    on("PATCH", "/v1/im/rooms/{}/messages/{}", &ChatApi::hide);
    on("PATCH", "/v1/im/rooms/{}/messages/{}/tag", &ChatApi::retag);
    on("GET", "/v1/im/rooms/{}/tags", &ChatApi::tags);
    on("POST", "/v1/im/rooms/{}/tags", &ChatApi::createTag);
    on("PATCH", "/v1/im/rooms/{}/tags/{}", &ChatApi::renameTag);
    on("POST", "/v1/im/rooms/{}/tags/{}/archive", &ChatApi::archiveTag);
    on("PUT", "/v1/im/rooms/{}/tag-config", &ChatApi::tagConfig);
    on("PUT", "/v1/im/rooms/{}/read-cursor", &ChatApi::readCursor);
    on("GET", "/v1/im/rooms/{}/unread", &ChatApi::unread);
    on("POST", "/v1/im/rooms/{}/attachments", &ChatApi::announceAttachment);
    // The upload URL carries its own one-time key, as a raw uploader sends no token.
    router.addWithBodyLimit("PUT", QStringLiteral("/uploads/chat/{}"), Access::Public, kMaxImageBytes,
                            [this](const ApiRequest &request) { return uploadAttachment(request); });
    router.add("GET", QStringLiteral("/assets/chat/{}"), Access::Public,
               [this](const ApiRequest &request) { return serveAttachment(request); });
    router.add("GET", QStringLiteral("/assets/chat/{}/thumb"), Access::Public,
               [this](const ApiRequest &request) { return serveThumbnail(request); });
}

// ---------------------------------------------------------------- helpers

Room *ChatApi::readableRoom(const ApiRequest &request, ApiReply *refusal)
{
    Room *room = rooms->room(request.captures.at(0));
    if (!room) {
        *refusal = roomreply::notFound();
        return nullptr;
    }
    if (room->bans.contains(request.userId)) {
        *refusal = roomreply::banned();
        return nullptr;
    }
    if (!rooms->canReadChat(request.userId, room->id)) {
        *refusal = roomreply::notInRoom();
        return nullptr;
    }
    return room;
}

QJsonObject ChatApi::messageJson(const Room &room, const ChatMessage &m) const
{
    QJsonArray attachments;
    if (!m.hidden) {
        for (const QString &id : m.attachmentIds) {
            const ChatAttachment a = state->world.attachments.value(id);
            const QString url = baseUrl() + QStringLiteral("/assets/chat/") + id;
            attachments.append(QJsonObject{{"attachmentId", id},
                                           {"contentType", a.contentType},
                                           {"sizeBytes", double(a.sizeBytes)},
                                           {"width", a.width},
                                           {"height", a.height},
                                           {"url", url},
                                           {"thumbUrl", url + QStringLiteral("/thumb")},
                                           {"fileName", a.fileName}});
        }
    }
    return QJsonObject{{"roomId", room.id},
                       {"messageId", m.messageId},
                       {"userId", m.userId},
                       {"content", m.hidden ? QString() : m.content},
                       {"tagId", double(m.tagId)},
                       {"seq", double(m.seq)},
                       {"sentAt", double(m.sentAt)},
                       {"hidden", m.hidden},
                       {"title", m.hidden ? QString() : m.title},
                       {"attachments", attachments}};
}

QJsonObject ChatApi::tagJson(const Room &room, const ChatTag &tag) const
{
    QJsonObject json{{"tagId", double(tag.tagId)},
                     {"name", tag.name},
                     {"createdBy", tag.createdBy},
                     {"firstMessageId", tag.firstMessageId}};
    qint64 lastSeq = 0;
    qint64 lastAt = 0;
    // Every post of the thread counts, hidden ones too: they keep their place in it.
    qint64 count = 0;
    for (const ChatMessage &m : room.messages) {
        if (m.tagId == tag.tagId) {
            lastSeq = m.seq;
            lastAt = m.sentAt;
            ++count;
        }
    }
    json.insert(QStringLiteral("messageCount"), double(count));
    json.insert(QStringLiteral("lastSeq"), double(lastSeq));
    json.insert(QStringLiteral("lastMessageAt"), double(lastAt));
    if (const ChatMessage *first = room.message(tag.firstMessageId)) {
        json.insert(QStringLiteral("firstTitle"), first->hidden ? QString() : first->title);
        json.insert(QStringLiteral("firstUserId"), first->userId);
        json.insert(QStringLiteral("firstContent"), first->hidden ? QString() : first->content);
        json.insert(QStringLiteral("firstHidden"), first->hidden);
    }
    return json;
}

const ApiReply *ChatApi::repeated(const ApiRequest &request) const
{
    const QByteArray key = request.header("Idempotency-Key");
    if (key.isEmpty())
        return nullptr;
    const auto found = idempotentReplies.constFind(request.userId + QLatin1Char('|') + QString::fromLatin1(key));
    return found == idempotentReplies.cend() ? nullptr : &found.value();
}

ApiReply ChatApi::remember(const ApiRequest &request, ApiReply reply)
{
    const QByteArray key = request.header("Idempotency-Key");
    if (!key.isEmpty() && reply.status == 200) {
        if (idempotentReplies.size() >= kMaxIdempotentReplies)
            idempotentReplies.clear();
        idempotentReplies.insert(request.userId + QLatin1Char('|') + QString::fromLatin1(key.left(64)), reply);
    }
    return reply;
}

QString ChatApi::attachmentProblem(const QStringList &ids, const QString &userId, const QString &roomId) const
{
    if (ids.size() > kMaxAttachments)
        return QStringLiteral("每条消息最多 %1 张图片").arg(kMaxAttachments);
    for (int i = 0; i < ids.size(); ++i) {
        const auto found = state->world.attachments.constFind(ids.at(i));
        if (found == state->world.attachments.cend() || found->ownerId != userId || found->roomId != roomId
            || !found->stored || found->used || ids.indexOf(ids.at(i)) != i)
            return QStringLiteral("图片 %1 不是你为本房间上传的图片").arg(ids.at(i).left(64));
    }
    return {};
}

const ChatMessage &ChatApi::post(Room &room, ChatMessage message)
{
    message.messageId = QStringLiteral("m") + QUuid::createUuid().toString(QUuid::Id128).left(16);
    message.seq = room.nextSeq++;
    message.sentAt = rooms->now();
    for (const QString &id : std::as_const(message.attachmentIds))
        state->world.attachments[id].used = true;
    room.messages.append(message);
    // The sender has read what they wrote.
    room.readCursors[message.userId].insert(message.tagId, message.seq);
    qCInfo(lcServiceChat).noquote().nospace() << "message sent room_id=" << room.id << " seq=" << message.seq
                                              << " attachments=" << message.attachmentIds.size();
    gateway->publishToChat(room.id, QStringLiteral("im.message.sent"), messageJson(room, room.messages.last()));
    emit stateChanged();
    return room.messages.last();
}

// ---------------------------------------------------------------- subscriptions and history

ApiReply ChatApi::subscriptions(const ApiRequest &request)
{
    QStringList kept;
    for (const QString &roomId : state->world.chatSubscriptions.value(request.userId)) {
        if (rooms->canReadChat(request.userId, roomId))
            kept << roomId;
    }
    return ApiReply::json(200, QJsonObject{{"rooms", stringArray(kept)}});
}

ApiReply ChatApi::setSubscription(const ApiRequest &request, bool on)
{
    const QString roomId = request.captures.at(0);
    if (on) {
        ApiReply refusal;
        if (!readableRoom(request, &refusal))
            return refusal;
        QStringList &followed = state->world.chatSubscriptions[request.userId];
        if (!followed.contains(roomId)) {
            if (followed.size() >= 200)
                return roomreply::invalid(QStringLiteral("chat.too_many_subscriptions"),
                                          QStringLiteral("最多关注 200 个聊天"));
            followed.append(roomId);
        }
    } else if (state->world.chatSubscriptions.contains(request.userId)) {
        state->world.chatSubscriptions[request.userId].removeAll(roomId);
    }
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChatApi::history(const ApiRequest &request)
{
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    bool hasBefore = false;
    bool hasTag = false;
    bool hasAfter = false;
    const qint64 beforeSeq = queryNumber(request, "beforeSeq", &hasBefore);
    const qint64 tagId = queryNumber(request, "tagId", &hasTag);
    const qint64 afterSeq = queryNumber(request, "afterSeq", &hasAfter);
    if ((hasBefore && beforeSeq < 0) || (hasTag && tagId < 0) || (hasAfter && afterSeq < 0) || (hasTag != hasAfter)
        || (hasBefore && hasTag))
        return roomreply::invalid(QStringLiteral("chat.invalid_query"), QStringLiteral("分页位置须为整数"));
    QJsonArray page;
    if (hasTag) {
        // A thread page runs forward from the reader's position.
        for (const ChatMessage &m : room->messages) {
            if (m.tagId == tagId && m.seq > afterSeq && page.size() < kPageSize)
                page.append(messageJson(*room, m));
        }
    } else {
        // Latest and older pages run newest first.
        for (auto it = room->messages.crbegin(); it != room->messages.crend() && page.size() < kPageSize; ++it) {
            if (!hasBefore || it->seq < beforeSeq)
                page.append(messageJson(*room, *it));
        }
    }
    return ApiReply::json(200, QJsonObject{{"history", page}});
}

ApiReply ChatApi::send(const ApiRequest &request)
{
    if (const ApiReply *before = repeated(request))
        return *before;
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    const std::optional<QJsonObject> body = jsonObject(request.body);
    if (!body)
        return malformed();
    const QJsonValue contentValue = body->value(QLatin1String("content"));
    const QJsonValue titleValue = body->value(QLatin1String("title"));
    const QJsonValue tagValue = body->value(QLatin1String("tagId"));
    const QJsonValue idsValue = body->value(QLatin1String("attachmentIds"));
    ChatMessage message;
    message.userId = request.userId;
    message.content = contentValue.toString();
    message.title = titleValue.toString().trimmed();
    message.tagId = tagValue.isUndefined() ? 0 : qint64(tagValue.toDouble());
    message.attachmentIds = stringList(idsValue);
    if ((!contentValue.isUndefined() && !contentValue.isString())
        || (!titleValue.isUndefined() && !titleValue.isString())
        || (!tagValue.isUndefined() && (!isWholeNumber(tagValue) || message.tagId < 0))
        || (!idsValue.isUndefined() && !idsValue.isArray()))
        return roomreply::invalid(QStringLiteral("chat.invalid_message"),
                                  QStringLiteral("消息内容、标题、标签或图片的类型不对"));
    if (message.content.trimmed().isEmpty() && message.attachmentIds.isEmpty())
        return roomreply::invalid(QStringLiteral("chat.empty_message"), QStringLiteral("消息需要文字或图片"));
    if (message.content.size() > kMaxContentChars || message.title.size() > kMaxTitleChars)
        return roomreply::invalid(QStringLiteral("chat.too_long"), QStringLiteral("消息太长"));
    if (message.tagId > 0) {
        const ChatTag *tag = room->tag(message.tagId);
        if (!tag || tag->archived)
            return roomreply::invalid(QStringLiteral("chat.tag_not_found"), QStringLiteral("没有这个标签"));
    }
    const QString problem = attachmentProblem(message.attachmentIds, request.userId, room->id);
    if (!problem.isEmpty())
        return roomreply::invalid(QStringLiteral("chat.invalid_attachment"), problem);
    if (!state->world.roomGrants(*room, request.userId, perm("send_message")))
        return roomreply::forbidden(QStringLiteral("你不能在本房间发言"));
    if (room->isMuted(request.userId, QStringLiteral("text"), rooms->now()))
        return ApiReply::error(403, QStringLiteral("room.text_muted"), QStringLiteral("你在本房间已被禁言"));
    const ChatMessage &sent = post(*room, message);
    return remember(request, ApiReply::json(200, messageJson(*room, sent)));
}

ApiReply ChatApi::hide(const ApiRequest &request)
{
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    const std::optional<QJsonObject> body = jsonObject(request.body);
    if (!body)
        return malformed();
    if (body->value(QLatin1String("hidden")) != QJsonValue(true))
        return roomreply::invalid(QStringLiteral("chat.invalid_hide"), QStringLiteral("只接受 {\"hidden\": true}"));
    ChatMessage *message = room->message(request.captures.at(1));
    if (!message)
        return ApiReply::error(404, QStringLiteral("chat.message_not_found"), QStringLiteral("没有这条消息"));
    if (!state->world.roomGrants(*room, request.userId, perm("hide_message"))
        || (message->userId != request.userId && !state->world.roomOutranks(*room, request.userId, message->userId)))
        return roomreply::forbidden(QStringLiteral("你不能隐藏这条消息"));
    if (!message->hidden) {
        message->hidden = true;
        gateway->publishToChat(room->id, QStringLiteral("im.message.hidden"),
                               QJsonObject{{"roomId", room->id},
                                           {"messageId", message->messageId},
                                           {"hidden", true},
                                           {"byUserId", request.userId},
                                           {"changedAt", double(rooms->now())}});
        emit stateChanged();
    }
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChatApi::retag(const ApiRequest &request)
{
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    const std::optional<QJsonObject> body = jsonObject(request.body);
    if (!body)
        return malformed();
    const QJsonValue tagValue = body->value(QLatin1String("tagId"));
    if (!isWholeNumber(tagValue) || tagValue.toDouble() < 0)
        return roomreply::invalid(QStringLiteral("chat.invalid_tag"),
                                  QStringLiteral("\"tagId\" 须为整数, 0 表示无标签"));
    const qint64 tagId = qint64(tagValue.toDouble());
    if (tagId > 0 && (!room->tag(tagId) || room->tag(tagId)->archived))
        return roomreply::invalid(QStringLiteral("chat.tag_not_found"), QStringLiteral("没有这个标签"));
    ChatMessage *message = room->message(request.captures.at(1));
    if (!message)
        return ApiReply::error(404, QStringLiteral("chat.message_not_found"), QStringLiteral("没有这条消息"));
    const bool own = message->userId == request.userId;
    if (!state->world.roomGrants(*room, request.userId, own ? perm("retag_own_message") : perm("retag_other_messages")))
        return roomreply::forbidden(QStringLiteral("你不能移动这条消息"));
    message->tagId = tagId;
    gateway->publishToChat(room->id, QStringLiteral("im.message.retagged"),
                           QJsonObject{{"roomId", room->id},
                                       {"messageId", message->messageId},
                                       {"tagId", double(tagId)},
                                       {"byUserId", request.userId},
                                       {"changedAt", double(rooms->now())}});
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{});
}

// ---------------------------------------------------------------- tags and the read cursor

ApiReply ChatApi::tags(const ApiRequest &request)
{
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    QJsonArray list;
    for (const ChatTag &tag : room->tags) {
        if (!tag.archived)
            list.append(tagJson(*room, tag));
    }
    return ApiReply::json(200, QJsonObject{{"enabled", room->tagsEnabled}, {"tags", list}});
}

ApiReply ChatApi::createTag(const ApiRequest &request)
{
    if (const ApiReply *before = repeated(request))
        return *before;
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    JsonBody body(request.body);
    const QString name = body.requiredString("name", kMaxTagNameChars).trimmed();
    const QString title = body.requiredString("title", kMaxTitleChars).trimmed();
    const QString content = body.requiredString("content", kMaxContentChars).trimmed();
    const std::optional<QJsonObject> raw = jsonObject(request.body);
    const QStringList ids = raw ? stringList(raw->value(QLatin1String("attachmentIds"))) : QStringList();
    if (!body.ok())
        return body.errorReply();
    if (name.isEmpty() || title.isEmpty() || content.isEmpty())
        return roomreply::invalid(QStringLiteral("chat.invalid_tag"), QStringLiteral("帖子需要标签名、标题和正文"));
    const QString problem = attachmentProblem(ids, request.userId, room->id);
    if (!problem.isEmpty())
        return roomreply::invalid(QStringLiteral("chat.invalid_attachment"), problem);
    if (!room->tagsEnabled)
        return roomreply::invalid(QStringLiteral("chat.tags_disabled"), QStringLiteral("本房间未开启标签"));
    if (!state->world.roomGrants(*room, request.userId, perm("create_tag"))
        || !state->world.roomGrants(*room, request.userId, perm("send_message")))
        return roomreply::forbidden(QStringLiteral("你不能在这里创建标签"));
    if (room->isMuted(request.userId, QStringLiteral("text"), rooms->now()))
        return ApiReply::error(403, QStringLiteral("room.text_muted"), QStringLiteral("你在本房间已被禁言"));
    ChatTag tag{room->nextTagId++, name, request.userId, QString(), false};
    ChatMessage first;
    first.userId = request.userId;
    first.content = content;
    first.title = title;
    first.tagId = tag.tagId;
    first.attachmentIds = ids;
    room->tags.append(tag);
    const ChatMessage &sent = post(*room, first);
    room->tags.last().firstMessageId = sent.messageId;
    gateway->publishToChat(room->id, QStringLiteral("im.tag.created"),
                           QJsonObject{{"roomId", room->id}, {"tagId", double(tag.tagId)}, {"name", name}});
    emit stateChanged();
    return remember(request, ApiReply::json(200, tagJson(*room, room->tags.last())));
}

ApiReply ChatApi::renameTag(const ApiRequest &request)
{
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    JsonBody body(request.body);
    const QString name = body.requiredString("name", kMaxTagNameChars).trimmed();
    if (!body.ok())
        return body.errorReply();
    ChatTag *tag = room->tag(request.captures.at(1).toLongLong());
    if (!tag || tag->archived)
        return ApiReply::error(404, QStringLiteral("chat.tag_not_found"), QStringLiteral("没有这个标签"));
    if (name.isEmpty())
        return roomreply::invalid(QStringLiteral("chat.invalid_tag"), QStringLiteral("标签需要名称"));
    const bool own = tag->createdBy == request.userId;
    if (!state->world.roomGrants(*room, request.userId, own ? perm("edit_own_tag") : perm("edit_other_tags")))
        return roomreply::forbidden(QStringLiteral("你不能重命名这个标签"));
    tag->name = name;
    gateway->publishToChat(room->id, QStringLiteral("im.tag.renamed"),
                           QJsonObject{{"roomId", room->id}, {"tagId", double(tag->tagId)}, {"name", name}});
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChatApi::archiveTag(const ApiRequest &request)
{
    if (const ApiReply *before = repeated(request))
        return *before;
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    const std::optional<QJsonObject> body = jsonObject(request.body);
    if (!body)
        return malformed();
    const QString mode = body->value(QLatin1String("mode")).toString();
    const QJsonValue targetValue = body->value(QLatin1String("targetTagId"));
    const qint64 tagId = request.captures.at(1).toLongLong();
    ChatTag *tag = room->tag(tagId);
    if (!tag || tag->archived)
        return ApiReply::error(404, QStringLiteral("chat.tag_not_found"), QStringLiteral("没有这个标签"));
    if (mode != QLatin1String("purge") && mode != QLatin1String("transfer"))
        return roomreply::invalid(QStringLiteral("chat.invalid_mode"),
                                  QStringLiteral("归档方式须为 \"purge\" 或 \"transfer\""));
    qint64 targetTagId = 0;
    if (mode == QLatin1String("transfer")) {
        if (!targetValue.isUndefined() && !isWholeNumber(targetValue))
            return roomreply::invalid(QStringLiteral("chat.invalid_tag"), QStringLiteral("目标标签须为整数"));
        targetTagId = qint64(targetValue.toDouble());
        if (targetTagId == tagId || (targetTagId > 0 && (!room->tag(targetTagId) || room->tag(targetTagId)->archived)))
            return roomreply::invalid(QStringLiteral("chat.tag_not_found"), QStringLiteral("没有这个目标标签"));
    }
    const bool own = tag->createdBy == request.userId;
    if (!state->world.roomGrants(*room, request.userId, own ? perm("edit_own_tag") : perm("edit_other_tags")))
        return roomreply::forbidden(QStringLiteral("你不能归档这个标签"));
    tag->archived = true;
    for (ChatMessage &m : room->messages) {
        if (m.tagId != tagId)
            continue;
        if (mode == QLatin1String("transfer"))
            m.tagId = targetTagId;
        else
            m.hidden = true;
    }
    QJsonObject data{{"roomId", room->id}, {"tagId", double(tagId)}, {"mode", mode}};
    if (targetTagId > 0)
        data.insert(QStringLiteral("targetTagId"), double(targetTagId));
    gateway->publishToChat(room->id, QStringLiteral("im.tag.archived"), data);
    emit stateChanged();
    return remember(request, ApiReply::json(200, QJsonObject{}));
}

ApiReply ChatApi::tagConfig(const ApiRequest &request)
{
    Room *room = rooms->room(request.captures.at(0));
    if (!room)
        return roomreply::notFound();
    const std::optional<QJsonObject> body = jsonObject(request.body);
    if (!body)
        return malformed();
    if (!body->value(QLatin1String("enabled")).isBool())
        return roomreply::invalid(QStringLiteral("request.field_missing"),
                                  QStringLiteral("\"enabled\" 须为 true 或 false"));
    if (!state->world.roomGrants(*room, request.userId, perm("config_tag_system")))
        return roomreply::forbidden(QStringLiteral("你不能开关标签功能"));
    room->tagsEnabled = body->value(QLatin1String("enabled")).toBool();
    gateway->publishToChat(room->id, QStringLiteral("im.tag_config.changed"),
                           QJsonObject{{"roomId", room->id}, {"enabled", room->tagsEnabled}});
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChatApi::readCursor(const ApiRequest &request)
{
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    const std::optional<QJsonObject> body = jsonObject(request.body);
    if (!body)
        return malformed();
    const QJsonValue tagKey = body->value(QLatin1String("tagKey"));
    const QJsonValue seq = body->value(QLatin1String("seq"));
    if (!isWholeNumber(tagKey) || !isWholeNumber(seq) || tagKey.toDouble() < 0 || seq.toDouble() < 0
        || seq.toDouble() >= double(room->nextSeq))
        return roomreply::invalid(QStringLiteral("chat.invalid_cursor"),
                                  QStringLiteral("标签和序号须为聊天范围内的整数"));
    if (tagKey.toDouble() > 0 && !room->tag(qint64(tagKey.toDouble())))
        return roomreply::invalid(QStringLiteral("chat.tag_not_found"), QStringLiteral("没有这个标签"));
    qint64 &cursor = room->readCursors[request.userId][qint64(tagKey.toDouble())];
    // A cursor only moves forward: a late report of an older position changes nothing.
    cursor = std::max(cursor, qint64(seq.toDouble()));
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChatApi::unread(const ApiRequest &request)
{
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    const QHash<qint64, qint64> cursors = room->readCursors.value(request.userId);
    QMap<qint64, qint64> counts;
    for (const ChatTag &tag : room->tags) {
        if (!tag.archived)
            counts.insert(tag.tagId, 0);
    }
    for (const ChatMessage &m : room->messages) {
        if (m.hidden || m.userId == request.userId || m.tagId == 0 || !counts.contains(m.tagId))
            continue;
        if (m.seq > cursors.value(m.tagId, 0))
            ++counts[m.tagId];
    }
    QJsonArray list;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        list.append(QJsonObject{{"tagKey", double(it.key())}, {"unread", double(it.value())}});
    return ApiReply::json(200, QJsonObject{{"unread", list}});
}

// ---------------------------------------------------------------- images

ApiReply ChatApi::announceAttachment(const ApiRequest &request)
{
    if (const ApiReply *before = repeated(request))
        return *before;
    ApiReply refusal;
    Room *room = readableRoom(request, &refusal);
    if (!room)
        return refusal;
    const std::optional<QJsonObject> body = jsonObject(request.body);
    if (!body)
        return malformed();
    const QString fileName = body->value(QLatin1String("fileName")).toString();
    const QString contentType = body->value(QLatin1String("contentType")).toString();
    const QJsonValue size = body->value(QLatin1String("sizeBytes"));
    const QJsonValue width = body->value(QLatin1String("width"));
    const QJsonValue height = body->value(QLatin1String("height"));
    if (fileName.isEmpty() || fileName.size() > 255 || !kImageTypes.contains(contentType) || !isWholeNumber(size)
        || size.toDouble() <= 0 || size.toDouble() > double(kMaxImageBytes) || !isWholeNumber(width)
        || !isWholeNumber(height) || width.toInt() <= 0 || height.toInt() <= 0 || width.toInt() > 16384
        || height.toInt() > 16384)
        return roomreply::invalid(QStringLiteral("chat.invalid_attachment"),
                                  QStringLiteral("图片需要文件名、支持的格式、不超过 8 MiB 的大小和尺寸"));
    if (!state->world.roomGrants(*room, request.userId, perm("send_message")))
        return roomreply::forbidden(QStringLiteral("你不能在本房间发言"));
    if (room->isMuted(request.userId, QStringLiteral("text"), rooms->now()))
        return ApiReply::error(403, QStringLiteral("room.text_muted"), QStringLiteral("你在本房间已被禁言"));
    ChatAttachment a;
    a.attachmentId = QStringLiteral("a") + QUuid::createUuid().toString(QUuid::Id128).left(20);
    a.roomId = room->id;
    a.ownerId = request.userId;
    a.fileName = fileName;
    a.contentType = contentType;
    a.sizeBytes = qint64(size.toDouble());
    a.width = width.toInt();
    a.height = height.toInt();
    const QString key = TokenIssuer::randomToken(24);
    a.uploadDigest = TokenIssuer::digestOf(key);
    state->world.attachments.insert(a.attachmentId, a);
    emit stateChanged();
    const QString uploadUrl =
        baseUrl() + QStringLiteral("/uploads/chat/") + a.attachmentId + QStringLiteral("?key=") + key;
    return remember(request,
                    ApiReply::json(200, QJsonObject{{"attachmentId", a.attachmentId}, {"uploadUrl", uploadUrl}}));
}

ApiReply ChatApi::uploadAttachment(const ApiRequest &request)
{
    const auto found = state->world.attachments.find(request.captures.at(0));
    const QString key = request.query.queryItemValue(QStringLiteral("key"));
    if (found == state->world.attachments.end() || found->stored || key.isEmpty()
        || !TokenIssuer::sameBytes(TokenIssuer::digestOf(key), found->uploadDigest))
        return ApiReply::error(403, QStringLiteral("chat.upload_refused"), QStringLiteral("上传地址无效"));
    if (request.body.size() != found->sizeBytes)
        return roomreply::invalid(QStringLiteral("chat.upload_size"), QStringLiteral("上传内容与声明的大小不符"));
    const QByteArray type = request.header("Content-Type");
    if (!type.isEmpty() && QString::fromLatin1(type).section(QLatin1Char(';'), 0, 0).trimmed() != found->contentType)
        return roomreply::invalid(QStringLiteral("chat.upload_type"), QStringLiteral("上传内容与声明的类型不符"));
    if (!QDir().mkpath(folder))
        return ApiReply::error(500, QStringLiteral("chat.storage"), QStringLiteral("无法创建上传目录"));
    QSaveFile file(QDir(folder).filePath(found->attachmentId));
    if (!file.open(QIODevice::WriteOnly) || file.write(request.body) != request.body.size() || !file.commit())
        return ApiReply::error(500, QStringLiteral("chat.storage"), QStringLiteral("图片保存失败"));
    found->stored = true;
    found->uploadDigest.clear();
    qCInfo(lcServiceChat).noquote().nospace()
        << "image stored attachment_id=" << found->attachmentId << " bytes=" << request.body.size();
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{});
}

ApiReply ChatApi::serveAttachment(const ApiRequest &request)
{
    const auto found = state->world.attachments.constFind(request.captures.at(0));
    if (found == state->world.attachments.cend() || !found->stored)
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这张图片"));
    QFile file(QDir(folder).filePath(found->attachmentId));
    if (!file.open(QIODevice::ReadOnly))
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这张图片"));
    return ApiReply::bytes(200, file.readAll(), found->contentType.toLatin1());
}

ApiReply ChatApi::serveThumbnail(const ApiRequest &request)
{
    const auto found = state->world.attachments.constFind(request.captures.at(0));
    if (found == state->world.attachments.cend() || !found->stored)
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这张图片"));
    const QDir dir(folder);
    // A JPEG stays a JPEG; anything else (an animation gives its first frame) becomes a PNG.
    const bool jpeg = found->contentType == QLatin1String("image/jpeg");
    const QByteArray type = jpeg ? QByteArrayLiteral("image/jpeg") : QByteArrayLiteral("image/png");
    QFile cached(dir.filePath(found->attachmentId + QStringLiteral(".thumb")));
    if (cached.open(QIODevice::ReadOnly))
        return ApiReply::bytes(200, cached.readAll(), type);
    QFile file(dir.filePath(found->attachmentId));
    if (!file.open(QIODevice::ReadOnly))
        return ApiReply::error(404, QStringLiteral("not_found"), QStringLiteral("没有这张图片"));
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    // An image that already fits, or one that cannot be read (the client cannot read it
    // either), is its own thumbnail.
    const auto original = [&] {
        file.seek(0);
        return ApiReply::bytes(200, file.readAll(), found->contentType.toLatin1());
    };
    if (!size.isValid() || (size.width() <= kThumbnailBox.width() && size.height() <= kThumbnailBox.height()))
        return original();
    reader.setScaledSize(size.scaled(kThumbnailBox, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    const QImage image = reader.read();
    if (image.isNull()) {
        qCWarning(lcServiceChat).noquote().nospace()
            << "thumbnail not made attachment_id=" << found->attachmentId << " reason=" << reader.errorString();
        return original();
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, jpeg ? QByteArrayLiteral("jpg") : QByteArrayLiteral("png"));
    if (!writer.write(image))
        return original();
    QSaveFile store(cached.fileName());
    if (!store.open(QIODevice::WriteOnly) || store.write(bytes) != bytes.size() || !store.commit())
        qCWarning(lcServiceChat).noquote().nospace() << "thumbnail not kept attachment_id=" << found->attachmentId;
    qCInfo(lcServiceChat).noquote().nospace() << "thumbnail made attachment_id=" << found->attachmentId
                                              << " width=" << image.width() << " height=" << image.height();
    return ApiReply::bytes(200, bytes, type);
}

} // namespace localservice
