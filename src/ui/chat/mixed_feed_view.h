#pragma once

#include "ui/chat/chat_feed_view.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>

#include <functional>

class ChatImageLoader;
class QLabel;
class QScrollArea;
class QVBoxLayout;

// The read-only stream of every followed room's messages in arrival order, grouped
// under room headers, at most 500 messages. Knows no rooms, users or tags of its own:
// the composition feeds it items and assigns the name resolvers. GUI thread only.
class MixedFeedView : public QWidget
{
    Q_OBJECT
public:
    struct Item
    {
        QString roomId;
        QString messageId;
        qint64 seq = 0;
        qint64 sentAt = 0; // ms since the epoch
        QString senderId;
        QString content;
        qint64 tagId = 0; // below 1: none
        bool hidden = false;
        QList<ChatAttachment> attachments;
    };

    static constexpr int kMaxItems = 500;

    explicit MixedFeedView(QWidget *parent = nullptr);

    void appendItem(const Item &item);
    void markHidden(const QString &roomId, const QString &messageId);
    void retagMessage(const QString &roomId, const QString &messageId, qint64 tagId);
    void setRooms(const QStringList &roomIds);
    void setRoomVisible(const QString &roomId, bool visible);

    std::function<QString(const QString &roomId)> roomNameResolver;
    std::function<QString(const QString &roomId)> channelNameResolver;
    std::function<QString(const QString &userId)> userNameResolver;
    std::function<QString(const QString &roomId, qint64 tagId)> tagNameResolver;
    ChatImageLoader *imageLoader = nullptr;

    // Rooms whose messages are kept but not shown (the wiring reads them for its menu).
    const QSet<QString> &hiddenRoomIds() const { return hiddenRooms; }

    // Read access for tests.
    const QList<Item> &storedItems() const { return items; }
    QVBoxLayout *rowLayout() const { return listLayout; }
    QLabel *bodyLabel(const QString &messageId) const { return bodyLabels.value(messageId); }
    int rebuildCount() const { return rebuilds; }
    QScrollArea *scrollArea() const { return scroll; }

signals:
    void roomJumpRequested(const QString &roomId);
    void imageActivated(const ChatAttachment &attachment);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addRow(const Item &item);
    QWidget *makeRoomHeader(const Item &item);
    QWidget *makeMsgRow(const Item &item, bool showSender);
    void rebuild();
    void addToList(QWidget *widget);
    void scrollToBottomLater();
    void dropOldestRow();
    void discardWidget(QWidget *widget);
    void captureAnchor();

    // The widgets of one shown item, in display order.
    struct ShownRow
    {
        QWidget *header = nullptr; // the room header that opened a group with this item
        QWidget *row = nullptr;
        bool showsSender = false;
    };

    QScrollArea *scroll = nullptr;
    QWidget *content = nullptr;
    QVBoxLayout *listLayout = nullptr;
    QList<Item> items;
    QSet<QString> hiddenRooms;
    QHash<QString, QLabel *> bodyLabels;
    QHash<QObject *, ChatAttachment> thumbnailAttachments;
    QString lastRoomId;
    qint64 lastTagId = -1;
    QString lastSenderId;
    QString lastSenderLabel;
    QList<ShownRow> shown;
    int rebuilds = 0;
    bool scrollScheduled = false;
    // The user is at the bottom: new messages scroll into view. Otherwise the row at the
    // top of the viewport keeps its place.
    bool following = true;
    bool programmaticScroll = false;
    QPointer<QWidget> anchor;
    int anchorOffset = 0;
};
