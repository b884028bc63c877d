#include "room/room_chat_service.h"

#include "net/api_path.h"
#include "net/i_http_client.h"
#include "room/active_room_session.h"
#include "room/room_logging.h"
#include "room/room_request.h"
#include "room/room_view_model.h"

#include <QJsonArray>
#include <QPointer>

namespace {

constexpr int kSubscriptionRetryMs = 5000;

} // namespace

RoomChatService::RoomChatService(IHttpClient *http_, IRawUploader *uploader_, ActiveRoomSession *session_,
                                 QObject *parent)
    : QObject(parent)
    , http(http_)
    , uploader(uploader_)
    , session(session_)
{
    qRegisterMetaType<RoomErrorCode>();
    qRegisterMetaType<ImMessageSentEvent>();
    qRegisterMetaType<QList<ImMessageSentEvent>>();
    qRegisterMetaType<RoomChatService::ChatTagInfo>("RoomChatService::ChatTagInfo");
    qRegisterMetaType<QList<RoomChatService::ChatTagInfo>>("QList<RoomChatService::ChatTagInfo>");
    subscriptionRetryTimer.setSingleShot(true);
    subscriptionRetryTimer.setInterval(kSubscriptionRetryMs);
    connect(&subscriptionRetryTimer, &QTimer::timeout, this, [this] {
        if (signedIn)
            requestSubscriptions();
    });
}

RoomChatService::~RoomChatService() = default;

bool RoomChatService::hasSubscription(const QString &roomId) const
{
    return std::any_of(subs.cbegin(), subs.cend(), [&roomId](const Subscription &s) { return s.roomId == roomId; });
}

const RoomChatService::RoomBuffer *RoomChatService::buffer(const QString &roomId) const
{
    const auto it = buffers.constFind(roomId);
    return it == buffers.cend() ? nullptr : &*it;
}

void RoomChatService::setSubscriptionRetryMs(int ms)
{
    subscriptionRetryTimer.setInterval(std::max(ms, 0));
}

void RoomChatService::reconcileSubscriptions()
{
    QList<Subscription> desired;
    const auto add = [&desired](const QString &roomId, int role) {
        if (roomId.isEmpty())
            return;
        for (const Subscription &s : std::as_const(desired)) {
            if (s.roomId == roomId)
                return;
        }
        desired.append(Subscription{roomId, role});
    };
    if (RoomViewModel *active = session ? session->currentViewModel() : nullptr) {
        add(active->roomId(), ActiveRole);
        add(active->parentRoomId(), ParentRole);
    }
    add(selectedRoomId, SelectedRole);
    for (const QString &id : std::as_const(followed))
        add(id, FollowedRole);

    if (desired == subs)
        return;

    const auto contains = [](const QList<Subscription> &list, const QString &roomId) {
        return std::any_of(list.cbegin(), list.cend(), [&roomId](const Subscription &s) { return s.roomId == roomId; });
    };
    const QList<Subscription> old = subs;
    for (const Subscription &s : old) {
        if (contains(desired, s.roomId))
            continue;
        emit unsubscribeRequested(s.roomId);
        emit chatCleared(s.roomId);
        buffers.remove(s.roomId);
    }
    for (const Subscription &s : std::as_const(desired)) {
        if (contains(old, s.roomId))
            continue;
        qCInfo(lcRoomChat).nospace() << "chat subscribing room_id=" << s.roomId << " role=" << s.role;
        emit subscribeRequested(s.roomId);
    }
    subs = desired;
    emit feedsChanged();
}

void RoomChatService::fetchSubscriptions()
{
    signedIn = true;
    requestSubscriptions();
}

