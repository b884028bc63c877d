#include "ui/chat/chat_feed_view.h"

#include "theme/theme_palette.h"
#include "theme/tinted_icon.h"
#include "ui/chat/chat_compose_dialog.h"
#include "ui/chat/chat_feed_list.h"
#include "ui/chat/chat_image_loader.h"
#include "ui/chat/chat_message_row.h"
#include "ui/widgets/emoji_picker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

struct MuteChoice
{
    const char *label; // UTF-8
    int minutes;
};

constexpr MuteChoice kMuteChoices[] = {
    {"5分钟", 5}, {"30分钟", 30}, {"1小时", 60}, {"6小时", 360}, {"12小时", 720},
};

QString hexOf(const char *token)
{
    return QString::fromLatin1(ThemePalette::hex(token));
}

QDate localDate(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).date();
}

QScrollArea *makeScrollArea(QWidget *parent)
{
    auto *area = new QScrollArea(parent);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return area;
}

QWidget *makeInputBar(QWidget *parent)
{
    auto *bar = new QWidget(parent);
    bar->setProperty("divider", "top");
    bar->setAttribute(Qt::WA_StyledBackground, true);
    return bar;
}

} // namespace

ChatFeedView::ChatFeedView(QWidget *parent)
    : QWidget(parent)
    , clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    outerStack = new QStackedWidget(this);
    layout->addWidget(outerStack);
    auto *flatPage = new QWidget(outerStack);
    auto *forumPage = new QWidget(outerStack);
    outerStack->addWidget(flatPage);
    outerStack->addWidget(forumPage);
    buildFlatPage(flatPage);
    buildForumPage(forumPage);
    outerStack->setCurrentIndex(0);
    setAcceptDrops(true);

    dropOverlay = new QLabel(this);
    dropOverlay->setAlignment(Qt::AlignCenter);
    dropOverlay->setStyleSheet(
        QStringLiteral("background:%1;border:2px dashed %2;color:%3;font-size:14px;font-weight:600;")
            .arg(hexOf("selectBg"), hexOf("primary"), hexOf("primaryText")));
    dropOverlay->hide();
}

ChatFeedView::~ChatFeedView() = default;

QPushButton *ChatFeedView::makeIconButton(const char *svg, const QString &toolTip)
{
    auto *button = new QPushButton(this);
    button->setProperty("compact", true);
    button->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::MinimumExpanding);
    button->setIcon(
        makeTintedIcon(QString::fromLatin1(svg), ThemePalette::color("text"), ThemePalette::color("textFaint"), 16));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(toolTip);
    return button;
}

void ChatFeedView::buildFlatPage(QWidget *page)
{
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);

    flatScroll = makeScrollArea(page);
    flatCanvas = new ChatFeedList(flatScroll, 2, 6);
    flatContent = flatCanvas;
    flatCanvas->createWidget = [this](int index, const ChatFeedList::Item &, QWidget *parent) {
        return makeFlatWidget(index, parent);
    };
    flatCanvas->widgetReleased = [this](int index, const ChatFeedList::Item &, QWidget *widget) {
        return releaseFlatWidget(index, widget);
    };
    flatCanvas->estimateHeight = [this](const ChatFeedList::Item &item) {
        if (item.kind == ChatFeedList::Kind::Divider)
            return dividerHeight > 0 ? dividerHeight : 30;
        const Entry *entry = entryForKey(item.key);
        int height = (entry && entry->compact) ? 26 : 62;
        if (entry && !entry->message.hidden && !entry->message.attachments.isEmpty())
            height += entry->message.attachments.size() == 1 ? 204 : 114 * int((entry->message.attachments.size() + 1) / 2);
        return height;
    };
    pageLayout->addWidget(flatScroll, 1);
    connect(flatScroll->verticalScrollBar(), &QScrollBar::valueChanged, this, &ChatFeedView::onFeedScrolled);

    QWidget *bar = makeInputBar(page);
    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(8, 6, 8, 6);
    barLayout->setSpacing(6);

    tagButton = new QPushButton(bar);
    tagButton->hide();
    connect(tagButton, &QPushButton::clicked, this, &ChatFeedView::showTagPicker);
    barLayout->addWidget(tagButton);

    input = new QLineEdit(bar);
    input->setPlaceholderText(QStringLiteral("输入消息..."));
    input->installEventFilter(this);
    installEditMenu(input);
    connect(input, &QLineEdit::returnPressed, this, &ChatFeedView::sendFromInput);
    barLayout->addWidget(input, 1);

    emojiButton = makeIconButton(":/icons/smile.svg", QStringLiteral("表情"));
    connect(emojiButton, &QPushButton::clicked, this, &ChatFeedView::showEmojiPicker);
    imageButton = makeIconButton(":/icons/image.svg", QStringLiteral("发送图片"));
    connect(imageButton, &QPushButton::clicked, this, &ChatFeedView::pickImages);
    composeButton = makeIconButton(":/icons/compose.svg", QStringLiteral("文本编辑器"));
    connect(composeButton, &QPushButton::clicked, this, [this] { openCompose(false); });
    sendButton = new QPushButton(QStringLiteral("发送"), bar);
    sendButton->setProperty("variant", "primary");
    connect(sendButton, &QPushButton::clicked, this, &ChatFeedView::sendFromInput);
    for (QPushButton *button : {emojiButton, imageButton, composeButton, sendButton}) {
        button->setParent(bar);
        barLayout->addWidget(button);
    }
    pageLayout->addWidget(bar);
}

