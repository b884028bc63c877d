#include "ui/chat/messages_tab.h"

#include "theme/ui_log.h"
#include "ui/chat/chat_image_loader.h"
#include "ui/chat/chat_tab_bar.h"
#include "ui/chat/image_viewer_dialog.h"
#include "ui/chat/mixed_feed_view.h"
#include "ui/connect/request_banner_overlay.h"

#include <QSet>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

const QString kFlatText = QStringLiteral("视图：平铺");
const QString kForumText = QStringLiteral("视图：帖子");

} // namespace

MessagesTab::MessagesTab(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tabBar = new ChatTabBar(this);
    stack = new QStackedWidget(this);
    layout->addWidget(tabBar, 0);
    layout->addWidget(stack, 1);
    mergedFeed = new MixedFeedView(stack);
    stack->addWidget(mergedFeed);

    connect(tabBar, &ChatTabBar::currentChanged, this, &MessagesTab::onCurrentChanged);
    connect(tabBar, &ChatTabBar::unsubscribeRequested, this, &MessagesTab::unsubscribeRequested);
    connect(tabBar, &ChatTabBar::mixedMenuRequested, this, &MessagesTab::mixedMenuRequested);
    connect(mergedFeed, &MixedFeedView::roomJumpRequested, this, &MessagesTab::setCurrentFeed);
    connect(tabBar, &ChatTabBar::viewToggleRequested, this, &MessagesTab::onViewToggle);

    bannerOverlay = new RequestBannerOverlay(this);
    connect(bannerOverlay, &RequestBannerOverlay::contentHeightChanged, this, &MessagesTab::placeBannerOverlay);
    placeBannerOverlay();
}

void MessagesTab::setFeeds(const QList<FeedTab> &tabs)
{
    QSet<QString> listed;
    for (const FeedTab &tab : tabs)
        listed.insert(tab.roomId);

    for (auto it = feedViews.begin(); it != feedViews.end();) {
        if (listed.contains(it.key())) {
            ++it;
            continue;
        }
        // Cut the view off at once: until the event loop deletes it, nothing it still
        // emits may reach the wiring as a request for a room the user left.
        it.value()->disconnect(this);
        stack->removeWidget(it.value());
        it.value()->deleteLater();
        it = feedViews.erase(it);
    }

    QList<ChatTabBar::Tab> stripTabs;
    stripTabs.reserve(tabs.size());
    for (const FeedTab &tab : tabs) {
        if (!feedViews.contains(tab.roomId))
            feedViews.insert(tab.roomId, createView(tab.roomId));
        stripTabs.append(ChatTabBar::Tab{tab.roomId, tab.label});
    }

    tabBar->setTabs(stripTabs);
    if (ChatFeedView *view = feedViews.value(tabBar->currentId()))
        stack->setCurrentWidget(view);
    refreshViewToggle();
}

ChatFeedView *MessagesTab::createView(const QString &roomId)
{
    auto *view = new ChatFeedView(stack);
    view->setImageLoader(imageLoader);
    // Each predicate is copied as it is now, with the room bound in front.
    if (canHide) {
        view->setCanHide([p = canHide, roomId](const QString &senderId, bool own) { return p(roomId, senderId, own); });
    }
    if (canMute)
        view->setCanMute([p = canMute, roomId](const QString &userId) { return p(roomId, userId); });
    if (canBan)
        view->setCanBan([p = canBan, roomId](const QString &userId) { return p(roomId, userId); });
    if (canRetag) {
        view->setCanRetag(
            [p = canRetag, roomId](const QString &senderId, bool own) { return p(roomId, senderId, own); });
    }
    if (canEditTag)
        view->setCanEditTag([p = canEditTag, roomId](const QString &createdBy) { return p(roomId, createdBy); });
    if (canCreateTag)
        view->setCanCreateTag([p = canCreateTag, roomId] { return p(roomId); });
    connectView(view, roomId);
    stack->addWidget(view);
    return view;
}

