// The tag side of the chat feed: the forum page with one card per tag, the thread page
// of one tag read page by page from its first message, and the tag menu with renaming
// and deleting. Nothing changes here before the server answers: renames, deletions and
// sends show with the next tag list, history page or message.

#include "ui/chat/chat_feed_view.h"

#include "theme/theme_palette.h"
#include "ui/chat/chat_message_row.h"
#include "ui/chat/tag_archive_dialog.h"

#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kThreadPageSize = 50;
constexpr int kPreviewLength = 40;
constexpr int kTagNameLength = 20;

QString hexOf(const char *token)
{
    return QString::fromLatin1(ThemePalette::hex(token));
}

} // namespace

void ChatFeedView::enterForum()
{
    forumMode = true;
    outerStack->setCurrentIndex(1);
    openTagId = 0;
    clearThread();
    rebuildForumCards();
    forumStack->setCurrentIndex(0);
}

void ChatFeedView::setForumMode(bool on)
{
    if (on == forumMode)
        return;
    if (on) {
        enterForum();
    } else {
        // Leaving keeps the thread page as it is, unseen.
        forumMode = false;
        outerStack->setCurrentIndex(0);
    }
    emit forumModeChanged(on);
}

void ChatFeedView::openThread(qint64 tagId)
{
    if (tagId <= 0)
        return;
    if (!forumMode) {
        enterForum();
        emit forumModeChanged(true);
    }
    const TagInfo *tag = findTag(tagId);
    threadTitle->setText(tag ? tag->name : QString());
    clearThread();
    openTagId = tagId;
    threadLoading = true;
    forumStack->setCurrentIndex(1);
    emit tagOpened(tagId, tag ? tag->lastSeq : 0);
    emit loadTagHistoryRequested(tagId, 0);
}

void ChatFeedView::backToTagList()
{
    openTagId = 0;
    clearThread();
    rebuildForumCards();
    forumStack->setCurrentIndex(0);
}

void ChatFeedView::clearThread()
{
    while (threadList->count() > 1) {
        QLayoutItem *item = threadList->takeAt(0);
        // Deferred: a menu or prompt that the row opened may still be running.
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    threadEntries.clear();
    threadSeenIds.clear();
    openTagId = 0;
    threadLastSeq = 0;
    threadLoading = false;
    threadCaughtUp = false;
    scrollThreadOnOwn = false;
}

QWidget *ChatFeedView::makeForumCard(const TagInfo &tag)
{
    auto *card = new QWidget(forumListContent);
    card->setObjectName(QStringLiteral("chatForumCard"));
    card->setAttribute(Qt::WA_StyledBackground, true);
    card->setStyleSheet(QStringLiteral("#chatForumCard { background: %1; border: 1px solid %2; }")
                            .arg(hexOf("white"), hexOf("border")));
    card->setCursor(Qt::PointingHandCursor);
    card->setProperty("tagId", QVariant::fromValue<qint64>(tag.tagId));
    card->installEventFilter(this);
    auto *layout = new QHBoxLayout(card);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(10);

    auto *left = new QVBoxLayout;
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(3);
    const QString displayTitle = (tag.firstHidden || tag.firstTitle.isEmpty()) ? tag.name : tag.firstTitle;
    auto *title =
        new QLabel(QStringLiteral("<span style=\"background-color:%1;color:%2;font-size:11px;\">&nbsp;%3&nbsp;</span> "
                                  "<b style=\"font-size:15px;\">%4</b>")
                       .arg(hexOf("selectBg"), hexOf("primaryText"), tag.name.toHtmlEscaped(),
                            displayTitle.toHtmlEscaped()),
                   card);
    title->setTextFormat(Qt::RichText);
    QString body = tag.firstHidden ? QStringLiteral("（消息被隐藏）") : tag.firstContent;
    if (body.size() > kPreviewLength)
        body = body.left(kPreviewLength) + QStringLiteral("…");
    const QString previewText = (tag.firstSenderName.isEmpty() && body.isEmpty())
                                    ? QStringLiteral("还没有消息")
                                    : QStringLiteral("%1：%2").arg(tag.firstSenderName, body);
    auto *preview = new QLabel(previewText, card);
    preview->setTextFormat(Qt::PlainText);
    preview->setStyleSheet(QStringLiteral("color:%1;font-size:12px;").arg(hexOf("textSub")));
    left->addWidget(title);
    left->addWidget(preview);
    layout->addLayout(left, 1);

    auto *rightWidget = new QWidget(card);
    rightWidget->setFixedWidth(96);
    auto *right = new QVBoxLayout(rightWidget);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(3);
    const QString statStyle = QStringLiteral("color:%1;font-size:11px;").arg(hexOf("textMuted"));
    const qint64 read = tag.messageCount - tag.unreadCount;
    auto *lastOpened =
        new QLabel(read >= 1 ? QStringLiteral("最后打开：%1条").arg(read) : QStringLiteral("最后打开：无"),
                   rightWidget);
    auto *total = new QLabel(QStringLiteral("总共消息：%1条").arg(tag.messageCount), rightWidget);
    lastOpened->setStyleSheet(statStyle);
    total->setStyleSheet(statStyle);
    right->addWidget(lastOpened);
    right->addWidget(total);
    layout->addWidget(rightWidget, 0, Qt::AlignVCenter);

    // The labels pass presses on to the card.
    for (QLabel *label : card->findChildren<QLabel *>())
        label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    return card;
}

void ChatFeedView::rebuildForumCards()
{
    while (forumList->count() > 1) {
        QLayoutItem *item = forumList->takeAt(0);
        delete item->widget();
        delete item;
    }
    for (const TagInfo &tag : tags)
        forumList->insertWidget(forumList->count() - 1, makeForumCard(tag));
}

bool ChatFeedView::forumCardEvent(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress || watched->objectName() != QLatin1String("chatForumCard"))
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const qint64 tagId = watched->property("tagId").toLongLong();
    if (mouse->button() == Qt::LeftButton) {
        openThread(tagId);
        return true;
    }
    if (mouse->button() == Qt::RightButton) {
        const QPointF global = mouse->globalPosition();
        showTagMenu(tagId, QPoint(int(std::lround(global.x())), int(std::lround(global.y()))), false);
        return true;
    }
    return false;
}

