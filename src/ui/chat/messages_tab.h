#pragma once

#include "ui/chat/chat_feed_view.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class ChatImageLoader;
class ChatTabBar;
class IRawDownloader;
class MixedFeedView;
class QStackedWidget;
class RequestBannerOverlay;

// The content of the chat dock: one feed view per followed room plus the merged feed,
// one shown at a time under the chat tab strip. A pure relay between the wiring and the
// views: per-room data is routed to the room's view by room id, and every request of a
// view leaves again with the room id put in front. It also owns the request banners that
// float over the top of the feed area. GUI thread only.
class MessagesTab : public QWidget
{
    Q_OBJECT
public:
    struct FeedTab
    {
        QString roomId;
        QString label;
    };

    explicit MessagesTab(QWidget *parent = nullptr);

    void setFeeds(const QList<FeedTab> &tabs);
    void setCurrentFeed(const QString &roomId);
    // Called once, before the first setFeeds: views made later get the loader.
    void setImageDownloader(IRawDownloader *downloader);

    // Each stores its predicate; a view gets the predicates that are set when it is made.
    void setCanHidePredicate(std::function<bool(const QString &roomId, const QString &senderId, bool isOwn)> p);
    void setCanMutePredicate(std::function<bool(const QString &roomId, const QString &userId)> p);
    void setCanBanPredicate(std::function<bool(const QString &roomId, const QString &userId)> p);
    void setCanRetagPredicate(std::function<bool(const QString &roomId, const QString &senderId, bool isOwn)> p);
    void setCanEditTagPredicate(std::function<bool(const QString &roomId, const QString &tagCreatorId)> p);
    void setCanCreateTagPredicate(std::function<bool(const QString &roomId)> p);
    void setCanUnsubscribePredicate(std::function<bool(const QString &roomId)> p);

    // Per-room data; calls for a room without a view are dropped.
    void appendMessage(const QString &roomId, const ChatFeedView::Message &message);
    void prependHistory(const QString &roomId, const QList<ChatFeedView::Message> &page);
    void clearFeed(const QString &roomId);
    void markHidden(const QString &roomId, const QString &messageId);
    void failUpload(const QString &roomId, const QString &batchId, const QString &reason);
    void finishUpload(const QString &roomId, const QString &batchId);
    void setUploadProgress(const QString &roomId, const QString &batchId, int percent);
    void markGap(const QString &roomId, qint64 gapBeforeSeq);
    void retagMessage(const QString &roomId, const QString &messageId, qint64 tagId);
    void setTags(const QString &roomId, bool enabled, const QList<ChatFeedView::TagInfo> &tags);
    void setTagHistory(const QString &roomId, qint64 tagId, qint64 afterSeq,
                       const QList<ChatFeedView::Message> &messages);

    void openImageViewer(const ChatAttachment &attachment);

    MixedFeedView *mixedFeed() const { return mergedFeed; }
    RequestBannerOverlay *requestBannerOverlay() const { return bannerOverlay; }
    ChatTabBar *chatTabBar() const { return tabBar; }
    QStackedWidget *feedStack() const { return stack; }
    ChatFeedView *feedView(const QString &roomId) const { return feedViews.value(roomId); }
    ChatImageLoader *chatImageLoader() const { return imageLoader; }

signals:
    void sendMessageRequested(const QString &roomId, const QString &content, qlonglong tagId, const QString &title);
    void postRequested(const QString &roomId, const QString &tagName, const QString &title, const QString &content);
    void sendImagesRequested(const QString &roomId, const QString &batchId,
                             const QList<ChatFeedView::PendingImage> &images, const QString &content, qlonglong tagId,
                             const QString &title);
    void postImagesRequested(const QString &roomId, const QString &batchId,
                             const QList<ChatFeedView::PendingImage> &images, const QString &tagName,
                             const QString &title, const QString &content);
    void uploadCancelRequested(const QString &batchId);
    void loadOlderRequested(const QString &roomId, qlonglong beforeSeq);
    void hideMessageRequested(const QString &roomId, const QString &messageId);
    void muteUserRequested(const QString &roomId, const QString &targetUid, qlonglong expireAtMs);
    void banRequested(const QString &roomId, const QString &targetUid);
    void retagMessageRequested(const QString &roomId, const QString &messageId, qlonglong tagId);
    void renameTagRequested(const QString &roomId, qlonglong tagId, const QString &name);
    void archiveTagRequested(const QString &roomId, qlonglong tagId, const QString &mode, qlonglong targetTagId);
    void loadTagHistoryRequested(const QString &roomId, qlonglong tagId, qlonglong afterSeq);
    void tagOpenedReported(const QString &roomId, qlonglong tagId, qlonglong lastSeq);
    void feedActivated(const QString &roomId);
    void unsubscribeRequested(const QString &roomId);
    void mixedMenuRequested(const QPoint &globalPos);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    ChatFeedView *viewFor(const QString &roomId, const char *operation) const;
    ChatFeedView *createView(const QString &roomId);
    void connectView(ChatFeedView *view, const QString &roomId);
    void onCurrentChanged(const QString &id);
    void onViewToggle();
    void refreshViewToggle();
    void placeBannerOverlay();

    ChatTabBar *tabBar = nullptr;
    QStackedWidget *stack = nullptr;
    MixedFeedView *mergedFeed = nullptr;
    std::function<bool(const QString &, const QString &, bool)> canHide;
    std::function<bool(const QString &, const QString &)> canMute;
    std::function<bool(const QString &, const QString &)> canBan;
    std::function<bool(const QString &, const QString &, bool)> canRetag;
    std::function<bool(const QString &, const QString &)> canEditTag;
    std::function<bool(const QString &)> canCreateTag;
    RequestBannerOverlay *bannerOverlay = nullptr;
    QHash<QString, ChatFeedView *> feedViews;
    ChatImageLoader *imageLoader = nullptr;
    IRawDownloader *downloader = nullptr;
};