void MessagesTab::connectView(ChatFeedView *view, const QString &roomId)
{
    using V = ChatFeedView;
    connect(view, &V::sendRequested, this,
            [this, roomId](const QString &content, qlonglong tagId, const QString &title) {
                emit sendMessageRequested(roomId, content, tagId, title);
            });
    connect(view, &V::postRequested, this,
            [this, roomId](const QString &tagName, const QString &title, const QString &content) {
                emit postRequested(roomId, tagName, title, content);
            });
    connect(view, &V::sendImagesRequested, this,
            [this, roomId](const QString &batchId, const QList<ChatPendingImage> &images, const QString &content,
                           qlonglong tagId, const QString &title) {
                emit sendImagesRequested(roomId, batchId, images, content, tagId, title);
            });
    connect(view, &V::postImagesRequested, this,
            [this, roomId](const QString &batchId, const QList<ChatPendingImage> &images, const QString &tagName,
                           const QString &title, const QString &content) {
                emit postImagesRequested(roomId, batchId, images, tagName, title, content);
            });
    connect(view, &V::uploadCancelRequested, this, &MessagesTab::uploadCancelRequested);
    connect(view, &V::loadOlderRequested, this,
            [this, roomId](qlonglong beforeSeq) { emit loadOlderRequested(roomId, beforeSeq); });
    connect(view, &V::hideRequested, this,
            [this, roomId](const QString &messageId) { emit hideMessageRequested(roomId, messageId); });
    connect(view, &V::muteUserRequested, this, [this, roomId](const QString &targetUid, qlonglong expireAtMs) {
        emit muteUserRequested(roomId, targetUid, expireAtMs);
    });
    connect(view, &V::banRequested, this,
            [this, roomId](const QString &targetUid) { emit banRequested(roomId, targetUid); });
    connect(view, &V::retagRequested, this, [this, roomId](const QString &messageId, qlonglong tagId) {
        emit retagMessageRequested(roomId, messageId, tagId);
    });
    connect(view, &V::renameTagRequested, this,
            [this, roomId](qlonglong tagId, const QString &name) { emit renameTagRequested(roomId, tagId, name); });
    connect(view, &V::archiveTagRequested, this,
            [this, roomId](qlonglong tagId, const QString &mode, qlonglong targetTagId) {
                emit archiveTagRequested(roomId, tagId, mode, targetTagId);
            });
    connect(view, &V::loadTagHistoryRequested, this, [this, roomId](qlonglong tagId, qlonglong afterSeq) {
        emit loadTagHistoryRequested(roomId, tagId, afterSeq);
    });
    connect(view, &V::tagOpened, this,
            [this, roomId](qlonglong tagId, qlonglong lastSeq) { emit tagOpenedReported(roomId, tagId, lastSeq); });
    connect(view, &V::imageActivated, this, &MessagesTab::openImageViewer);
    connect(view, &V::forumModeChanged, this, [this, roomId](bool) {
        if (tabBar->currentId() == roomId)
            refreshViewToggle();
    });
}

void MessagesTab::setCurrentFeed(const QString &roomId)
{
    tabBar->setCurrentFeed(roomId);
}

void MessagesTab::setImageDownloader(IRawDownloader *newDownloader)
{
    downloader = newDownloader;
    imageLoader = new ChatImageLoader(downloader, this);
    mergedFeed->imageLoader = imageLoader;
    connect(mergedFeed, &MixedFeedView::imageActivated, this, &MessagesTab::openImageViewer, Qt::UniqueConnection);
}

void MessagesTab::setCanHidePredicate(std::function<bool(const QString &, const QString &, bool)> p)
{
    canHide = std::move(p);
}

void MessagesTab::setCanMutePredicate(std::function<bool(const QString &, const QString &)> p)
{
    canMute = std::move(p);
}

void MessagesTab::setCanBanPredicate(std::function<bool(const QString &, const QString &)> p)
{
    canBan = std::move(p);
}

void MessagesTab::setCanRetagPredicate(std::function<bool(const QString &, const QString &, bool)> p)
{
    canRetag = std::move(p);
}

void MessagesTab::setCanEditTagPredicate(std::function<bool(const QString &, const QString &)> p)
{
    canEditTag = std::move(p);
}

void MessagesTab::setCanCreateTagPredicate(std::function<bool(const QString &)> p)
{
    canCreateTag = std::move(p);
}

void MessagesTab::setCanUnsubscribePredicate(std::function<bool(const QString &)> p)
{
    tabBar->setCanUnsubscribePredicate(std::move(p));
}

// Data for rooms the user no longer follows is expected (late replies after an
// unsubscribe), so it is dropped without a signal; the log line helps when it is not.
ChatFeedView *MessagesTab::viewFor(const QString &roomId, const char *operation) const
{
    ChatFeedView *view = feedViews.value(roomId);
    if (!view)
        qCDebug(lcUi) << "chat data for a room without feed ignored"
                      << "op=" << operation << "room=" << roomId;
    return view;
}

