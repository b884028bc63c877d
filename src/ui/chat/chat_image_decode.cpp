#include "ui/chat/chat_image_decode.h"

#include "ui/chat/chat_image_loader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QPointer>
#include <QThreadPool>

namespace {

QImage fitted(QImage image, QSize fitInto)
{
    if (!image.isNull() && fitInto.isValid() && !fitInto.isEmpty()
        && (image.width() > fitInto.width() || image.height() > fitInto.height()))
        image = image.scaled(fitInto, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

// The result goes to the application object, on the GUI thread, and from there to
// `done` if the context still exists: the pool task never touches the context itself.
void deliver(QPointer<QObject> context, std::function<void(const QImage &)> done, const QImage &image)
{
    if (QCoreApplication *app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app,
            [context, done = std::move(done), image] {
                if (context)
                    done(image);
            },
            Qt::QueuedConnection);
    }
}

} // namespace

QImage decodeImageBounded(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > ChatImageLoader::kMaxDecodedPixels)
        return {};
    return reader.read();
}

void decodeImageInBackground(const QByteArray &bytes, QSize fitInto, QObject *context,
                             std::function<void(const QImage &image)> done)
{
    QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([bytes, fitInto, guard, done = std::move(done)]() mutable {
        deliver(guard, std::move(done), fitted(decodeImageBounded(bytes), fitInto));
    });
}

void scaleImageInBackground(const QImage &image, QSize fitInto, QObject *context,
                            std::function<void(const QImage &image)> done)
{
    QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([image, fitInto, guard, done = std::move(done)]() mutable {
        deliver(guard, std::move(done), fitted(image, fitInto));
    });
}
