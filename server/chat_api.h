#pragma once

#include "api_router.h"
#include "room_world.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

namespace localservice {

class GatewayHub;
class RoomsApi;
struct ServiceState;

// The chat endpoints: the user's followed chats ("/v1/users/me/chat-subscriptions"),
// and per room under "/v1/im/rooms/<id>" the messages with their sequence numbers and
// history pages, hiding, tags and the tag switch, the read cursor with unread counts,
// and image attachments. An attachment is announced first (a ticket with a one-time
// upload URL), then its bytes are PUT to that URL and stored in the upload folder; the
// asset host serves them back under "/assets/chat/<id>", and a scaled-down copy under
// "/assets/chat/<id>/thumb". Messages reach the sessions
// subscribed to the room's chat as "im.*" events. GUI thread only.
class ChatApi : public QObject
{
    Q_OBJECT
public:
    ChatApi(ServiceState *state, GatewayHub *gateway, RoomsApi *rooms, QString uploadFolder,
            std::function<QString()> baseUrl, QObject *parent = nullptr);

    void addRoutes(ApiRouter &router);
    QString uploadFolder() const { return folder; }

    static constexpr qint64 kMaxImageBytes = 8 * 1024 * 1024;

signals:
    void stateChanged();

private:
    ApiReply subscriptions(const ApiRequest &request);
    ApiReply setSubscription(const ApiRequest &request, bool on);
    ApiReply history(const ApiRequest &request);
    ApiReply send(const ApiRequest &request);
    ApiReply hide(const ApiRequest &request);
    ApiReply retag(const ApiRequest &request);
    ApiReply tags(const ApiRequest &request);
    ApiReply createTag(const ApiRequest &request);
    ApiReply renameTag(const ApiRequest &request);
    ApiReply archiveTag(const ApiRequest &request);
    ApiReply tagConfig(const ApiRequest &request);
    ApiReply readCursor(const ApiRequest &request);
    ApiReply unread(const ApiRequest &request);
    ApiReply announceAttachment(const ApiRequest &request);
    ApiReply uploadAttachment(const ApiRequest &request);
    ApiReply serveAttachment(const ApiRequest &request);
    // A copy that fits the largest box the client shows an image in, made once and
    // kept beside the image.
    ApiReply serveThumbnail(const ApiRequest &request);

    // The room, when the caller may read its chat; otherwise the refusal.
    Room *readableRoom(const ApiRequest &request, ApiReply *refusal);
    // Appends a message and announces it; checks are the caller's.
    const ChatMessage &post(Room &room, ChatMessage message);
    QJsonObject messageJson(const Room &room, const ChatMessage &message) const;
    QJsonObject tagJson(const Room &room, const ChatTag &tag) const;
    // The reply given before to the same "Idempotency-Key" of the same user, if any.
    const ApiReply *repeated(const ApiRequest &request) const;
    ApiReply remember(const ApiRequest &request, ApiReply reply);
    // Checks attachment ids for a message of `userId` in `roomId`; empty when fine.
    QString attachmentProblem(const QStringList &ids, const QString &userId, const QString &roomId) const;

    ServiceState *state;
    GatewayHub *gateway;
    RoomsApi *rooms;
    QString folder;
    std::function<QString()> baseUrl;
    QHash<QString, ApiReply> idempotentReplies; // user id + key -> reply; memory only
};

} // namespace localservice