void ChatFeedView::buildForumPage(QWidget *page)
{
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    forumStack = new QStackedWidget(page);
    pageLayout->addWidget(forumStack);

    QScrollArea *cardScroll = makeScrollArea(forumStack);
    forumListContent = new QWidget(cardScroll);
    forumListContent->setObjectName(QStringLiteral("chatForumList"));
    forumListContent->setAttribute(Qt::WA_StyledBackground, true);
    forumListContent->setStyleSheet(QStringLiteral("#chatForumList { background: %1; }").arg(hexOf("panelBg")));
    forumList = new QVBoxLayout(forumListContent);
    forumList->setContentsMargins(10, 10, 10, 10);
    forumList->setSpacing(8);
    forumList->addStretch();
    cardScroll->setWidget(forumListContent);
    forumStack->addWidget(cardScroll);

    auto *threadPage = new QWidget(forumStack);
    auto *threadLayout = new QVBoxLayout(threadPage);
    threadLayout->setContentsMargins(0, 0, 0, 0);
    threadLayout->setSpacing(0);
    auto *header = new QWidget(threadPage);
    header->setAttribute(Qt::WA_StyledBackground, true);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(8, 6, 8, 6);
    headerLayout->setSpacing(10);
    auto *back = new QPushButton(QStringLiteral("← 返回"), header);
    threadTitle = new QLabel(header);
    threadTitle->setStyleSheet(QStringLiteral("font-weight:bold;font-size:14px;"));
    connect(back, &QPushButton::clicked, this, &ChatFeedView::backToTagList);
    headerLayout->addWidget(back);
    headerLayout->addWidget(threadTitle);
    headerLayout->addStretch();
    threadLayout->addWidget(header);

    threadScroll = makeScrollArea(threadPage);
    auto *threadContent = new QWidget(threadScroll);
    threadList = new QVBoxLayout(threadContent);
    threadList->setContentsMargins(0, 6, 0, 6);
    threadList->setSpacing(2);
    threadList->addStretch(1);
    threadScroll->setWidget(threadContent);
    threadLayout->addWidget(threadScroll, 1);
    connect(threadScroll->verticalScrollBar(), &QScrollBar::valueChanged, this, &ChatFeedView::onThreadScrolled);

    QWidget *bar = makeInputBar(threadPage);
    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(8, 6, 8, 6);
    barLayout->setSpacing(6);
    threadInput = new QLineEdit(bar);
    threadInput->setPlaceholderText(QStringLiteral("发送消息..."));
    installEditMenu(threadInput);
    connect(threadInput, &QLineEdit::returnPressed, this, &ChatFeedView::sendFromThreadInput);
    barLayout->addWidget(threadInput, 1);
    QPushButton *threadCompose = makeIconButton(":/icons/compose.svg", QStringLiteral("文本编辑器"));
    threadCompose->setParent(bar);
    connect(threadCompose, &QPushButton::clicked, this, [this] { openCompose(true); });
    barLayout->addWidget(threadCompose);
    auto *threadSend = new QPushButton(QStringLiteral("发送"), bar);
    threadSend->setProperty("variant", "primary");
    threadSend->setObjectName(QStringLiteral("threadSendButton"));
    connect(threadSend, &QPushButton::clicked, this, &ChatFeedView::sendFromThreadInput);
    barLayout->addWidget(threadSend);
    threadLayout->addWidget(bar);
    forumStack->addWidget(threadPage);
    forumStack->setCurrentIndex(0);
}