void MessagesTab::appendMessage(const QString &roomId, const ChatFeedView::Message &message)
{
    if (ChatFeedView *view = viewFor(roomId, "appendMessage"))
        view->appendMessage(message);
}

void MessagesTab::prependHistory(const QString &roomId, const QList<ChatFeedView::Message> &page)
{
    if (ChatFeedView *view = viewFor(roomId, "prependHistory"))
        view->prependHistory(page);
}

void MessagesTab::clearFeed(const QString &roomId)
{
    if (ChatFeedView *view = viewFor(roomId, "clearFeed"))
        view->clearFeed();
}

void MessagesTab::markHidden(const QString &roomId, const QString &messageId)
{
    if (ChatFeedView *view = viewFor(roomId, "markHidden"))
        view->markHidden(messageId);
}

void MessagesTab::failUpload(const QString &roomId, const QString &batchId, const QString &reason)
{
    if (ChatFeedView *view = viewFor(roomId, "failUpload"))
        view->failUpload(batchId, reason);
}

void MessagesTab::finishUpload(const QString &roomId, const QString &batchId)
{
    if (ChatFeedView *view = viewFor(roomId, "finishUpload"))
        view->finishUpload(batchId);
}

void MessagesTab::setUploadProgress(const QString &roomId, const QString &batchId, int percent)
{
    if (ChatFeedView *view = viewFor(roomId, "setUploadProgress"))
        view->setUploadProgress(batchId, percent);
}

void MessagesTab::markGap(const QString &roomId, qint64 gapBeforeSeq)
{
    if (ChatFeedView *view = viewFor(roomId, "markGap"))
        view->setGapSeq(gapBeforeSeq);
}

void MessagesTab::retagMessage(const QString &roomId, const QString &messageId, qint64 tagId)
{
    if (ChatFeedView *view = viewFor(roomId, "retagMessage"))
        view->retagMessage(messageId, tagId);
}

void MessagesTab::setTags(const QString &roomId, bool enabled, const QList<ChatFeedView::TagInfo> &tags)
{
    if (ChatFeedView *view = viewFor(roomId, "setTags"))
        view->setTags(enabled, tags);
}

void MessagesTab::setTagHistory(const QString &roomId, qint64 tagId, qint64 afterSeq,
                                const QList<ChatFeedView::Message> &messages)
{
    if (ChatFeedView *view = viewFor(roomId, "setTagHistory"))
        view->setTagHistory(tagId, afterSeq, messages);
}

void MessagesTab::onCurrentChanged(const QString &id)
{
    if (id == ChatTabBar::mixedFeedId())
        stack->setCurrentWidget(mergedFeed);
    else if (ChatFeedView *view = feedViews.value(id))
        stack->setCurrentWidget(view);
    refreshViewToggle();
    if (!id.isEmpty() && id != ChatTabBar::mixedFeedId())
        emit feedActivated(id);
}

void MessagesTab::onViewToggle()
{
    ChatFeedView *view = feedViews.value(tabBar->currentId());
    if (!view)
        return;
    view->setForumMode(!view->isForumMode());
    refreshViewToggle();
}

// The text names the mode shown now, not the one a click leads to.
void MessagesTab::refreshViewToggle()
{
    const QString id = tabBar->currentId();
    if (id == ChatTabBar::mixedFeedId()) {
        tabBar->setViewToggleText(kFlatText);
        tabBar->setViewToggleEnabled(false);
        return;
    }
    tabBar->setViewToggleEnabled(true);
    ChatFeedView *view = feedViews.value(id);
    tabBar->setViewToggleText(view && view->isForumMode() ? kForumText : kFlatText);
}

void MessagesTab::openImageViewer(const ChatAttachment &attachment)
{
    if (!downloader || attachment.url.isEmpty())
        return;
    auto *dialog = new ImageViewerDialog(downloader, attachment.url, attachment.fileName, attachment.sizeBytes,
                                         attachment.contentType, this);
    dialog->show();
}

void MessagesTab::placeBannerOverlay()
{
    const QRect area = stack->geometry();
    bannerOverlay->setGeometry(area.x(), area.y(), area.width(), bannerOverlay->sizeHint().height());
    bannerOverlay->raise();
}

void MessagesTab::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeBannerOverlay();
}
