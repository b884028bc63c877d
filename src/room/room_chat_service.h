#pragma once

#include "realtime/events/chat_events.h"
#include "room/room_chat_buffer.h"
#include "room/room_error.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class ActiveRoomSession;
class IHttpClient;
class IRawUploader;
struct HttpResponse;

// The client side of the rooms' text chat: which rooms' chats are followed at any
// moment (the active room, its parent, the selected room and the rooms the user
// follows on the server), a buffer of recent messages per followed room, history
// pages, sending, hiding and retagging. It never echoes a sent message: messages
// reach the buffers and the views only through the realtime events. GUI thread only.
class RoomChatService : public QObject
{
    Q_OBJECT

public:
    // Why a room's chat is subscribed; a room has the first role that applies.
    enum SubscriptionRole : int {
        ActiveRole = 0,   // the room the user is in
        ParentRole = 1,   // the parent of the active sub-room
        SelectedRole = 2, // the room picked in a room panel
        FollowedRole = 3, // a room the user follows on the server
    };

    struct Subscription
    {
        QString roomId;
        int role = ActiveRole;

        bool operator==(const Subscription &) const = default;
    };

    using RoomBuffer = RoomChatBuffer;

    // One tag (thread) of a room's chat, with the user's unread count in it.
    struct ChatTagInfo
    {
        qint64 tagId = 0;
        QString name;
        QString createdBy;
        QString firstMessageId;
        qint64 messageCount = 0;
        qint64 lastSeq = 0;
        qint64 lastMessageAt = 0;
        QString firstTitle;
        QString firstUserId;
        QString firstContent;
        bool firstHidden = false;
        qint64 unread = 0;

        bool operator==(const ChatTagInfo &) const = default;
    };

    // One image to upload.
    struct LocalImage
    {
        QString fileName;
        QByteArray data; // the encoded bytes, uploaded unchanged
        QString mime;    // "image/jpeg", "image/png", "image/gif" or "image/webp"
        int width = 0;
        int height = 0;
    };

    // How the final message or tag post of a batch ended: sent, or the reason it was not.
    using PostDone = std::function<void(bool sent, const QString &failureReason)>;

    // One upload in progress, shared by the callbacks of its current request only.
    struct UploadBatch
    {
        QString roomId;
        QString batchId;
        QList<LocalImage> images;
        QList<QString> attachmentIds; // of the images stored so far, in order
        int nextIndex = 0;
        qint64 uploadedBytes = 0;
        qint64 totalBytes = 0;
        // Sends the message or the tag post once every image is stored.
        std::function<void(const QList<QString> &attachmentIds, PostDone done)> onAllUploaded;
    };

    // Nothing is owned; `uploader` may be null (image uploads then fail at once).
    RoomChatService(IHttpClient *http, IRawUploader *uploader, ActiveRoomSession *session, QObject *parent = nullptr);
    ~RoomChatService() override;

    // The subscription list, in reconciliation order.
    const QList<Subscription> &subscriptions() const { return subs; }
    // The rooms the user follows on the server, in the server's order.
    const QStringList &followedRoomIds() const { return followed; }
    // Room id to the display name given when the room was followed.
    const QHash<QString, QString> &displayNames() const { return names; }
    // The display name given when the room's chat was followed; empty when none.
    QString subscribedRoomName(const QString &roomId) const { return names.value(roomId); }
    bool hasSubscription(const QString &roomId) const;
    // The room's buffer, or null when the service holds none for it.
    const RoomBuffer *buffer(const QString &roomId) const;

    // Subscriptions.
    void fetchSubscriptions();
    void subscribeRoomChat(const QString &roomId, const QString &displayName);
    void unsubscribeRoomChat(const QString &roomId);
    void setSelectedRoom(const QString &roomId);
    void onActiveRoomChanged();
    void reset();
    // How long a failed load of the followed rooms waits before it is tried again.
    void setSubscriptionRetryMs(int ms);
    // Whether a failed load of the followed rooms waits for its retry.
    bool isSubscriptionRetryScheduled() const { return subscriptionRetryTimer.isActive(); }

    // History.
    void onFeedActivated(const QString &roomId);
    void loadOlder(const QString &roomId, qlonglong beforeSeq);
    void loadTagHistory(const QString &roomId, qlonglong tagId, qlonglong afterSeq);
    // Keeps the buffer ordered and bounded (see bufferChatMessage).
    static void bufferMessage(RoomBuffer &buffer, const ImMessageSentEvent &msg) { bufferChatMessage(buffer, msg); }

