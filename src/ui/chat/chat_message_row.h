#pragma once

#include "ui/chat/chat_feed_view.h"

#include <QSet>
#include <QString>
#include <QWidget>

#include <functional>

class QBoxLayout;
class QGridLayout;
class QLabel;

// One message of a room's chat: avatar letter, header with tag chip, sender and time,
// the rendered body and a grid of thumbnails. Knows nothing of services: clicks and menu
// requests leave through the callbacks the feed view installs; an empty callback is not
// called. GUI thread only.
class ChatMessageRow : public QWidget
{
    Q_OBJECT
public:
    using Message = ChatFeedView::Message;

    ChatMessageRow(const Message &message, bool compact, const QString &tagName, bool showTagChip,
                   QWidget *parent = nullptr);

    void applyMessage(const Message &message, const QString &tagName);
    // The row shows another message from now on: nothing of the previous one stays (opened
    // spoilers, hovered link, loose links shown).
    void showMessage(const Message &message, bool compact, const QString &tagName);
    void setCompact(bool compact);
    void setAfterDivider(bool afterDivider);
    void setTagChipText(const QString &text);
    void buildAttachments();

    bool isCompact() const { return compact; }
    bool isAfterDivider() const { return afterDivider; }
    const Message &currentMessage() const { return message; }
    QLabel *avatarLabel() const { return avatar; }
    QLabel *tagChipLabel() const { return tagChip; }
    QLabel *headerLabel() const { return header; }
    QLabel *bodyLabel() const { return body; }
    QWidget *thumbnailArea() const { return thumbArea; }
    const QList<QLabel *> &thumbnailLabels() const { return thumbnails; }
    const QSet<int> &revealed() const { return revealedSpoilers; }
    // A row built again for a message whose spoilers the user had opened.
    void restoreRevealed(const QSet<int> &spoilers);

    std::function<void(qint64 tagId)> onTagClicked;
    std::function<void(qint64 tagId, QPoint globalPos)> onTagMenu;
    std::function<void(QString messageId, QPoint globalPos)> onMessageMenu;
    std::function<void(QLabel *label, ChatAttachment attachment, QSize size)> loadThumbnail;
    std::function<void(ChatAttachment attachment)> onImageActivated;

    // The thumbnail box of attachment `index` of `count`: the shared box, or the image's
    // own size shrunk to fit it with its aspect ratio kept.
    static QSize thumbnailSize(const ChatAttachment &attachment, int count);

    void onLinkActivated(const QString &href);
    // The external-link prompt for a link of a message shown by `from`. The prompt runs
    // its own event loop, during which the feed may delete the row (a rebuild, a clear,
    // a row scrolled far away): it is opened on the next turn of the event loop, outside
    // the row's click handler, and parented to the window, which outlives every row.
    static void promptForLink(const QString &href, QWidget *from);
    void onLinkHovered(const QString &href);
    void refreshLooseLinks();

protected:
    void paintEvent(QPaintEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void renderBody();
    void updateAvatar();
    void applyMargins();
    void layoutChanged();

    Message message;
    QString messageId;
    qint64 tagId = 0;
    bool compact = false;
    bool afterDivider = false;
    bool showTagChip = true;
    QSet<int> revealedSpoilers;
    QString hoveredLink;
    QString hotLooseHref;
    bool looseLinksShown = false;
    QString avatarLetter;
    QString avatarStyle;

    QLabel *avatar = nullptr;
    QLabel *tagChip = nullptr;
    QLabel *header = nullptr;
    QLabel *body = nullptr;
    QWidget *thumbArea = nullptr;
    QGridLayout *thumbGrid = nullptr;
    QBoxLayout *columnLayout = nullptr;
    QBoxLayout *headerLayout = nullptr;
    QList<QLabel *> thumbnails;
};