void ChatFeedView::installEditMenu(QLineEdit *line)
{
    line->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(line, &QLineEdit::customContextMenuRequested, line, [line](const QPoint &pos) {
        QMenu menu(line);
        const bool selected = line->hasSelectedText();
        QAction *cut = menu.addAction(QStringLiteral("剪切"), line, &QLineEdit::cut);
        cut->setEnabled(selected && !line->isReadOnly());
        menu.addAction(QStringLiteral("复制"), line, &QLineEdit::copy)->setEnabled(selected);
        menu.addAction(QStringLiteral("粘贴"), line, &QLineEdit::paste)->setEnabled(!line->isReadOnly());
        menu.addAction(QStringLiteral("全选"), line, &QLineEdit::selectAll)->setEnabled(!line->text().isEmpty());
        menu.exec(line->mapToGlobal(pos));
    });
}

QWidget *ChatFeedView::makeDividerRow(const QString &text, QWidget *listWidget)
{
    auto *row = new QWidget(listWidget);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 6, 12, 6);
    layout->setSpacing(10);
    const QString lineStyle = QStringLiteral("color:%1;").arg(hexOf("border"));
    auto hairline = [&] {
        auto *line = new QFrame(row);
        line->setFrameShape(QFrame::HLine);
        line->setStyleSheet(lineStyle);
        return line;
    };
    auto *label = new QLabel(text, row);
    label->setStyleSheet(QStringLiteral("color:%1;font-size:12px;").arg(hexOf("textMuted")));
    layout->addWidget(hairline(), 1);
    layout->addWidget(label);
    layout->addWidget(hairline(), 1);
    return row;
}

void ChatFeedView::addToList(QVBoxLayout *list, int index, QWidget *widget)
{
    list->insertWidget(index, widget);
    // Shown now rather than by the layout's queued show, so the list's height and the
    // scroll positions computed from it include the widget at once. Showing a child of
    // a visible widget activates the parent's layout on the spot, a pass over every row
    // of the list; with the layout switched off the pass runs once, on the next turn of
    // the event loop, for all widgets added in this one.
    list->setEnabled(false);
    widget->show();
    list->setEnabled(true);
}

// ---- records and rows ----

void ChatFeedView::setClock(std::function<qint64()> function)
{
    clock = std::move(function);
}

QString ChatFeedView::dateLabel(qint64 ms) const
{
    const QDate date = localDate(ms);
    const QDate today = localDate(clock());
    if (date == today)
        return QStringLiteral("今天");
    if (date == today.addDays(-1))
        return QStringLiteral("昨天");
    return date.toString(QStringLiteral("M月d日"));
}

bool ChatFeedView::canCompact(const Message &previous, const Message &next)
{
    return previous.senderId == next.senderId && previous.tagId == next.tagId
           && localDate(previous.createdAt) == localDate(next.createdAt);
}

int ChatFeedView::indexOfMessage(const QString &id) const
{
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).message.id == id)
            return i;
    }
    return -1;
}

const ChatFeedView::TagInfo *ChatFeedView::findTag(qint64 tagId) const
{
    for (const TagInfo &tag : tags) {
        if (tag.tagId == tagId)
            return &tag;
    }
    return nullptr;
}

QString ChatFeedView::tagName(qint64 tagId) const
{
    const TagInfo *tag = findTag(tagId);
    return tag ? tag->name : QString();
}

