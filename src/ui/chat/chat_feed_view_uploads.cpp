// The image side of the chat feed: picked, dropped and pasted images, and the upload
// cards that follow each outgoing batch until it finishes, fails or is cancelled.

#include "ui/chat/chat_feed_view.h"

#include "theme/theme_palette.h"
#include "ui/chat/chat_feed_list.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <QVBoxLayout>

namespace {

QString hexOf(const char *token)
{
    return QString::fromLatin1(ThemePalette::hex(token));
}

QString newBatchId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString cardStyle(const char *borderToken)
{
    return QStringLiteral(".QWidget{background:%1;border:1px solid %2;}").arg(hexOf("fillHover"), hexOf(borderToken));
}

} // namespace

qint64 ChatFeedView::targetTagId() const
{
    return (forumMode && openTagId > 0) ? openTagId : selectedTagId;
}

void ChatFeedView::makeUploadCard(const QString &batchId, const QString &caption, PendingUpload &batch)
{
    auto *card = new QWidget(flatContent);
    card->setFixedWidth(320);
    card->setAttribute(Qt::WA_StyledBackground, true);
    card->setStyleSheet(cardStyle("border"));
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(6);

    auto *titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    auto *title = new QLabel(QStringLiteral("🖼 ") + caption, card);
    title->setStyleSheet(QStringLiteral("font-size:13px;border:none;background:transparent;"));
    auto *cancel = new QPushButton(QStringLiteral("✕"), card);
    cancel->setProperty("compact", true);
    titleRow->addWidget(title, 1);
    titleRow->addWidget(cancel);
    layout->addLayout(titleRow);

    auto *progress = new QProgressBar(card);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);
    progress->setFixedHeight(4);
    layout->addWidget(progress);

    auto *error = new QLabel(card);
    error->setStyleSheet(
        QStringLiteral("color:%1;font-size:12px;border:none;background:transparent;").arg(hexOf("danger")));
    error->setWordWrap(true);
    error->hide();
    layout->addWidget(error);

    auto *actions = new QWidget(card);
    actions->setStyleSheet(QStringLiteral("border:none;background:transparent;"));
    auto *actionLayout = new QHBoxLayout(actions);
    actionLayout->setContentsMargins(0, 0, 0, 0);
    actionLayout->setSpacing(12);
    auto *retry = new QPushButton(QStringLiteral("重试"), actions);
    retry->setObjectName(QStringLiteral("uploadRetry"));
    retry->setProperty("compact", true);
    auto *remove = new QPushButton(QStringLiteral("删除"), actions);
    remove->setProperty("compact", true);
    actionLayout->addWidget(retry);
    actionLayout->addWidget(remove);
    actionLayout->addStretch();
    actions->hide();
    layout->addWidget(actions);

    connect(cancel, &QPushButton::clicked, this, [this, batchId] {
        emit uploadCancelRequested(batchId);
        removeUploadCard(batchId);
    });
    connect(retry, &QPushButton::clicked, this, [this, batchId] { retryUpload(batchId); });
    connect(remove, &QPushButton::clicked, this, [this, batchId] { removeUploadCard(batchId); });

    batch.card = card;
    batch.progressBar = progress;
    batch.errorLabel = error;
    batch.actionRow = actions;
    flatCanvas->scrollToBottom();
    flatCanvas->append(ChatFeedList::Kind::Widget, QString(), card);
}

void ChatFeedView::sendImages(const QList<ChatPendingImage> &images, const QString &content, qint64 tagId,
                              const QString &title)
{
    if (images.isEmpty())
        return;
    const QString batchId = newBatchId();
    PendingUpload batch;
    batch.images = images;
    batch.content = content;
    batch.tagId = tagId;
    batch.title = title;
    QString caption = images.first().fileName;
    if (images.size() > 1)
        caption += QStringLiteral(" 等 %1 张").arg(images.size());
    makeUploadCard(batchId, caption, batch);
    pendingUploads.insert(batchId, batch);
    emit sendImagesRequested(batchId, images, content, tagId, title);
}

void ChatFeedView::postImages(const QList<ChatPendingImage> &images, const QString &tagName, const QString &title,
                              const QString &content)
{
    if (images.isEmpty())
        return;
    const QString batchId = newBatchId();
    PendingUpload batch;
    batch.images = images;
    batch.content = content;
    batch.title = title;
    batch.isPost = true;
    batch.tagName = tagName;
    makeUploadCard(batchId, title, batch);
    pendingUploads.insert(batchId, batch);
    emit postImagesRequested(batchId, images, tagName, title, content);
}

void ChatFeedView::setUploadProgress(const QString &batchId, int percent)
{
    const auto it = pendingUploads.constFind(batchId);
    if (it == pendingUploads.constEnd() || !it->progressBar)
        return;
    it->progressBar->setValue(qBound(0, percent, 100));
}

