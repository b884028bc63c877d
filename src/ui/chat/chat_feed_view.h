#pragma once

#include "ui/chat/chat_pending_image.h"

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>

#include <functional>

class ChatComposeDialog;
class ChatFeedList;
class ChatImageLoader;
class ChatMessageRow;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

// One received image of a chat message; the field names are the gateway's keys.
struct ChatAttachment
{
    QString attachmentId; // the thumbnail cache key is built from it
    QString url;          // the full image
    QString thumbUrl;     // the thumbnail
    int width = 0;        // 0 when unknown
    int height = 0;
    QString contentType;
    qint64 sizeBytes = 0;
    QString fileName;
};

// The chat of one room: a scrolling list of message rows with date and gap dividers and
// compact continuation rows, an input bar, and a second page for the room's tag threads.
// The view shows only what the server delivered: a message the user sends leaves as a
// signal and appears when the server's copy comes back through appendMessage.
//
// GUI thread only.
class ChatFeedView : public QWidget
{
    Q_OBJECT
public:
    struct Message
    {
        QString id; // may be empty; such a message is never de-duplicated
        qint64 seq = 0;
        qint64 createdAt = 0; // ms since the epoch
        QString senderId;
        QString senderName;
        QString content; // chat markdown
        QString title;   // long-form posts only
        qint64 tagId = 0;
        bool own = false;
        bool hidden = false;
        QList<ChatAttachment> attachments;
    };

    struct TagInfo
    {
        qint64 tagId = 0;
        QString name;
        QString createdBy;
        QString firstMessageId;
        qint64 messageCount = 0;
        qint64 lastSeq = 0;
        qint64 unreadCount = 0;
        QString firstTitle;
        QString firstSenderName;
        QString firstContent;
        bool firstHidden = false;
    };

    using PendingImage = ChatPendingImage;

    // One item of a message list: the message, its row and the date divider placed
    // directly before it (null when the entry opened no new day). On the flat page only
    // the entries near the viewport have their widgets; the others keep what rebuilding
    // them needs (the row's flags, its revealed spoilers) and null widget pointers.
    struct Entry
    {
        Message message;
        ChatMessageRow *row = nullptr;
        QWidget *divider = nullptr;
        quint64 key = 0;        // the row's item in the flat list
        quint64 dividerKey = 0; // the date divider's item; 0 when the entry opened no new day
        bool compact = false;
        bool afterDivider = false;
        QSet<int> revealed;
    };

    // One outgoing image batch. The card widgets are guarded: clearing the feed deletes
    // the cards but keeps the batches, and later notifications must not touch them.
    struct PendingUpload
    {
        QList<ChatPendingImage> images;
        QString content;
        qint64 tagId = 0;
        QString title;
        bool isPost = false;
        QString tagName;
        QPointer<QWidget> card;
        QPointer<QProgressBar> progressBar;
        QPointer<QLabel> errorLabel;
        QPointer<QWidget> actionRow;
    };

    explicit ChatFeedView(QWidget *parent = nullptr);
    ~ChatFeedView() override;

    void appendMessage(const Message &message);
    // An older page, oldest first, inserted at the top without moving the rows in view.
    void prependHistory(const QList<Message> &page);
    void clearFeed();
    void markHidden(const QString &messageId);
    void setGapSeq(qint64 seq);
    // Marks the messages of `userId` as the user's own and every other as not, on both
    // pages. Messages mapped before the signed-in user was known came in as not own;
    // the own flag decides which message actions are offered.
    void setOwnSender(const QString &userId);

    void setTags(bool enabled, const QList<TagInfo> &tags);
    void retagMessage(const QString &messageId, qint64 tagId);
    void setTagHistory(qint64 tagId, qint64 afterSeq, const QList<Message> &messages);
    void setForumMode(bool on);
    void openThread(qint64 tagId);
    void backToTagList();
    // The tag menu, or null for no menu; the caller owns and runs it (showTagMenu does).
    QMenu *buildTagMenu(qint64 tagId, bool withOpen);
    void showTagMenu(qint64 tagId, const QPoint &globalPos, bool withOpen);
    void renameTag(qint64 tagId);
    void deleteTag(qint64 tagId);
    void onThreadScrolled(int value);
    void sendFromThreadInput();

    void setUploadProgress(const QString &batchId, int percent);
    void failUpload(const QString &batchId, const QString &reason);
    void finishUpload(const QString &batchId);

    // Result slots of a text send from an input line (flat or thread). Until one of them
    // is called the line keeps its text and is read-only, so a failed send loses nothing
    // typed.
    void sendAccepted();
    void sendFailed();