ChatMessageRow *ChatFeedView::makeRow(const Message &message, bool compact, bool showTagChip, QWidget *listWidget)
{
    auto *row =
        new ChatMessageRow(message, compact, tagName(message.tagId), showTagChip, listWidget ? listWidget : this);
    row->onTagClicked = [this](qint64 tagId) {
        if (tagsEnabled && tagId > 0)
            selectTag(tagId);
    };
    // The menus run their own event loop, during which the row may be released (it scrolled
    // far away, the feed was cleared): they open from the event loop, outside the row's
    // event handler, and belong to the view.
    row->onTagMenu = [this](qint64 tagId, QPoint globalPos) {
        if (tagId > 0)
            QTimer::singleShot(0, this, [this, tagId, globalPos] { showTagMenu(tagId, globalPos, true); });
    };
    row->onMessageMenu = [this](const QString &messageId, QPoint globalPos) {
        if (!messageId.isEmpty())
            QTimer::singleShot(0, this, [this, messageId, globalPos] { showMessageMenu(messageId, globalPos); });
    };
    row->loadThumbnail = [this](QLabel *label, const ChatAttachment &attachment, QSize size) {
        if (!imageLoader)
            return;
        const QString key = attachment.attachmentId + QStringLiteral("@%1x%2").arg(size.width()).arg(size.height());
        QPointer<QLabel> target(label);
        imageLoader->load(key, attachment.thumbUrl, size, devicePixelRatioF(), label, [target](const QPixmap &pixmap) {
            if (target && !pixmap.isNull())
                target->setPixmap(pixmap);
        });
    };
    row->onImageActivated = [this](const ChatAttachment &attachment) { emit imageActivated(attachment); };
    if (!message.attachments.isEmpty())
        row->buildAttachments();
    return row;
}

// ---- flat page ----

void ChatFeedView::appendMessage(const Message &m)
{
    if (m.id.isEmpty() || !seenIds.contains(m.id)) {
        if (!m.id.isEmpty())
            seenIds.insert(m.id);
        if (oldestSeq == 0)
            oldestSeq = m.seq;
        bool gapAdded = false;
        if (gapSeq > 0 && gapSeq == m.seq) {
            flatCanvas->append(ChatFeedList::Kind::Divider, QStringLiteral("⚠ 连接中断，期间消息未同步"));
            gapAdded = true;
        }
        Entry entry;
        entry.message = m;
        if (!entries.isEmpty() && localDate(m.createdAt) == localDate(entries.last().message.createdAt)) {
            entry.compact = !gapAdded && canCompact(entries.last().message, m);
            entry.afterDivider = !entry.compact && gapAdded;
        } else {
            entry.dividerKey = flatCanvas->append(ChatFeedList::Kind::Divider, dateLabel(m.createdAt));
            entry.afterDivider = true;
        }
        entry.key = flatCanvas->newKey();
        entries.append(entry);
        entryPositionByKey.insert(entry.key, firstEntryPosition + entries.size() - 1);
        // The user's own message brings the view to the bottom; anyone else's follows the
        // bottom only when the user is there and not reading older messages.
        if (m.own)
            flatCanvas->scrollToBottom();
        flatCanvas->append(ChatFeedList::Kind::Row, QString(), nullptr, entry.key);
        // The divider widget exists only once its item is near the viewport.
        Entry &added = entries.last();
        if (added.dividerKey != 0)
            added.divider = flatCanvas->widgetOf(added.dividerKey);
    }

    if (openTagId > 0 && m.tagId == openTagId && threadCaughtUp && !threadSeenIds.contains(m.id)) {
        appendToThread(m);
        threadLastSeq = qMax(threadLastSeq, m.seq);
        if (m.own && scrollThreadOnOwn) {
            scrollThreadOnOwn = false;
            QTimer::singleShot(0, this, [this] {
                threadScroll->verticalScrollBar()->setValue(threadScroll->verticalScrollBar()->maximum());
            });
        }
    }
}

