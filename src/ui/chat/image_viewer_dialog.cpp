#include "ui/chat/image_viewer_dialog.h"

#include "ui/chat/chat_image_decode.h"

#include "net/i_raw_downloader.h"
#include "ui/chat/chat_image_loader.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QMovie>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char *const kTextStyle = "color:rgba(255,255,255,0.85);font-size:13px;";

QString statusHtml(const QString &text)
{
    return QStringLiteral("<span style=\"%1\">%2</span>").arg(QLatin1String(kTextStyle), text);
}

QPushButton *textButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton{background:transparent;border:none;%1}"
                                         "QPushButton:hover{color:#ffffff;}")
                              .arg(QLatin1String(kTextStyle)));
    return button;
}

} // namespace

ImageViewerDialog::ImageViewerDialog(IRawDownloader *downloader_, const QString &url_, const QString &name_,
                                     qint64 sizeBytes_, const QString &contentType_, QWidget *parent)
    : QDialog(parent)
    , downloader(downloader_)
    , url(url_)
    , name(name_)
    , sizeBytes(sizeBytes_)
    , contentType(contentType_)
{
    buildUi();
    fetch();
}

ImageViewerDialog::ImageViewerDialog(const QByteArray &bytes_, const QString &name_, const QString &contentType_,
                                     QWidget *parent)
    : QDialog(parent)
    , name(name_)
    , sizeBytes(bytes_.size())
    , contentType(contentType_)
    , bytes(bytes_)
{
    buildUi();
    QMetaObject::invokeMethod(
        this,
        [this] {
            showImage();
            refreshCaption();
        },
        Qt::QueuedConnection);
}

void ImageViewerDialog::buildUi()
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 8, 14, 8);
    layout->setSpacing(8);

    auto *top = new QHBoxLayout;
    top->setSpacing(16);
    top->addStretch();
    QPushButton *copyButton = textButton(QStringLiteral("复制图片"), this);
    QPushButton *saveButton = textButton(QStringLiteral("另存为…"), this);
    QPushButton *closeButton = textButton(QStringLiteral("✕"), this);
    top->addWidget(copyButton);
    top->addWidget(saveButton);
    top->addWidget(closeButton);
    layout->addLayout(top);
    connect(copyButton, &QPushButton::clicked, this, &ImageViewerDialog::copyImage);
    connect(saveButton, &QPushButton::clicked, this, &ImageViewerDialog::saveImage);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

    imageLabel = new QLabel(this);
    imageLabel->setAlignment(Qt::AlignCenter);
    imageLabel->setText(statusHtml(QStringLiteral("加载中…")));
    layout->addWidget(imageLabel, 1);

    captionLabel = new QLabel(this);
    captionLabel->setAlignment(Qt::AlignCenter);
    captionLabel->setStyleSheet(
        QStringLiteral("color:rgba(255,255,255,0.6);font-size:12px;font-family:Consolas,'Courier New',monospace;"));
    captionLabel->setText(captionText());
    layout->addWidget(captionLabel);

    if (QWidget *parent = parentWidget()) {
        if (QWidget *window = parent->window())
            setGeometry(QRect(window->mapToGlobal(QPoint(0, 0)), window->size()));
    }
}

void ImageViewerDialog::fetch()
{
    if (!downloader)
        return;
    QPointer<ImageViewerDialog> self(this);
    downloader->rawGet(
        url,
        [self](const HttpResponse &response) {
            // The dialog may have closed (and deleted itself) before the reply.
            if (!self)
                return;
            if (!response.isSuccess() || response.body.isEmpty()) {
                self->showStatus(QStringLiteral("图片加载失败"));
                return;
            }
            self->bytes = response.body;
            self->showImage();
            self->refreshCaption();
        },
        0);
}

void ImageViewerDialog::showStatus(const QString &text)
{
    imageLabel->setPixmap(QPixmap());
    imageLabel->setText(statusHtml(text));
}

void ImageViewerDialog::showImage()
{
    if (bytes.isEmpty())
        return;
    if (!decodeDone) {
        // A photo of many megapixels takes long to decode: that happens on the pool, and
        // the dialog keeps answering meanwhile.
        if (!decodeStarted) {
            decodeStarted = true;
            decodeImageInBackground(bytes, QSize(), this, [this](const QImage &image) {
                decoded = image;
                decodeDone = true;
                showImage();
            });
        }
        return;
    }
    if (decoded.isNull()) {
        showStatus(QStringLiteral("图片解码失败"));
        return;
    }
    if (contentType == QLatin1String("image/gif")) {
        if (movie)
            return;
        buffer = new QBuffer(this);
        buffer->setData(bytes);
        buffer->open(QIODevice::ReadOnly);
        movie = new QMovie(buffer, QByteArrayLiteral("gif"), this);
        movie->setScaledSize(decoded.size().scaled(imageLabel->size(), Qt::KeepAspectRatio));
        imageLabel->setMovie(movie);
        movie->start();
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize area(qRound(imageLabel->width() * ratio), qRound(imageLabel->height() * ratio));
    auto show = [this, ratio](const QImage &image) {
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(ratio);
        imageLabel->setPixmap(pixmap);
    };
    if (area.isEmpty() || (decoded.width() <= area.width() && decoded.height() <= area.height())) {
        ++scaleRequest;
        show(decoded);
        return;
    }
    const int request = ++scaleRequest;
    scaleImageInBackground(decoded, area, this, [this, request, show](const QImage &image) {
        if (request == scaleRequest)
            show(image);
    });
}

QString ImageViewerDialog::formatByteSize(qint64 size)
{
    if (size >= 1024 * 1024)
        return QString::number(double(size) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB");
    if (size < 1024)
        return QString::number(size) + QStringLiteral(" B");
    return QString::number(double(size) / 1024.0, 'f', 0) + QStringLiteral(" KB");
}

QString ImageViewerDialog::captionText() const
{
    QString caption = name;
    if (!bytes.isEmpty()) {
        QBuffer source;
        source.setData(bytes);
        source.open(QIODevice::ReadOnly);
        const QSize size = QImageReader(&source).size();
        if (size.isValid() && !size.isEmpty())
            caption += QStringLiteral(" · %1×%2").arg(size.width()).arg(size.height());
    }
    if (sizeBytes > 0)
        caption += QStringLiteral(" · ") + formatByteSize(sizeBytes);
    return caption;
}

void ImageViewerDialog::refreshCaption()
{
    captionLabel->setText(captionText());
}

void ImageViewerDialog::copyImage()
{
    const QImage image = decodeDone ? decoded : decodeImageBounded(bytes);
    if (!image.isNull())
        QGuiApplication::clipboard()->setImage(image);
}

bool ImageViewerDialog::saveImageTo(const QString &path) const
{
    if (bytes.isEmpty() || path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

void ImageViewerDialog::saveImage()
{
    if (bytes.isEmpty())
        return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("另存为"), name);
    if (!path.isEmpty())
        saveImageTo(path);
}

void ImageViewerDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(18, 22, 27, 240));
}

void ImageViewerDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (!bytes.isEmpty() && !movie)
        showImage();
    if (captionLabel)
        refreshCaption();
}

void ImageViewerDialog::mousePressEvent(QMouseEvent *event)
{
    QWidget *child = childAt(event->position().toPoint());
    if (child) {
        QDialog::mousePressEvent(event);
        return;
    }
    reject();
}
