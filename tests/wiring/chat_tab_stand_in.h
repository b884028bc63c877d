#pragma once

#include "ui/chat/chat_feed_view.h"
#include "ui/chat/chat_image_loader.h"
#include "ui/chat/mixed_feed_view.h"
#include "ui/connect/request_banner_overlay.h"

#include <QHash>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class IRawDownloader;

// The chat dock's messages tab as the chat wiring sees it: real feed views, one per
// listed room, created, kept and dropped by setFeeds; the real merged feed; the real
// banner overlay; each room view's requests relayed with its room id in front, and the
// predicates bound to the room when its view is made. Nothing of the tab strip's
// drawing: the current feed is a plain id.
class ChatTabStandIn : public QWidget
{
    Q_OBJECT
public:
    struct FeedTab
    {
        QString roomId;
        QString label;
        QString text;
    };

    explicit ChatTabStandIn(QWidget *parent = nullptr);

    void setFeeds(const QList<FeedTab> &tabs);
    void setCurrentFeed(const QString &roomId);
    void setImageDownloader(IRawDownloader *downloader);
    void setCanHidePredicate(std::function<bool(const QString &, const QString &, bool)> p) { canHide = std::move(p); }
    void setCanMutePredicate(std::function<bool(const QString &, const QString &)> p) { canMute = std::move(p); }
    void setCanBanPredicate(std::function<bool(const QString &, const QString &)> p) { canBan = std::move(p); }
    void setCanRetagPredicate(std::function<bool(const QString &, const QString &, bool)> p)
    {
        canRetag = std::move(p);
    }
    void setCanEditTagPredicate(std::function<bool(const QString &, const QString &)> p) { canEditTag = std::move(p); }
    void setCanCreateTagPredicate(std::function<bool(const QString &)> p) { canCreateTag = std::move(p); }
    void setCanUnsubscribePredicate(std::function<bool(const QString &)> p) { canUnsubscribe = std::move(p); }

    void appendMessage(const QString &roomId, const ChatFeedView::Message &message);
    void prependHistory(const QString &roomId, const QList<ChatFeedView::Message> &page);
    void setTagHistory(const QString &roomId, qint64 tagId, qint64 afterSeq, const QList<ChatFeedView::Message> &page);
    void setTags(const QString &roomId, bool enabled, const QList<ChatFeedView::TagInfo> &tags);
    void markHidden(const QString &roomId, const QString &messageId);
    void retagMessage(const QString &roomId, const QString &messageId, qint64 tagId);
    void clearFeed(const QString &roomId);
    void markGap(const QString &roomId, qint64 gapBeforeSeq);
    void setUploadProgress(const QString &roomId, const QString &batchId, int percent);
    void finishUpload(const QString &roomId, const QString &batchId);
    void failUpload(const QString &roomId, const QString &batchId, const QString &reason);

    ChatFeedView *feedView(const QString &roomId) const { return feeds.value(roomId); }
    MixedFeedView *mixedFeed() const { return mixed; }
    RequestBannerOverlay *bannerOverlay() const { return overlay; }
    QString currentFeed() const { return current; }
    QList<FeedTab> feedTabs() const { return tabs; }
    ChatImageLoader *loader() const { return imageLoader; }
    std::function<bool(const QString &)> unsubscribePredicate() const { return canUnsubscribe; }

signals:
    void sendMessageRequested(QString roomId, QString content, qlonglong tagId, QString title);
    void postRequested(QString roomId, QString tagName, QString title, QString content);
    void sendImagesRequested(QString roomId, QString batchId, QList<ChatPendingImage> images, QString content,
                             qlonglong tagId, QString title);
    void postImagesRequested(QString roomId, QString batchId, QList<ChatPendingImage> images, QString tagName,
                             QString title, QString content);
    void uploadCancelRequested(QString batchId);
    void loadOlderRequested(QString roomId, qlonglong beforeSeq);
    void hideMessageRequested(QString roomId, QString messageId);
    void muteUserRequested(QString roomId, QString targetUid, qlonglong expireAtMs);
    void banRequested(QString roomId, QString targetUid);
    void retagMessageRequested(QString roomId, QString messageId, qlonglong tagId);
    void renameTagRequested(QString roomId, qlonglong tagId, QString name);
    void archiveTagRequested(QString roomId, qlonglong tagId, QString mode, qlonglong targetTagId);
    void loadTagHistoryRequested(QString roomId, qlonglong tagId, qlonglong afterSeq);
    void tagOpenedReported(QString roomId, qlonglong tagId, qlonglong lastSeq);
    void feedActivated(QString roomId);
    void unsubscribeRequested(QString roomId);
    void mixedMenuRequested(QPoint globalPos);

private:
    ChatFeedView *makeFeed(const QString &roomId);

    MixedFeedView *mixed = nullptr;
    RequestBannerOverlay *overlay = nullptr;
    QHash<QString, ChatFeedView *> feeds;
    QList<FeedTab> tabs;
    QString current;
    ChatImageLoader *imageLoader = nullptr;
    std::function<bool(const QString &, const QString &, bool)> canHide;
    std::function<bool(const QString &, const QString &)> canMute;
    std::function<bool(const QString &, const QString &)> canBan;
    std::function<bool(const QString &, const QString &, bool)> canRetag;
    std::function<bool(const QString &, const QString &)> canEditTag;
    std::function<bool(const QString &)> canCreateTag;
    std::function<bool(const QString &)> canUnsubscribe;
};