void ChatFeedView::prependHistory(const QList<Message> &page)
{
    loadingOlder = false;
    if (page.isEmpty()) {
        olderExhausted = true;
        return;
    }
    QList<Entry> fresh;
    QList<ChatFeedList::Item> items;
    for (const Message &p : page) {
        if (!p.id.isEmpty()) {
            if (seenIds.contains(p.id))
                continue;
            seenIds.insert(p.id);
        }
        Entry entry;
        entry.message = p;
        if (!fresh.isEmpty() && localDate(p.createdAt) == localDate(fresh.last().message.createdAt)) {
            entry.compact = canCompact(fresh.last().message, p);
        } else {
            ChatFeedList::Item divider;
            divider.kind = ChatFeedList::Kind::Divider;
            divider.key = flatCanvas->newKey();
            divider.text = dateLabel(p.createdAt);
            items.append(divider);
            entry.dividerKey = divider.key;
            entry.afterDivider = true;
        }
        ChatFeedList::Item row;
        row.kind = ChatFeedList::Kind::Row;
        row.key = entry.key = flatCanvas->newKey();
        items.append(row);
        fresh.append(entry);
    }
    if (fresh.isEmpty())
        return;
    oldestSeq = fresh.first().message.seq;

    quint64 seamDivider = 0;
    if (!entries.isEmpty()) {
        Entry &seam = entries.first();
        if (seam.dividerKey != 0 && localDate(seam.message.createdAt) == localDate(fresh.last().message.createdAt)) {
            seamDivider = seam.dividerKey;
            seam.dividerKey = 0;
            seam.divider = nullptr;
            seam.afterDivider = false;
            seam.compact = canCompact(fresh.last().message, seam.message);
            if (seam.row) {
                seam.row->setAfterDivider(false);
                seam.row->setCompact(seam.compact);
            }
        }
    }
    const quint64 seamKey = entries.isEmpty() ? 0 : entries.first().key;
    firstEntryPosition -= fresh.size();
    for (qsizetype i = fresh.size() - 1; i >= 0; --i) {
        entryPositionByKey.insert(fresh.at(i).key, firstEntryPosition + i);
        entries.prepend(std::move(fresh[i]));
    }
    if (seamDivider != 0)
        flatCanvas->remove(seamDivider);
    if (seamKey != 0)
        flatCanvas->invalidate(seamKey);
    // The list keeps the rows in view where they were.
    flatCanvas->prepend(items);
    for (Entry &entry : entries) {
        if (entry.dividerKey != 0 && !entry.divider)
            entry.divider = flatCanvas->widgetOf(entry.dividerKey);
        if (entry.key == seamKey)
            break;
    }
}

ChatFeedView::Entry *ChatFeedView::entryForKey(quint64 key)
{
    const auto it = entryPositionByKey.constFind(key);
    if (it == entryPositionByKey.constEnd())
        return nullptr;
    const qint64 index = *it - firstEntryPosition;
    return index >= 0 && index < entries.size() ? &entries[index] : nullptr;
}

QWidget *ChatFeedView::makeFlatWidget(int index, QWidget *parent)
{
    const ChatFeedList::Item &item = flatCanvas->at(index);
    if (item.kind == ChatFeedList::Kind::Divider) {
        QWidget *divider = makeDividerRow(item.text, parent);
        if (index + 1 < flatCanvas->count() && flatCanvas->at(index + 1).kind == ChatFeedList::Kind::Row) {
            Entry *entry = entryForKey(flatCanvas->at(index + 1).key);
            if (entry && entry->dividerKey == item.key)
                entry->divider = divider;
        }
        if (dividerHeight == 0)
            dividerHeight = divider->sizeHint().height();
        return divider;
    }
    Entry *entry = entryForKey(item.key);
    if (!entry)
        return nullptr;
    ChatMessageRow *row = nullptr;
    while (!row && !spareRows.isEmpty())
        row = spareRows.takeLast();
    if (row)
        row->showMessage(entry->message, entry->compact, tagName(entry->message.tagId));
    else
        row = makeRow(entry->message, entry->compact, true, parent);
    if (entry->afterDivider)
        row->setAfterDivider(true);
    if (!entry->revealed.isEmpty())
        row->restoreRevealed(entry->revealed);
    entry->row = row;
    return row;
}

