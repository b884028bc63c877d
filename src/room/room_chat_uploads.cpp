// The image uploads of RoomChatService: each image takes an attachment ticket and a
// raw PUT of its bytes; once all are stored the message or the tag post goes out.
#include "room/room_chat_service.h"

#include "net/api_path.h"
#include "net/http_reply.h"
#include "net/i_http_client.h"
#include "net/i_raw_uploader.h"
#include "room/room_logging.h"
#include "room/room_request.h"

#include <QJsonArray>
#include <QPointer>

#include <algorithm>

namespace {

constexpr int kImagePutTimeoutMs = 120000;

// Shown on the batch's card when its final message or tag post did not go out.
const char *const kPostFailedReason = "消息发送失败，请稍后重试";

} // namespace

void RoomChatService::uploadAndSend(const QString &roomId, const QString &batchId, const QList<LocalImage> &images,
                                    const QString &content, qlonglong tagId, const QString &title)
{
    if (images.isEmpty() || !hasSubscription(roomId))
        return;
    const QString text = content.trimmed();
    const QString trimmedTitle = title.trimmed();
    startBatch(roomId, batchId, images,
               [this, roomId, text, tagId, trimmedTitle](const QList<QString> &ids, PostDone done) {
                   sendWithAttachments(roomId, text, tagId, trimmedTitle, ids, std::move(done));
               });
}

void RoomChatService::uploadAndPost(const QString &roomId, const QString &batchId, const QList<LocalImage> &images,
                                    const QString &tagName, const QString &title, const QString &content)
{
    const QString name = tagName.trimmed();
    const QString trimmedTitle = title.trimmed();
    const QString text = content.trimmed();
    if (images.isEmpty() || name.isEmpty() || trimmedTitle.isEmpty() || text.isEmpty() || !hasSubscription(roomId))
        return;
    startBatch(roomId, batchId, images,
               [this, roomId, name, trimmedTitle, text](const QList<QString> &ids, PostDone done) {
                   const QJsonObject body{{QStringLiteral("name"), name},
                                          {QStringLiteral("title"), trimmedTitle},
                                          {QStringLiteral("content"), text},
                                          {QStringLiteral("attachmentIds"), QJsonArray::fromStringList(ids)}};
                   postSimpleAction(roomId, QStringLiteral("create post"),
                                    apiPath(QStringLiteral("/v1/im/rooms/%1/tags"), {roomId}), body, false, true,
                                    std::move(done));
               });
}

void RoomChatService::cancelUpload(const QString &batchId)
{
    cancelledBatchIds.insert(batchId);
}

void RoomChatService::startBatch(const QString &roomId, const QString &batchId, const QList<LocalImage> &images,
                                 std::function<void(const QList<QString> &, PostDone)> onAllUploaded)
{
    auto batch = std::make_shared<UploadBatch>();
    batch->roomId = roomId;
    batch->batchId = batchId;
    batch->images = images;
    for (const LocalImage &image : images)
        batch->totalBytes += image.data.size();
    batch->onAllUploaded = std::move(onAllUploaded);
    uploadNext(batch);
}

void RoomChatService::uploadNext(const std::shared_ptr<UploadBatch> &batch)
{
    if (cancelledBatchIds.remove(batch->batchId))
        return; // dropped without a signal
    if (!uploader) {
        failBatch(batch, QStringLiteral("图片功能不可用"));
        return;
    }
    if (batch->nextIndex >= batch->images.size()) {
        emit uploadProgress(batch->roomId, batch->batchId, 100);
        // The batch is finished only once the message carrying its images was
        // accepted; until then the views keep showing the images.
        QPointer<RoomChatService> self(this);
        batch->onAllUploaded(batch->attachmentIds, [self, batch](bool sent, const QString &failureReason) {
            if (!self)
                return;
            if (sent)
                emit self->uploadFinished(batch->roomId, batch->batchId);
            else
                self->failBatch(batch, failureReason.isEmpty() ? QString::fromUtf8(kPostFailedReason) : failureReason);
        });
        return;
    }

    const LocalImage &image = batch->images.at(batch->nextIndex);
    const QJsonObject body{{QStringLiteral("fileName"), image.fileName},
                           {QStringLiteral("contentType"), image.mime},
                           {QStringLiteral("sizeBytes"), qint64(image.data.size())},
                           {QStringLiteral("width"), image.width},
                           {QStringLiteral("height"), image.height}};
    QPointer<RoomChatService> self(this);
    // The batch's warning is the one failure line of a ticket.
    http->post(
        apiPath(QStringLiteral("/v1/im/rooms/%1/attachments"), {batch->roomId}), body,
        [self, batch](const HttpResponse &response) {
            if (!self)
                return;
            if (isFailedReply(response)) {
                const QString message = errorMessageOf(response);
                self->failBatch(batch, message.isEmpty() ? QStringLiteral("网络错误") : message);
                return;
            }
            const QString attachmentId = response.json.value(QLatin1String("attachmentId")).toString();
            const QString uploadUrl = response.json.value(QLatin1String("uploadUrl")).toString();
            if (attachmentId.isEmpty() || uploadUrl.isEmpty()) {
                self->failBatch(batch, QStringLiteral("上传票响应异常"));
                return;
            }
            self->uploadImage(batch, attachmentId, uploadUrl);
        },
        idempotentRequestOptions());
}

void RoomChatService::uploadImage(const std::shared_ptr<UploadBatch> &batch, const QString &attachmentId,
                                  const QString &uploadUrl)
{
    const LocalImage &image = batch->images.at(batch->nextIndex);
    QPointer<RoomChatService> self(this);
    uploader->rawPut(
        uploadUrl, image.data, image.mime.toUtf8(),
        [self, batch, attachmentId](const HttpResponse &response) {
            if (!self)
                return;
            if (!response.isSuccess()) {
                self->failBatch(batch, response.timedOut ? QStringLiteral("上传超时") : QStringLiteral("上传失败"));
                return;
            }
            batch->attachmentIds.append(attachmentId);
            batch->uploadedBytes += batch->images.at(batch->nextIndex).data.size();
            ++batch->nextIndex;
            self->uploadNext(batch);
        },
        [self, batch](qint64 sent, qint64) {
            if (!self || batch->totalBytes <= 0)
                return;
            const qint64 percent = std::min<qint64>((batch->uploadedBytes + sent) * 100 / batch->totalBytes, 99);
            emit self->uploadProgress(batch->roomId, batch->batchId, int(percent));
        },
        kImagePutTimeoutMs);
}

void RoomChatService::failBatch(const std::shared_ptr<UploadBatch> &batch, const QString &reason)
{
    qCWarning(lcRoomChat).nospace() << "attachment upload failed room_id=" << batch->roomId
                                    << " batch=" << batch->batchId << " index=" << batch->nextIndex
                                    << " reason=" << reason;
    emit uploadFailed(batch->roomId, batch->batchId, reason);
}
