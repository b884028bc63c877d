#pragma once

#include "ui/chat/chat_feed_list.h"
#include "ui/chat/chat_feed_view.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class ChatFeedList;
class ChatImageLoader;
class QLabel;
class QScrollArea;

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

    // What the list item at `index` shows, whether or not it is near the viewport (only
    // those near it exist as widgets).
    struct RowInfo
    {
        bool header = false;
        QString roomId;
        QString roomName; // a header's room name and tag chip, as the resolvers give them now
        QString chipText; // empty without a tag
        QString messageId;
        qint64 tagId = 0;
        bool showsSender = false;
        QString senderLabel; // the row's own, or the one its body is indented by
    };
    RowInfo rowInfo(int index) const;

    // Read access for tests.
    const QList<Item> &storedItems() const { return items; }
    ChatFeedList *feedList() const { return list; }
    QLabel *bodyLabel(const QString &messageId) const { return bodyLabels.value(messageId); }
    int rebuildCount() const { return rebuilds; }
    QScrollArea *scrollArea() const { return scroll; }

signals:
    void roomJumpRequested(const QString &roomId);
    void imageActivated(const ChatAttachment &attachment);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // One shown item: what building its widgets again needs.
    struct Shown
    {
        Item item;
        quint64 headerKey = 0; // the room header that opens a group with this item; 0 if none
        quint64 rowKey = 0;
        bool showsSender = false;
        QString senderLabel;
        QSet<int> revealed;
    };

    void addRow(const Item &item);
    QWidget *makeRoomHeader(const Item &item, QWidget *parent);
    QWidget *makeMsgRow(const Shown &shown, QWidget *parent);
    QWidget *makeWidget(const ChatFeedList::Item &listItem, QWidget *parent);
    void releaseWidget(const ChatFeedList::Item &listItem, QWidget *widget);
    void rebuild();
    void dropOldestRow();
    void resetGrouping();

    QScrollArea *scroll = nullptr;
    ChatFeedList *list = nullptr;
    QList<Item> items;
    QSet<QString> hiddenRooms;
    QList<std::shared_ptr<Shown>> shown;               // in display order
    QHash<quint64, std::shared_ptr<Shown>> shownByKey; // by header and by row key
    QHash<QString, QLabel *> bodyLabels;
    QHash<QObject *, ChatAttachment> thumbnailAttachments;
    QString lastRoomId;
    qint64 lastTagId = -1;
    QString lastSenderId;
    QString lastSenderLabel;
    int rebuilds = 0;
};