bool ChatFeedView::releaseFlatWidget(int index, QWidget *widget)
{
    constexpr qsizetype kSpareRows = 8;
    const ChatFeedList::Item &item = flatCanvas->at(index);
    if (item.kind == ChatFeedList::Kind::Divider) {
        if (index + 1 < flatCanvas->count() && flatCanvas->at(index + 1).kind == ChatFeedList::Kind::Row) {
            Entry *entry = entryForKey(flatCanvas->at(index + 1).key);
            if (entry && entry->divider == widget)
                entry->divider = nullptr;
        }
        return false;
    }
    Entry *entry = entryForKey(item.key);
    if (entry && entry->row == widget) {
        entry->revealed = entry->row->revealed();
        entry->row = nullptr;
    }
    auto *row = qobject_cast<ChatMessageRow *>(widget);
    if (!row || spareRows.size() >= kSpareRows)
        return false;
    spareRows.append(row);
    return true;
}

void ChatFeedView::refreshFlatRow(Entry &entry)
{
    if (entry.row)
        entry.row->applyMessage(entry.message, tagName(entry.message.tagId));
    flatCanvas->invalidate(entry.key);
}

void ChatFeedView::onFeedScrolled(int value)
{
    if (value > 0 || loadingOlder || olderExhausted || oldestSeq == 0)
        return;
    loadingOlder = true;
    emit loadOlderRequested(oldestSeq);
}

void ChatFeedView::clearFeed()
{
    flatCanvas->clear();
    entries.clear();
    entryPositionByKey.clear();
    firstEntryPosition = 0;
    seenIds.clear();
    oldestSeq = 0;
    loadingOlder = false;
    olderExhausted = false;
    if (openTagId > 0) {
        openTagId = 0;
        clearThread();
        rebuildForumCards();
        forumStack->setCurrentIndex(0);
    }
}

void ChatFeedView::markHidden(const QString &messageId)
{
    auto hide = [](Entry &entry) {
        entry.message.hidden = true;
        entry.message.content.clear();
        entry.message.title.clear();
    };
    const int index = indexOfMessage(messageId);
    if (index >= 0) {
        hide(entries[index]);
        refreshFlatRow(entries[index]);
    }
    for (Entry &entry : threadEntries) {
        if (entry.message.id == messageId) {
            hide(entry);
            entry.row->applyMessage(entry.message, QString());
            break;
        }
    }
}

void ChatFeedView::setOwnSender(const QString &userId)
{
    for (QList<Entry> *list : {&entries, &threadEntries}) {
        for (Entry &entry : *list)
            entry.message.own = !userId.isEmpty() && entry.message.senderId == userId;
    }
}

void ChatFeedView::setGapSeq(qint64 seq)
{
    gapSeq = seq;
}

void ChatFeedView::appendToThread(const Message &message)
{
    if (!message.id.isEmpty())
        threadSeenIds.insert(message.id);
    const int insertAt = threadList->count() - 1; // before the final stretch
    QWidget *divider = nullptr;
    ChatMessageRow *row = nullptr;
    if (threadEntries.isEmpty() || localDate(threadEntries.last().message.createdAt) != localDate(message.createdAt)) {
        divider = makeDividerRow(dateLabel(message.createdAt), threadList->parentWidget());
        addToList(threadList, insertAt, divider);
        row = makeRow(message, false, false, threadList->parentWidget());
        row->setAfterDivider(true);
    } else {
        row = makeRow(message, canCompact(threadEntries.last().message, message), false, threadList->parentWidget());
    }
    addToList(threadList, threadList->count() - 1, row);
    Entry entry;
    entry.message = message;
    entry.row = row;
    entry.divider = divider;
    threadEntries.append(entry);
}

// ---- tags on the flat page ----