    // Sending, hiding, retagging.
    void sendMessage(const QString &roomId, const QString &content, qlonglong tagId, const QString &title);
    void hideMessage(const QString &roomId, const QString &messageId);
    void retagMessage(const QString &roomId, const QString &messageId, qlonglong tagId);

    // Tags, tag configuration and read cursor.
    void refreshTags(const QString &roomId);
    void createTag(const QString &roomId, const QString &tagName, const QString &title, const QString &content);
    void renameTag(const QString &roomId, qlonglong tagId, const QString &name);
    void archiveTag(const QString &roomId, qlonglong tagId, const QString &mode, qlonglong targetTagId);
    void setTagConfig(const QString &roomId, bool enabled);
    void reportTagOpened(const QString &roomId, qlonglong tagId, qlonglong lastSeq);

    // Image uploads: the images one by one, then the message or the tag post.
    void uploadAndSend(const QString &roomId, const QString &batchId, const QList<LocalImage> &images,
                       const QString &content, qlonglong tagId, const QString &title);
    void uploadAndPost(const QString &roomId, const QString &batchId, const QList<LocalImage> &images,
                       const QString &tagName, const QString &title, const QString &content);
    // The batch stops before its next step.
    void cancelUpload(const QString &batchId);

    // Realtime chat traffic. The version is not used.
    void handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64 version = 0);
    void onResync();

signals:
    void subscribeRequested(QString roomId);
    void unsubscribeRequested(QString roomId);
    void feedsChanged();
    void historyLoaded(QString roomId, QList<ImMessageSentEvent> messages);
    void olderLoaded(QString roomId, QList<ImMessageSentEvent> messages);
    void messageReceived(QString roomId, ImMessageSentEvent msg);
    void messageHidden(QString roomId, QString messageId);
    void messageRetagged(QString roomId, QString messageId, qlonglong tagId);
    void chatCleared(QString roomId);
    void gapMarked(QString roomId, qlonglong gapBeforeSeq);
    void tagsChanged(QString roomId, bool enabled, QList<RoomChatService::ChatTagInfo> tags);
    void tagHistoryLoaded(QString roomId, qlonglong tagId, qlonglong afterSeq, QList<ImMessageSentEvent> messages);
    void sendFailed(RoomErrorCode code, QString msg);
    // Once per sendMessage call: whether the server took the message (it is shown when
    // its event arrives) or not (nothing was sent, or the send failed after sendFailed).
    void sendFinished(QString roomId, bool sent);
    void uploadProgress(QString roomId, QString batchId, int percent);
    void uploadFinished(QString roomId, QString batchId);
    void uploadFailed(QString roomId, QString batchId, QString reason);

private:
    void reconcileSubscriptions();
    void requestSubscriptions();
    void onSubscriptionsLoaded(const HttpResponse &response);
    void refreshLatest(const QString &roomId);
    void fetchHistory(const QString &roomId, qlonglong beforeSeq);
    void rebuildFeed(const QString &roomId);
    void postSimpleAction(const QString &roomId, const QString &label, const QString &path, const QJsonObject &body,
                          bool usePatch, bool idempotent, PostDone done = {});
    void sendWithAttachments(const QString &roomId, const QString &content, qlonglong tagId, const QString &title,
                             const QList<QString> &attachmentIds, PostDone done = {});
    void fetchTags(const QString &roomId);
    void startBatch(const QString &roomId, const QString &batchId, const QList<LocalImage> &images,
                    std::function<void(const QList<QString> &, PostDone)> onAllUploaded);
    void uploadNext(const std::shared_ptr<UploadBatch> &batch);
    void uploadImage(const std::shared_ptr<UploadBatch> &batch, const QString &attachmentId, const QString &uploadUrl);
    void failBatch(const std::shared_ptr<UploadBatch> &batch, const QString &reason);

    IHttpClient *http = nullptr;
    IRawUploader *uploader = nullptr;
    ActiveRoomSession *session = nullptr;
    QList<Subscription> subs;
    QStringList followed;
    QString selectedRoomId;
    QHash<QString, QString> names;
    QHash<QString, RoomBuffer> buffers;
    QString activeFeedRoomId;
    bool signedIn = false;
    QSet<QString> cancelledBatchIds;
    // One retry timer and a load counter: repeated loads, or a logout and a new
    // login, never run two retry loops, and an older reply never overwrites a newer list.
    QTimer subscriptionRetryTimer;
    int subscriptionGeneration = 0;
};

Q_DECLARE_METATYPE(RoomChatService::Subscription)
Q_DECLARE_METATYPE(RoomChatService::ChatTagInfo)
Q_DECLARE_METATYPE(RoomChatService::LocalImage)
