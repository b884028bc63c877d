#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

class QImage;

// An image held for upload with a chat message: the encoded bytes exactly as
// they will be uploaded, and what the upload record needs to describe them.
struct ChatPendingImage
{
    QString fileName; // without its folder
    QByteArray data;  // the encoded image
    QString mime;     // "image/jpeg", "image/png", "image/gif" or "image/webp"
    int width = 0;    // 0 when unreadable
    int height = 0;
};

// What the file intake accepted and, one line per file, what it refused.
struct PendingImageIntake
{
    QList<ChatPendingImage> images;
    QStringList rejects;
};

namespace chatimages {
constexpr int kMaxImagesPerMessage = 4;
constexpr qint64 kMaxImageFileBytes = 10 * 1024 * 1024;
} // namespace chatimages

// The MIME type of the file's content (never its extension alone), or an empty
// string when it is not JPEG, PNG, GIF or WebP or cannot be read.
QString sniffImageMime(const QString &path);

// Reads the picked or dropped files in order, within the per-message count (counting
// `alreadyAttached`), the per-file size and the format limits.
PendingImageIntake loadPendingImages(const QStringList &paths, int alreadyAttached);

// A pasted image, always encoded as PNG.
ChatPendingImage pendingImageFromClipboard(const QImage &image, const QString &fileName);

Q_DECLARE_METATYPE(ChatPendingImage)
Q_DECLARE_METATYPE(QList<ChatPendingImage>)