void ChatFeedView::setTags(bool enabled, const QList<TagInfo> &list)
{
    tagsEnabled = enabled;
    tags = list;
    if (!findTag(selectedTagId))
        selectedTagId = 0;
    updateInputState();
    for (Entry &entry : entries) {
        if (entry.message.tagId <= 0)
            continue;
        const TagInfo *tag = findTag(entry.message.tagId);
        if (entry.row && tag && !tag->name.isEmpty())
            entry.row->setTagChipText(tag->name);
    }
    rebuildForumCards();
    if (openTagId > 0) {
        const TagInfo *open = findTag(openTagId);
        if (!open || open->name.isEmpty()) {
            openTagId = 0;
            clearThread();
            rebuildForumCards();
            forumStack->setCurrentIndex(0);
        } else {
            threadTitle->setText(open->name);
        }
    }
}

void ChatFeedView::retagMessage(const QString &messageId, qint64 tagId)
{
    const int index = indexOfMessage(messageId);
    if (index < 0)
        return;
    Entry &entry = entries[index];
    entry.message.tagId = tagId;
    refreshFlatRow(entry);
}

void ChatFeedView::selectTag(qint64 tagId)
{
    selectedTagId = tagId;
    updateInputState();
    input->setFocus();
}

void ChatFeedView::updateInputState()
{
    tagButton->setVisible(tagsEnabled);
    bool usable = true;
    if (!tagsEnabled) {
        selectedTagId = 0;
    } else if (selectedTagId <= 0) {
        tagButton->setText(QStringLiteral("选择标签 ▴"));
        usable = false;
    } else {
        tagButton->setText(QStringLiteral("%1 ▴").arg(tagName(selectedTagId)));
    }
    input->setEnabled(usable);
    input->setPlaceholderText(usable ? QStringLiteral("输入消息...")
                                     : QStringLiteral("必须选择一个标签才能使用文字聊天"));
    sendButton->setEnabled(usable && pendingSendInput != input);
}

void ChatFeedView::showTagPicker()
{
    if (tags.isEmpty())
        return;
    QMenu menu(this);
    for (const TagInfo &tag : tags) {
        const qint64 id = tag.tagId;
        menu.addAction(tag.name, this, [this, id] { selectTag(id); });
    }
    const QPoint topLeft = tagButton->mapToGlobal(QPoint(0, 0));
    menu.exec(topLeft - QPoint(0, menu.sizeHint().height()));
}

// ---- sending text ----

void ChatFeedView::sendFromInput()
{
    if (tagsEnabled && selectedTagId <= 0)
        return;
    const QString text = input->text().trimmed();
    if (text.isEmpty() || !beginSend(input))
        return;
    sendButton->setEnabled(false);
    emit sendRequested(text, tagsEnabled ? selectedTagId : 0, QString());
}

bool ChatFeedView::beginSend(QLineEdit *line)
{
    // The text stays in its line, read-only, until the composition reports the send
    // accepted; a failed send gives it back for editing. One send is open at a time.
    if (pendingSendInput)
        return false;
    pendingSendInput = line;
    line->setReadOnly(true);
    return true;
}

void ChatFeedView::sendAccepted()
{
    QLineEdit *line = pendingSendInput;
    if (!line)
        return;
    pendingSendInput = nullptr;
    line->clear();
    line->setReadOnly(false);
    updateInputState();
}

void ChatFeedView::sendFailed()
{
    QLineEdit *line = pendingSendInput;
    if (!line)
        return;
    pendingSendInput = nullptr;
    line->setReadOnly(false);
    updateInputState();
}

void ChatFeedView::showEmojiPicker()
{
    auto *picker = new EmojiPicker(this);
    connect(picker, &EmojiPicker::emojiPicked, this, [this](const QString &emoji) {
        input->insert(emoji);
        input->setFocus();
    });
    picker->showAbove(emojiButton);
}

void ChatFeedView::openCompose(bool forThread)
{
    QList<ChatComposeDialog::TagEntry> tagEntries;
    for (const TagInfo &tag : tags)
        tagEntries.append({tag.tagId, tag.name, tag.messageCount});
    const qint64 initial = forThread ? openTagId : selectedTagId;
    ChatComposeDialog dialog(tagsEnabled, initial, tagEntries, canCreateTag && canCreateTag(), forThread, this);
    if (dialog.exec() == QDialog::Accepted)
        applyComposeResult(dialog, forThread);
}