    void setImageLoader(ChatImageLoader *loader);
    void setCanHide(std::function<bool(const QString &senderId, bool own)> predicate);
    void setCanMute(std::function<bool(const QString &userId)> predicate);
    void setCanBan(std::function<bool(const QString &userId)> predicate);
    void setCanRetag(std::function<bool(const QString &senderId, bool own)> predicate);
    void setCanEditTag(std::function<bool(const QString &createdBy)> predicate);
    void setCanCreateTag(std::function<bool()> predicate);
    // Milliseconds since the epoch; dates of dividers and mute expiries use it.
    void setClock(std::function<qint64()> clock);

    // `listWidget` is the content widget of the list the row goes into; created there,
    // the row needs no reparenting (which re-resolves the style of every child). Null
    // parents it to the view.
    ChatMessageRow *makeRow(const Message &message, bool compact, bool showTagChip, QWidget *listWidget = nullptr);
    static bool canCompact(const Message &previous, const Message &next);
    QString dateLabel(qint64 ms) const;
    int indexOfMessage(const QString &id) const;

    // The message menu of a flat-page message, or null when it is not on the page. The
    // caller owns and runs it; showMessageMenu does both.
    QMenu *buildMessageMenu(const QString &messageId);
    void showMessageMenu(const QString &messageId, const QPoint &globalPos);
    void showTagPicker();
    void updateInputState();

    void openCompose(bool forThread);
    // What an accepted compose dialog turns into: a send, a post, or an image batch.
    void applyComposeResult(const ChatComposeDialog &dialog, bool forThread);

    void sendImages(const QList<ChatPendingImage> &images, const QString &content, qint64 tagId, const QString &title);
    void postImages(const QList<ChatPendingImage> &images, const QString &tagName, const QString &title,
                    const QString &content);
    void removeUploadCard(const QString &batchId);
    QList<ChatPendingImage> intakeFiles(const QStringList &paths);
    void pickImages();

    // Read access for the composition's checks and for tests.
    const QList<Entry> &flatEntries() const { return entries; }
    const QHash<QString, PendingUpload> &uploads() const { return pendingUploads; }
    qint64 oldestLoadedSeq() const { return oldestSeq; }
    qint64 gapBeforeSeq() const { return gapSeq; }
    bool isOlderExhausted() const { return olderExhausted; }
    qint64 selectedTag() const { return selectedTagId; }
    void selectTag(qint64 tagId);
    QLineEdit *inputLine() const { return input; }
    QPushButton *sendButtonWidget() const { return sendButton; }
    QPushButton *tagButtonWidget() const { return tagButton; }
    QScrollArea *flatScrollArea() const { return flatScroll; }
    ChatFeedList *flatListWidget() const { return flatCanvas; }
    QLabel *dropOverlayLabel() const { return dropOverlay; }
    bool isForumMode() const { return forumMode; }
    qint64 openThreadTag() const { return openTagId; }
    const QList<Entry> &threadPageEntries() const { return threadEntries; }
    bool isThreadCaughtUp() const { return threadCaughtUp; }
    QStackedWidget *forumPages() const { return forumStack; }
    QVBoxLayout *forumCardLayout() const { return forumList; }
    QLabel *threadTitleLabel() const { return threadTitle; }
    QLineEdit *threadInputLine() const { return threadInput; }
    QScrollArea *threadScrollArea() const { return threadScroll; }

signals:
    void sendRequested(const QString &content, qlonglong tagId, const QString &title);
    void postRequested(const QString &tagName, const QString &title, const QString &content);
    void sendImagesRequested(const QString &batchId, const QList<ChatPendingImage> &images, const QString &content,
                             qlonglong tagId, const QString &title);
    void postImagesRequested(const QString &batchId, const QList<ChatPendingImage> &images, const QString &tagName,
                             const QString &title, const QString &content);
    void imageActivated(const ChatAttachment &attachment);
    void uploadCancelRequested(const QString &batchId);
    void loadOlderRequested(qlonglong beforeSeq);
    void hideRequested(const QString &messageId);
    void muteUserRequested(const QString &targetUid, qlonglong expireAtMs);
    void banRequested(const QString &targetUid);
    void retagRequested(const QString &messageId, qlonglong tagId);
    void renameTagRequested(qlonglong tagId, const QString &name);
    void archiveTagRequested(qlonglong tagId, const QString &mode, qlonglong targetTagId);
    void forumModeChanged(bool forum);
    void loadTagHistoryRequested(qlonglong tagId, qlonglong afterSeq);
    void tagOpened(qlonglong tagId, qlonglong lastSeq);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool forumCardEvent(QObject *watched, QEvent *event);

private:
    void buildFlatPage(QWidget *page);
    void buildForumPage(QWidget *page);
    QPushButton *makeIconButton(const char *svg, const QString &toolTip);
    void installEditMenu(QLineEdit *line);
    QWidget *makeDividerRow(const QString &text, QWidget *listWidget);
    void sendFromInput();
    void showEmojiPicker();
    void onFeedScrolled(int value);
    QWidget *makeFlatWidget(int index, QWidget *parent);
    bool releaseFlatWidget(int index, QWidget *widget);
    Entry *entryForKey(quint64 key);
    void refreshFlatRow(Entry &entry);
    void addToList(QVBoxLayout *list, int index, QWidget *widget);
    void appendToThread(const Message &message);
    void clearThread();
    void rebuildForumCards();
    QWidget *makeForumCard(const TagInfo &tag);
    void enterForum();
    bool beginSend(QLineEdit *line);
    const TagInfo *findTag(qint64 tagId) const;
    QString tagName(qint64 tagId) const;

