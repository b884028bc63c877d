#include "chat_tab_stand_in.h"

ChatTabStandIn::ChatTabStandIn(QWidget *parent)
    : QWidget(parent)
{
    mixed = new MixedFeedView(this);
    overlay = new RequestBannerOverlay(this);
}

void ChatTabStandIn::setImageDownloader(IRawDownloader *downloader)
{
    imageLoader = new ChatImageLoader(downloader, this);
    mixed->imageLoader = imageLoader;
}

ChatFeedView *ChatTabStandIn::makeFeed(const QString &roomId)
{
    auto *feed = new ChatFeedView(this);
    feed->setImageLoader(imageLoader);
    if (canHide)
        feed->setCanHide([p = canHide, roomId](const QString &sender, bool own) { return p(roomId, sender, own); });
    if (canMute)
        feed->setCanMute([p = canMute, roomId](const QString &user) { return p(roomId, user); });
    if (canBan)
        feed->setCanBan([p = canBan, roomId](const QString &user) { return p(roomId, user); });
    if (canRetag)
        feed->setCanRetag([p = canRetag, roomId](const QString &sender, bool own) { return p(roomId, sender, own); });
    if (canEditTag)
        feed->setCanEditTag([p = canEditTag, roomId](const QString &creator) { return p(roomId, creator); });
    if (canCreateTag)
        feed->setCanCreateTag([p = canCreateTag, roomId] { return p(roomId); });

    connect(feed, &ChatFeedView::sendRequested, this, [this, roomId](const QString &c, qlonglong t, const QString &ti) {
        emit sendMessageRequested(roomId, c, t, ti);
    });
    connect(feed, &ChatFeedView::postRequested, this,
            [this, roomId](const QString &n, const QString &t, const QString &c) {
                emit postRequested(roomId, n, t, c);
            });
    connect(feed, &ChatFeedView::sendImagesRequested, this,
            [this, roomId](const QString &b, const QList<ChatPendingImage> &i, const QString &c, qlonglong t,
                           const QString &ti) { emit sendImagesRequested(roomId, b, i, c, t, ti); });
    connect(feed, &ChatFeedView::postImagesRequested, this,
            [this, roomId](const QString &b, const QList<ChatPendingImage> &i, const QString &n, const QString &t,
                           const QString &c) { emit postImagesRequested(roomId, b, i, n, t, c); });
    connect(feed, &ChatFeedView::uploadCancelRequested, this, &ChatTabStandIn::uploadCancelRequested);
    connect(feed, &ChatFeedView::loadOlderRequested, this,
            [this, roomId](qlonglong before) { emit loadOlderRequested(roomId, before); });
    connect(feed, &ChatFeedView::hideRequested, this,
            [this, roomId](const QString &id) { emit hideMessageRequested(roomId, id); });
    connect(feed, &ChatFeedView::muteUserRequested, this,
            [this, roomId](const QString &u, qlonglong until) { emit muteUserRequested(roomId, u, until); });
    connect(feed, &ChatFeedView::banRequested, this,
            [this, roomId](const QString &u) { emit banRequested(roomId, u); });
    connect(feed, &ChatFeedView::retagRequested, this,
            [this, roomId](const QString &id, qlonglong t) { emit retagMessageRequested(roomId, id, t); });
    connect(feed, &ChatFeedView::renameTagRequested, this,
            [this, roomId](qlonglong t, const QString &n) { emit renameTagRequested(roomId, t, n); });
    connect(feed, &ChatFeedView::archiveTagRequested, this,
            [this, roomId](qlonglong t, const QString &m, qlonglong to) {
                emit archiveTagRequested(roomId, t, m, to);
            });
    connect(feed, &ChatFeedView::loadTagHistoryRequested, this,
            [this, roomId](qlonglong t, qlonglong after) { emit loadTagHistoryRequested(roomId, t, after); });
    connect(feed, &ChatFeedView::tagOpened, this,
            [this, roomId](qlonglong t, qlonglong last) { emit tagOpenedReported(roomId, t, last); });
    return feed;
}

void ChatTabStandIn::setFeeds(const QList<FeedTab> &list)
{
    tabs = list;
    QStringList ids;
    for (const FeedTab &tab : list)
        ids << tab.roomId;
    for (auto it = feeds.begin(); it != feeds.end();) {
        if (!ids.contains(it.key())) {
            it.value()->deleteLater();
            it = feeds.erase(it);
        } else {
            ++it;
        }
    }
    for (const QString &id : ids) {
        if (!feeds.contains(id))
            feeds.insert(id, makeFeed(id));
    }
    if (!current.isEmpty() && !ids.contains(current)) {
        current.clear();
    }
    if (current.isEmpty() && !ids.isEmpty()) {
        current = ids.first();
        emit feedActivated(current);
    }
}

void ChatTabStandIn::setCurrentFeed(const QString &roomId)
{
    if (roomId == current || !feeds.contains(roomId))
        return;
    current = roomId;
    emit feedActivated(roomId);
}

void ChatTabStandIn::appendMessage(const QString &roomId, const ChatFeedView::Message &message)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->appendMessage(message);
}

void ChatTabStandIn::prependHistory(const QString &roomId, const QList<ChatFeedView::Message> &page)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->prependHistory(page);
}

void ChatTabStandIn::setTagHistory(const QString &roomId, qint64 tagId, qint64 afterSeq,
                                   const QList<ChatFeedView::Message> &page)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->setTagHistory(tagId, afterSeq, page);
}

void ChatTabStandIn::setTags(const QString &roomId, bool enabled, const QList<ChatFeedView::TagInfo> &list)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->setTags(enabled, list);
}

void ChatTabStandIn::markHidden(const QString &roomId, const QString &messageId)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->markHidden(messageId);
}

void ChatTabStandIn::retagMessage(const QString &roomId, const QString &messageId, qint64 tagId)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->retagMessage(messageId, tagId);
}

void ChatTabStandIn::clearFeed(const QString &roomId)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->clearFeed();
}

void ChatTabStandIn::markGap(const QString &roomId, qint64 gapBeforeSeq)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->setGapSeq(gapBeforeSeq);
}

void ChatTabStandIn::setUploadProgress(const QString &roomId, const QString &batchId, int percent)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->setUploadProgress(batchId, percent);
}

void ChatTabStandIn::finishUpload(const QString &roomId, const QString &batchId)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->finishUpload(batchId);
}

void ChatTabStandIn::failUpload(const QString &roomId, const QString &batchId, const QString &reason)
{
    if (ChatFeedView *feed = feeds.value(roomId))
        feed->failUpload(batchId, reason);
}