void ChatFeedView::applyComposeResult(const ChatComposeDialog &dialog, bool forThread)
{
    const QList<ChatPendingImage> images = dialog.images();
    if (dialog.createsNewTag()) {
        if (!images.isEmpty())
            postImages(images, dialog.newTagName(), dialog.title(), dialog.content());
        else
            emit postRequested(dialog.newTagName(), dialog.title(), dialog.content());
        return;
    }
    if (forThread)
        scrollThreadOnOwn = true;
    const qint64 tag = tagsEnabled ? dialog.tagId() : 0;
    if (!images.isEmpty())
        sendImages(images, dialog.content(), tag, dialog.title());
    else
        emit sendRequested(dialog.content(), tag, dialog.title());
}

// ---- message menu ----

QMenu *ChatFeedView::buildMessageMenu(const QString &messageId)
{
    const int index = indexOfMessage(messageId);
    if (index < 0)
        return nullptr;
    const Message m = entries.at(index).message;
    auto *menu = new QMenu(this);

    QAction *hide =
        menu->addAction(QStringLiteral("隐藏此消息"), this, [this, messageId] { emit hideRequested(messageId); });
    hide->setEnabled(canHide && canHide(m.senderId, m.own));

    QMenu *mute = menu->addMenu(QStringLiteral("禁言此用户"));
    for (const MuteChoice &choice : kMuteChoices) {
        const qint64 minutes = choice.minutes;
        mute->addAction(QString::fromUtf8(choice.label), this, [this, sender = m.senderId, minutes] {
            emit muteUserRequested(sender, clock() + minutes * 60000);
        });
    }
    mute->setEnabled(!m.own && canMute && canMute(m.senderId));

    QAction *ban =
        menu->addAction(QStringLiteral("封禁此用户"), this, [this, sender = m.senderId, name = m.senderName] {
            const auto answer =
                QMessageBox::question(this, QStringLiteral("封禁用户"),
                                      QStringLiteral("确定封禁「%1」？封禁后将被移出且无法再进入此房间。").arg(name),
                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
            if (answer == QMessageBox::Yes)
                emit banRequested(sender);
        });
    ban->setEnabled(!m.own && canBan && canBan(m.senderId));

    QMenu *retag = menu->addMenu(QStringLiteral("修改消息所属标签"));
    for (const TagInfo &tag : tags) {
        if (tag.tagId == m.tagId)
            continue;
        const qint64 id = tag.tagId;
        retag->addAction(tag.name, this, [this, messageId, id] { emit retagRequested(messageId, id); });
    }
    const TagInfo *current = findTag(m.tagId);
    const bool isFirstOfTag = current && current->firstMessageId == messageId;
    retag->setEnabled(tagsEnabled && !isFirstOfTag && canRetag && canRetag(m.senderId, m.own)
                      && !retag->actions().isEmpty());
    return menu;
}

void ChatFeedView::showMessageMenu(const QString &messageId, const QPoint &globalPos)
{
    QMenu *menu = buildMessageMenu(messageId);
    if (!menu)
        return;
    menu->exec(globalPos);
    delete menu;
}

// ---- predicates and loader ----

void ChatFeedView::setImageLoader(ChatImageLoader *loader)
{
    imageLoader = loader;
}

void ChatFeedView::setCanHide(std::function<bool(const QString &, bool)> predicate)
{
    canHide = std::move(predicate);
}

void ChatFeedView::setCanMute(std::function<bool(const QString &)> predicate)
{
    canMute = std::move(predicate);
}

void ChatFeedView::setCanBan(std::function<bool(const QString &)> predicate)
{
    canBan = std::move(predicate);
}

void ChatFeedView::setCanRetag(std::function<bool(const QString &, bool)> predicate)
{
    canRetag = std::move(predicate);
}

void ChatFeedView::setCanEditTag(std::function<bool(const QString &)> predicate)
{
    canEditTag = std::move(predicate);
}

void ChatFeedView::setCanCreateTag(std::function<bool()> predicate)
{
    canCreateTag = std::move(predicate);
}