void RoomChatService::requestSubscriptions()
{
    // This load supersedes every earlier one and its retry.
    const int generation = ++subscriptionGeneration;
    subscriptionRetryTimer.stop();
    RoomRequest request;
    request.method = HttpMethod::Get;
    request.path = QStringLiteral("/v1/users/me/chat-subscriptions");
    request.failureLead = QStringLiteral("chat subscriptions fetch failed");
    request.detail = FailureDetail::NetError;
    request.stillWanted = [this, generation] { return signedIn && generation == subscriptionGeneration; };
    sendRoomRequest(
        http, lcRoomChat, this, std::move(request),
        [this](const HttpResponse &response) { onSubscriptionsLoaded(response); },
        [this](const RoomRequestError &) { subscriptionRetryTimer.start(); });
}

void RoomChatService::onSubscriptionsLoaded(const HttpResponse &response)
{
    QStringList rooms;
    const QJsonArray array = response.json.value(QLatin1String("rooms")).toArray();
    for (const QJsonValue &element : array) {
        const QString id = element.toString();
        if (!id.isEmpty())
            rooms.append(id);
    }
    followed = rooms;
    qCInfo(lcRoomChat).nospace() << "chat subscriptions loaded count=" << followed.size();
    reconcileSubscriptions();
}

void RoomChatService::subscribeRoomChat(const QString &roomId, const QString &displayName)
{
    if (roomId.isEmpty())
        return;
    RoomRequest request;
    request.method = HttpMethod::Put;
    request.path = apiPath(QStringLiteral("/v1/users/me/chat-subscriptions/%1"), {roomId});
    request.failureLead = logText("chat subscribe failed room_id=", roomId);
    request.detail = FailureDetail::Code;
    sendRoomRequest(
        http, lcRoomChat, this, std::move(request),
        [this, roomId, displayName](const HttpResponse &) {
            if (!displayName.isEmpty())
                names.insert(roomId, displayName);
            if (!followed.contains(roomId))
                followed.append(roomId);
            reconcileSubscriptions();
        },
        [this](const RoomRequestError &error) { emit sendFailed(error.code, error.message); });
}

void RoomChatService::unsubscribeRoomChat(const QString &roomId)
{
    if (roomId.isEmpty())
        return;
    RoomRequest request;
    request.method = HttpMethod::Delete;
    request.path = apiPath(QStringLiteral("/v1/users/me/chat-subscriptions/%1"), {roomId});
    request.failureLead = logText("chat unsubscribe failed room_id=", roomId);
    request.detail = FailureDetail::Code;
    sendRoomRequest(
        http, lcRoomChat, this, std::move(request),
        [this, roomId](const HttpResponse &) {
            followed.removeAll(roomId);
            names.remove(roomId);
            reconcileSubscriptions();
        },
        [this](const RoomRequestError &error) { emit sendFailed(error.code, error.message); });
}

void RoomChatService::setSelectedRoom(const QString &roomId)
{
    if (roomId == selectedRoomId)
        return;
    selectedRoomId = roomId;
    reconcileSubscriptions();
}

void RoomChatService::onActiveRoomChanged()
{
    reconcileSubscriptions();
}

void RoomChatService::reset()
{
    signedIn = false;
    // Replies in flight and a waiting retry belong to the previous user.
    ++subscriptionGeneration;
    subscriptionRetryTimer.stop();
    followed.clear();
    selectedRoomId.clear();
    names.clear();
    buffers.clear();
    activeFeedRoomId.clear();
    reconcileSubscriptions();
}

void RoomChatService::sendMessage(const QString &roomId, const QString &content, qlonglong tagId, const QString &title)
{
    const QString text = content.trimmed();
    const QString trimmedTitle = title.trimmed();
    if (text.isEmpty() || !hasSubscription(roomId)) {
        emit sendFinished(roomId, false);
        return;
    }
    QJsonObject body{{QStringLiteral("content"), text}};
    if (tagId > 0)
        body.insert(QStringLiteral("tagId"), tagId);
    if (!trimmedTitle.isEmpty())
        body.insert(QStringLiteral("title"), trimmedTitle);

    RoomRequest request;
    request.method = HttpMethod::Post;
    request.path = apiPath(QStringLiteral("/v1/im/rooms/%1/messages"), {roomId});
    request.body = body;
    request.options = idempotentRequestOptions();
    request.failureLead = logText("chat send failed room_id=", roomId);
    // No local echo: the message appears when its "im.message.sent" event arrives.
    sendRoomRequest(
        http, lcRoomChat, this, std::move(request),
        [this, roomId](const HttpResponse &) { emit sendFinished(roomId, true); },
        [this, roomId](const RoomRequestError &error) {
            emit sendFailed(error.code, error.message);
            emit sendFinished(roomId, false);
        });
}