void ChatFeedView::failUpload(const QString &batchId, const QString &reason)
{
    const auto it = pendingUploads.constFind(batchId);
    if (it == pendingUploads.constEnd() || !it->card)
        return;
    it->card->setStyleSheet(cardStyle("danger"));
    it->progressBar->hide();
    it->errorLabel->setText(reason);
    it->errorLabel->show();
    it->actionRow->show();
    if (auto *retry = it->actionRow->findChild<QPushButton *>(QStringLiteral("uploadRetry")))
        retry->setVisible(!it->images.isEmpty());
}

void ChatFeedView::finishUpload(const QString &batchId)
{
    removeUploadCard(batchId);
}

void ChatFeedView::removeUploadCard(const QString &batchId)
{
    const auto it = pendingUploads.find(batchId);
    if (it == pendingUploads.end())
        return;
    if (it->card) {
        flatCanvas->removeWidget(it->card);
        it->card->hide();
        it->card->deleteLater();
    }
    pendingUploads.erase(it);
}

void ChatFeedView::retryUpload(const QString &batchId)
{
    const auto it = pendingUploads.constFind(batchId);
    if (it == pendingUploads.constEnd() || it->images.isEmpty())
        return;
    const PendingUpload copy = *it;
    removeUploadCard(batchId);
    if (copy.isPost)
        postImages(copy.images, copy.tagName, copy.title, copy.content);
    else
        sendImages(copy.images, copy.content, copy.tagId, copy.title);
}

QString ChatFeedView::storeFailureCard(const QString &caption, const QString &reason)
{
    const QString batchId = newBatchId();
    PendingUpload batch;
    makeUploadCard(batchId, caption, batch);
    pendingUploads.insert(batchId, batch);
    failUpload(batchId, reason);
    return batchId;
}

QList<ChatPendingImage> ChatFeedView::intakeFiles(const QStringList &paths)
{
    const PendingImageIntake intake = loadPendingImages(paths, 0);
    if (!intake.rejects.isEmpty())
        storeFailureCard(QStringLiteral("部分图片未发送"), intake.rejects.join(QStringLiteral("；")));
    return intake.images;
}

bool ChatFeedView::refuseWithoutTag(const QString &caption)
{
    if (!tagsEnabled || targetTagId() > 0)
        return false;
    storeFailureCard(caption, QStringLiteral("必须选择一个标签才能发送图片"));
    return true;
}

void ChatFeedView::sendAcceptedImages(const QList<ChatPendingImage> &images, const QString &caption)
{
    if (images.isEmpty() || refuseWithoutTag(caption))
        return;
    sendImages(images, QString(), tagsEnabled ? targetTagId() : 0, QString());
}

void ChatFeedView::pickImages()
{
    const QStringList paths = QFileDialog::getOpenFileNames(this, QStringLiteral("发送图片"), QString(),
                                                            QStringLiteral("图片 (*.jpg *.jpeg *.png *.gif *.webp)"));
    if (paths.isEmpty())
        return;
    sendAcceptedImages(intakeFiles(paths), QStringLiteral("图片"));
}

void ChatFeedView::placeDropOverlay()
{
    dropOverlay->setGeometry(rect().adjusted(8, 8, -8, -8));
    dropOverlay->raise();
}

void ChatFeedView::dragEnterEvent(QDragEnterEvent *event)
{
    event->ignore();
    if (!event->mimeData()->hasUrls())
        return;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (!url.isLocalFile() || sniffImageMime(url.toLocalFile()).isEmpty())
            continue;
        event->acceptProposedAction();
        QString where;
        if (tagsEnabled && targetTagId() > 0)
            where = QStringLiteral("到「%1」").arg(tagName(targetTagId()));
        dropOverlay->setText(QStringLiteral("松开以发送图片%1").arg(where));
        placeDropOverlay();
        dropOverlay->show();
        return;
    }
}

void ChatFeedView::dragLeaveEvent(QDragLeaveEvent *)
{
    dropOverlay->hide();
}

void ChatFeedView::dropEvent(QDropEvent *event)
{
    dropOverlay->hide();
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    sendAcceptedImages(intakeFiles(paths), QStringLiteral("图片"));
}

void ChatFeedView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (dropOverlay->isVisible())
        placeDropOverlay();
}

bool ChatFeedView::eventFilter(QObject *watched, QEvent *event)
{
    if (forumCardEvent(watched, event))
        return true;
    if (watched == input && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste)) {
        const QMimeData *clip = QApplication::clipboard()->mimeData();
        if (clip && clip->hasImage()) {
            const QImage image = qvariant_cast<QImage>(clip->imageData());
            if (!image.isNull()) {
                if (!refuseWithoutTag(QStringLiteral("剪贴板图片"))) {
                    sendImages({pendingImageFromClipboard(image, QStringLiteral("剪贴板图片.png"))}, QString(),
                               tagsEnabled ? targetTagId() : 0, QString());
                }
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
