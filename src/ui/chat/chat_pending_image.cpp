#include "ui/chat/chat_pending_image.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

namespace {
const int pendingImageListType = qRegisterMetaType<QList<ChatPendingImage>>("QList<ChatPendingImage>");
}

QString sniffImageMime(const QString &path)
{
    Q_UNUSED(pendingImageListType);
    const QByteArray format = QImageReader::imageFormat(path).toLower();
    if (format == "jpeg" || format == "jpg")
        return QStringLiteral("image/jpeg");
    if (format == "png")
        return QStringLiteral("image/png");
    if (format == "gif")
        return QStringLiteral("image/gif");
    if (format == "webp")
        return QStringLiteral("image/webp");
    return {};
}

PendingImageIntake loadPendingImages(const QStringList &paths, int alreadyAttached)
{
    PendingImageIntake intake;
    for (const QString &path : paths) {
        if (alreadyAttached + intake.images.size() >= chatimages::kMaxImagesPerMessage) {
            intake.rejects.append(QStringLiteral("超出单条 %1 张上限").arg(chatimages::kMaxImagesPerMessage));
            break;
        }
        const QFileInfo info(path);
        const QString mime = sniffImageMime(path);
        if (mime.isEmpty()) {
            intake.rejects.append(info.fileName() + QStringLiteral(" (不支持的格式)"));
            continue;
        }
        if (info.size() > chatimages::kMaxImageFileBytes) {
            intake.rejects.append(info.fileName() + QStringLiteral(" (超过 10 MB)"));
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            intake.rejects.append(info.fileName() + QStringLiteral(" (读取失败)"));
            continue;
        }
        ChatPendingImage image;
        // Read no more than the cap even if the file grew after the size check.
        image.data = file.read(chatimages::kMaxImageFileBytes + 1);
        if (image.data.size() > chatimages::kMaxImageFileBytes) {
            intake.rejects.append(info.fileName() + QStringLiteral(" (超过 10 MB)"));
            continue;
        }
        image.fileName = info.fileName();
        image.mime = mime;
        const QSize size = QImageReader(path).size();
        if (size.isValid()) {
            image.width = size.width();
            image.height = size.height();
        }
        intake.images.append(image);
    }
    return intake;
}

ChatPendingImage pendingImageFromClipboard(const QImage &image, const QString &fileName)
{
    ChatPendingImage pending;
    pending.fileName = fileName;
    pending.mime = QStringLiteral("image/png");
    pending.width = image.width();
    pending.height = image.height();
    QBuffer buffer(&pending.data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", -1);
    return pending;
}