void ChatFeedView::setTagHistory(qint64 tagId, qint64 afterSeq, const QList<Message> &messages)
{
    if (!forumMode || tagId != openTagId)
        return;
    threadLoading = false;
    if (afterSeq == 0 && !threadEntries.isEmpty()) {
        clearThread();
        openTagId = tagId;
    }
    for (const Message &m : messages) {
        if (!m.id.isEmpty() && threadSeenIds.contains(m.id))
            continue;
        appendToThread(m);
        threadLastSeq = qMax(threadLastSeq, m.seq);
    }
    threadCaughtUp = messages.size() < kThreadPageSize;
    if (scrollThreadOnOwn && messages.size() < kThreadPageSize) {
        scrollThreadOnOwn = false;
        QTimer::singleShot(0, this, [this] {
            threadScroll->verticalScrollBar()->setValue(threadScroll->verticalScrollBar()->maximum());
        });
    }
}

void ChatFeedView::onThreadScrolled(int value)
{
    if (openTagId <= 0 || threadLoading || threadCaughtUp || value < threadScroll->verticalScrollBar()->maximum())
        return;
    threadLoading = true;
    emit loadTagHistoryRequested(openTagId, threadLastSeq);
}

void ChatFeedView::sendFromThreadInput()
{
    const QString text = threadInput->text().trimmed();
    if (text.isEmpty() || openTagId <= 0 || !beginSend(threadInput))
        return;
    scrollThreadOnOwn = true;
    emit sendRequested(text, openTagId, QString());
}

QMenu *ChatFeedView::buildTagMenu(qint64 tagId, bool withOpen)
{
    const TagInfo *tag = findTag(tagId);
    auto *menu = new QMenu(this);
    if (withOpen) {
        QAction *open = menu->addAction(QStringLiteral("打开帖子视图"), this, [this, tagId] { openThread(tagId); });
        open->setEnabled(tag != nullptr);
    }
    const bool editable = tag && canEditTag && canEditTag(tag->createdBy);
    menu->addAction(QStringLiteral("重命名标签"), this, [this, tagId] { renameTag(tagId); })->setEnabled(editable);
    menu->addAction(QStringLiteral("删除标签"), this, [this, tagId] { deleteTag(tagId); })->setEnabled(editable);
    return menu;
}

void ChatFeedView::showTagMenu(qint64 tagId, const QPoint &globalPos, bool withOpen)
{
    QMenu *menu = buildTagMenu(tagId, withOpen);
    menu->exec(globalPos);
    delete menu;
}

void ChatFeedView::renameTag(qint64 tagId)
{
    const QString current = tagName(tagId);
    bool ok = false;
    const QString answer = QInputDialog::getText(this, QStringLiteral("重命名标签"), QStringLiteral("新标签名"),
                                                 QLineEdit::Normal, current, &ok);
    const QString name = answer.trimmed().left(kTagNameLength);
    if (ok && !name.isEmpty() && name != current)
        emit renameTagRequested(tagId, name);
}

void ChatFeedView::deleteTag(qint64 tagId)
{
    QList<TagArchiveDialog::TagChoice> choices;
    for (const TagInfo &tag : tags) {
        if (tag.tagId != tagId)
            choices.append({tag.tagId, tag.name});
    }
    TagArchiveDialog dialog(tagName(tagId), choices, this);
    if (dialog.exec() == QDialog::Accepted)
        emit archiveTagRequested(tagId, dialog.mode(), dialog.targetTagId());
}