    // Image side.
    qint64 targetTagId() const;
    bool refuseWithoutTag(const QString &caption);
    QString storeFailureCard(const QString &caption, const QString &reason);
    void makeUploadCard(const QString &batchId, const QString &caption, PendingUpload &batch);
    void retryUpload(const QString &batchId);
    void sendAcceptedImages(const QList<ChatPendingImage> &images, const QString &caption);
    void placeDropOverlay();

    // Widgets.
    QStackedWidget *outerStack = nullptr;
    QStackedWidget *forumStack = nullptr;
    QScrollArea *flatScroll = nullptr;
    QWidget *flatContent = nullptr; // the flat list, as the parent of its widgets
    ChatFeedList *flatCanvas = nullptr;
    QPushButton *tagButton = nullptr;
    QLineEdit *input = nullptr;
    QPushButton *emojiButton = nullptr;
    QPushButton *imageButton = nullptr;
    QPushButton *composeButton = nullptr;
    QPushButton *sendButton = nullptr;
    QWidget *forumListContent = nullptr;
    QVBoxLayout *forumList = nullptr;
    QLabel *threadTitle = nullptr;
    QScrollArea *threadScroll = nullptr;
    QVBoxLayout *threadList = nullptr;
    QLineEdit *threadInput = nullptr;
    QLabel *dropOverlay = nullptr;

    // State.
    QList<Entry> entries;
    // An entry's index is its position minus the first entry's: a prepended page moves
    // the first position back instead of renumbering every entry.
    QHash<quint64, qint64> entryPositionByKey;
    qint64 firstEntryPosition = 0;
    // Message rows released by the list, kept hidden to show the next messages that come
    // into view: building a row (its labels polished against the style sheet) costs more
    // than filling one in again.
    QList<QPointer<ChatMessageRow>> spareRows;
    int dividerHeight = 0; // every divider has the same height; the estimate for those not yet built
    QSet<QString> seenIds;
    qint64 gapSeq = 0;
    qint64 oldestSeq = 0;
    bool loadingOlder = false;
    bool olderExhausted = false;
    bool tagsEnabled = false;
    qint64 selectedTagId = 0;
    QList<TagInfo> tags;
    QHash<QString, PendingUpload> pendingUploads;
    bool forumMode = false;
    qint64 openTagId = 0;
    QList<Entry> threadEntries;
    QSet<QString> threadSeenIds;
    qint64 threadLastSeq = 0;
    bool threadLoading = false;
    bool threadCaughtUp = false;
    bool scrollThreadOnOwn = false;
    QLineEdit *pendingSendInput = nullptr; // the line whose send awaits its result
    ChatImageLoader *imageLoader = nullptr;

    std::function<bool(const QString &, bool)> canHide;
    std::function<bool(const QString &)> canMute;
    std::function<bool(const QString &)> canBan;
    std::function<bool(const QString &, bool)> canRetag;
    std::function<bool(const QString &)> canEditTag;
    std::function<bool()> canCreateTag;
    std::function<qint64()> clock;
};

Q_DECLARE_METATYPE(ChatAttachment)
// Held by the thousand on a long feed: moved with memmove when the lists grow.
Q_DECLARE_TYPEINFO(ChatAttachment, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(ChatFeedView::Message, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(ChatFeedView::Entry, Q_RELOCATABLE_TYPE);