void RoomChatService::hideMessage(const QString &roomId, const QString &messageId)
{
    if (roomId.isEmpty() || messageId.isEmpty() || !hasSubscription(roomId))
        return;
    RoomRequest request;
    request.method = HttpMethod::Patch;
    request.path = apiPath(QStringLiteral("/v1/im/rooms/%1/messages/%2"), {roomId, messageId});
    request.body = QJsonObject{{QStringLiteral("hidden"), true}};
    request.failureLead = logText("chat hide failed room_id=", roomId, " message_id=", messageId);
    request.detail = FailureDetail::Code;
    sendRoomRequest(http, lcRoomChat, this, std::move(request), {},
                    [this](const RoomRequestError &error) { emit sendFailed(error.code, error.message); });
}

void RoomChatService::retagMessage(const QString &roomId, const QString &messageId, qlonglong tagId)
{
    if (messageId.isEmpty() || tagId < 0 || !hasSubscription(roomId))
        return;
    postSimpleAction(roomId, QStringLiteral("retag message"),
                     apiPath(QStringLiteral("/v1/im/rooms/%1/messages/%2/tag"), {roomId, messageId}),
                     QJsonObject{{QStringLiteral("tagId"), tagId}}, true, false);
}

void RoomChatService::postSimpleAction(const QString &roomId, const QString &label, const QString &path,
                                       const QJsonObject &body, bool usePatch, bool idempotent, PostDone done)
{
    RoomRequest request;
    request.method = usePatch ? HttpMethod::Patch : HttpMethod::Post;
    request.path = path;
    request.body = body;
    if (!usePatch && idempotent)
        request.options = idempotentRequestOptions();
    request.failureLead = label + logText(" failed room_id=", roomId);
    sendRoomRequest(
        http, lcRoomChat, this, std::move(request),
        [done](const HttpResponse &) {
            if (done)
                done(true, QString());
        },
        [this, done](const RoomRequestError &error) {
            emit sendFailed(error.code, error.message);
            if (done)
                done(false, error.message);
        });
}

void RoomChatService::sendWithAttachments(const QString &roomId, const QString &content, qlonglong tagId,
                                          const QString &title, const QList<QString> &attachmentIds, PostDone done)
{
    if (!hasSubscription(roomId)) {
        if (done)
            done(false, QString());
        return;
    }
    QJsonObject body{{QStringLiteral("content"), content},
                     {QStringLiteral("attachmentIds"), QJsonArray::fromStringList(attachmentIds)}};
    if (tagId > 0)
        body.insert(QStringLiteral("tagId"), tagId);
    if (!title.isEmpty())
        body.insert(QStringLiteral("title"), title);

    RoomRequest request;
    request.method = HttpMethod::Post;
    request.path = apiPath(QStringLiteral("/v1/im/rooms/%1/messages"), {roomId});
    request.body = body;
    request.options = idempotentRequestOptions();
    request.failureLead = logText("chat send (attachments) failed room_id=", roomId);
    request.detail = FailureDetail::Code;
    sendRoomRequest(
        http, lcRoomChat, this, std::move(request),
        [done](const HttpResponse &) {
            if (done)
                done(true, QString());
        },
        [this, done](const RoomRequestError &error) {
            emit sendFailed(error.code, error.message);
            if (done)
                done(false, error.message);
        });
}
