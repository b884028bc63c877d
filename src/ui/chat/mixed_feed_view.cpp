#include "ui/chat/mixed_feed_view.h"

#include "ui/chat/chat_feed_list.h"

#include "theme/theme_palette.h"
#include "ui/chat/chat_image_loader.h"
#include "ui/chat/chat_markdown.h"
#include "ui/chat/chat_message_row.h"
#include "ui/chat/chat_text_label.h"
#include "ui/widgets/ctrl_key_watcher.h"
#include "ui/widgets/external_link.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {

QString hexOf(const char *token)
{
    return QString::fromLatin1(ThemePalette::hex(token));
}

QString hiddenText()
{
    return QStringLiteral("<span style=\"color:%1;\">（消息被隐藏）</span>").arg(hexOf("textFaint"));
}

// What the handlers of one shown body share; lives as long as the row.
struct BodyState
{
    QString content;
    QSet<int> revealed;
    QString hovered;
    QString hotLoose;
    bool ctrlShown = false;
    bool hasLoose = false;
};

void renderBody(QLabel *label, const BodyState &state)
{
    label->setText(renderMarkdown(state.content, &state.revealed, state.hotLoose, state.ctrlShown));
}

void refreshLoose(QLabel *label, BodyState &state)
{
    if (!state.hasLoose)
        return;
    const bool held = CtrlKeyWatcher::instance()->held();
    const QString hot = (held && state.hovered.startsWith(QLatin1String("loose:"))) ? state.hovered : QString();
    if (held == state.ctrlShown && hot == state.hotLoose)
        return;
    state.ctrlShown = held;
    state.hotLoose = hot;
    renderBody(label, state);
}

} // namespace

MixedFeedView::MixedFeedView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list = new ChatFeedList(scroll, 0, 6);
    list->createWidget = [this](int, const ChatFeedList::Item &listItem, QWidget *into) {
        return makeWidget(listItem, into);
    };
    list->widgetReleased = [this](int, const ChatFeedList::Item &listItem, QWidget *widget) {
        releaseWidget(listItem, widget);
        return false;
    };
    list->estimateHeight = [this](const ChatFeedList::Item &listItem) {
        if (listItem.kind == ChatFeedList::Kind::Divider)
            return 26;
        const std::shared_ptr<Shown> entry = shownByKey.value(listItem.key);
        if (!entry || entry->item.hidden || entry->item.attachments.isEmpty())
            return 26;
        const qsizetype count = entry->item.attachments.size();
        return 30 + (count == 1 ? 200 : 114 * int((count + 1) / 2));
    };
    layout->addWidget(scroll, 1);

    auto *bar = new QWidget(this);
    bar->setProperty("divider", "top");
    bar->setAttribute(Qt::WA_StyledBackground, true);
    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(8, 6, 8, 6);
    auto *input = new QLineEdit(bar);
    input->setEnabled(false);
    input->setPlaceholderText(QStringLiteral("混流视图为只读 — 点击房间名跳到该房间发言"));
    barLayout->addWidget(input, 1);
    layout->addWidget(bar);
}

void MixedFeedView::appendItem(const Item &item)
{
    items.append(item);
    // At the cap only the oldest rows go; the rest stay as they are.
    list->beginBatch();
    while (items.size() > kMaxItems)
        dropOldestRow();
    if (!hiddenRooms.contains(item.roomId))
        addRow(item);
    list->endBatch();
}

void MixedFeedView::resetGrouping()
{
    lastRoomId.clear();
    lastSenderId.clear();
    lastTagId = -1;
    lastSenderLabel.clear();
}

void MixedFeedView::dropOldestRow()
{
    const Item oldest = items.takeFirst();
    if (hiddenRooms.contains(oldest.roomId) || shown.isEmpty())
        return;
    const std::shared_ptr<Shown> gone = shown.takeFirst();
    if (gone->headerKey != 0) {
        list->remove(gone->headerKey);
        shownByKey.remove(gone->headerKey);
    }
    list->remove(gone->rowKey);
    shownByKey.remove(gone->rowKey);
    if (shown.isEmpty()) {
        resetGrouping();
        return;
    }
    // The new first row opens its group: it needs the header, and its sender's name if it
    // continued the row that went.
    const std::shared_ptr<Shown> &head = shown.first();
    if (head->headerKey == 0) {
        ChatFeedList::Item header;
        header.kind = ChatFeedList::Kind::Divider;
        header.key = head->headerKey = list->newKey();
        shownByKey.insert(header.key, head);
        list->prepend({header});
    }
    if (!head->showsSender && !head->item.hidden) {
        head->showsSender = true;
        head->senderLabel =
            (userNameResolver ? userNameResolver(head->item.senderId) : head->item.senderId) + QStringLiteral("：");
        list->renew(head->rowKey);
    }
}

void MixedFeedView::addRow(const Item &item)
{
    auto entry = std::make_shared<Shown>();
    entry->item = item;
    if (item.roomId != lastRoomId || item.tagId != lastTagId) {
        entry->headerKey = list->newKey();
        lastRoomId = item.roomId;
        lastTagId = item.tagId;
        lastSenderId.clear();
        lastSenderLabel.clear();
    }
    entry->showsSender = !item.hidden && item.senderId != lastSenderId;
    if (entry->showsSender)
        lastSenderLabel = (userNameResolver ? userNameResolver(item.senderId) : item.senderId) + QStringLiteral("：");
    entry->senderLabel = lastSenderLabel;
    if (item.hidden)
        lastSenderId.clear();
    else
        lastSenderId = item.senderId;
    entry->rowKey = list->newKey();
    shown.append(entry);
    shownByKey.insert(entry->rowKey, entry);
    if (entry->headerKey != 0) {
        shownByKey.insert(entry->headerKey, entry);
        list->append(ChatFeedList::Kind::Divider, QString(), nullptr, entry->headerKey);
    }
    list->append(ChatFeedList::Kind::Row, QString(), nullptr, entry->rowKey);
}

QWidget *MixedFeedView::makeWidget(const ChatFeedList::Item &listItem, QWidget *parent)
{
    const std::shared_ptr<Shown> entry = shownByKey.value(listItem.key);
    if (!entry)
        return nullptr;
    if (listItem.key == entry->headerKey)
        return makeRoomHeader(entry->item, parent);
    return makeMsgRow(*entry, parent);
}

void MixedFeedView::releaseWidget(const ChatFeedList::Item &listItem, QWidget *widget)
{
    for (QLabel *label : widget->findChildren<QLabel *>())
        thumbnailAttachments.remove(label);
    const std::shared_ptr<Shown> entry = shownByKey.value(listItem.key);
    if (entry && listItem.key == entry->rowKey) {
        QLabel *body = bodyLabels.value(entry->item.messageId);
        if (body && widget->isAncestorOf(body))
            bodyLabels.remove(entry->item.messageId);
    }
}

MixedFeedView::RowInfo MixedFeedView::rowInfo(int index) const
{
    RowInfo info;
    if (index < 0 || index >= list->count())
        return info;
    const ChatFeedList::Item &listItem = list->at(index);
    const std::shared_ptr<Shown> entry = shownByKey.value(listItem.key);
    if (!entry)
        return info;
    info.header = listItem.key == entry->headerKey;
    info.roomId = entry->item.roomId;
    info.roomName = roomNameResolver ? roomNameResolver(info.roomId) : info.roomId;
    if (entry->item.tagId >= 1) {
        info.chipText = tagNameResolver ? tagNameResolver(info.roomId, entry->item.tagId) : QString();
        if (info.chipText.isEmpty())
            info.chipText = QStringLiteral("标签");
    }
    info.messageId = entry->item.messageId;
    info.tagId = entry->item.tagId;
    info.showsSender = entry->showsSender;
    info.senderLabel = entry->senderLabel;
    return info;
}

QWidget *MixedFeedView::makeRoomHeader(const Item &item, QWidget *parent)
{
    auto *header = new QWidget(parent);
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(12, 4, 12, 2);
    layout->setSpacing(8);

    const QString roomName = roomNameResolver ? roomNameResolver(item.roomId) : item.roomId;
    const QString channel = channelNameResolver ? channelNameResolver(item.roomId) : QString();
    QString html = QStringLiteral("<span style=\"color:%1;font-weight:bold;\">").arg(hexOf("primaryText"));
    if (!channel.isEmpty())
        html += channel.toHtmlEscaped() + QStringLiteral("/");
    html += QStringLiteral("<a href=\"jump\" style=\"color:%1;text-decoration:none;\">%2</a></span>")
                .arg(hexOf("primaryText"), roomName.toHtmlEscaped());
    auto *name = new QLabel(html, header);
    name->setTextFormat(Qt::RichText);
    name->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    const QString roomId = item.roomId;
    connect(name, &QLabel::linkActivated, this, [this, roomId] { emit roomJumpRequested(roomId); });
    layout->addWidget(name);

    if (item.tagId >= 1) {
        const QString tagName = tagNameResolver ? tagNameResolver(item.roomId, item.tagId) : QString();
        auto *chip = new QLabel(tagName.isEmpty() ? QStringLiteral("标签") : tagName, header);
        chip->setStyleSheet(QStringLiteral("background:%1;color:%2;border:1px solid %3;font-size:12px;padding:0 6px;")
                                .arg(hexOf("selectBg"), hexOf("primaryText"), hexOf("border")));
        layout->addWidget(chip);
    }
    auto *time = new QLabel(QDateTime::fromMSecsSinceEpoch(item.sentAt).toString(QStringLiteral("HH:mm")), header);
    time->setStyleSheet(QStringLiteral("color:%1;font-size:12px;").arg(hexOf("textMuted")));
    layout->addWidget(time);
    layout->addStretch();
    return header;
}

QWidget *MixedFeedView::makeMsgRow(const Shown &entry, QWidget *parent)
{
    const Item &item = entry.item;
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(42, 4, 12, 4);
    layout->setSpacing(0);

    if (entry.showsSender) {
        auto *sender = new QLabel(entry.senderLabel, row);
        sender->setTextFormat(Qt::PlainText);
        sender->setStyleSheet(QStringLiteral("color:%1;").arg(hexOf("primaryText")));
        layout->addWidget(sender, 0, Qt::AlignTop);
    } else {
        auto *indent = new QWidget(row);
        indent->setFixedWidth(QFontMetrics(font()).horizontalAdvance(entry.senderLabel));
        layout->addWidget(indent);
    }

    auto *body = new ChatTextLabel(row);
    body->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    body->setOpenExternalLinks(false);
    if (item.hidden) {
        body->setText(hiddenText());
    } else {
        auto state = std::make_shared<BodyState>();
        state->content = item.content;
        state->revealed = entry.revealed; // the row may be built again after scrolling away
        state->hasLoose = containsLooseLink(item.content);
        renderBody(body, *state);
        connect(body, &QLabel::linkActivated, body, [this, body, state, rowKey = entry.rowKey](const QString &link) {
            if (link.startsWith(QLatin1String("spoiler:"))) {
                state->revealed.insert(link.mid(8).toInt());
                renderBody(body, *state);
                if (const std::shared_ptr<Shown> owner = shownByKey.value(rowKey))
                    owner->revealed = state->revealed;
                return;
            }
            ChatMessageRow::promptForLink(link, body);
        });
        connect(body, &QLabel::linkHovered, body, [body, state](const QString &link) {
            state->hovered = link;
            refreshLoose(body, *state);
        });
        connect(CtrlKeyWatcher::instance(), &CtrlKeyWatcher::changed, body,
                [body, state] { refreshLoose(body, *state); });
    }

    if (item.hidden || item.attachments.isEmpty()) {
        layout->addWidget(body, 1);
    } else {
        auto *column = new QWidget(row);
        auto *columnLayout = new QVBoxLayout(column);
        columnLayout->setContentsMargins(0, 0, 0, 0);
        columnLayout->setSpacing(4);
        columnLayout->addWidget(body);
        auto *gridWidget = new QWidget(column);
        auto *grid = new QGridLayout(gridWidget);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setSpacing(4);
        columnLayout->addWidget(gridWidget, 0, Qt::AlignLeft);
        const int count = int(item.attachments.size());
        const QString style =
            QStringLiteral("background:%1;border:1px solid %2;").arg(hexOf("fillHover"), hexOf("border"));
        for (int i = 0; i < count; ++i) {
            const ChatAttachment &attachment = item.attachments.at(i);
            const QSize size = ChatMessageRow::thumbnailSize(attachment, count);
            auto *label = new QLabel(gridWidget);
            label->setFixedSize(size);
            label->setAlignment(Qt::AlignCenter);
            label->setCursor(Qt::PointingHandCursor);
            label->setStyleSheet(style);
            grid->addWidget(label, i / 2, i % 2, Qt::AlignLeft);
            if (imageLoader) {
                const QString key =
                    attachment.attachmentId + QStringLiteral("@%1x%2").arg(size.width()).arg(size.height());
                QPointer<QLabel> target(label);
                imageLoader->load(key, attachment.thumbUrl, size, devicePixelRatioF(), label,
                                  [target](const QPixmap &pixmap) {
                                      if (target && !pixmap.isNull())
                                          target->setPixmap(pixmap);
                                  });
            }
            label->installEventFilter(this);
            // Leaves the table when the row is released or rebuilt.
            thumbnailAttachments.insert(label, attachment);
        }
        layout->addWidget(column, 1);
    }
    if (!item.messageId.isEmpty())
        bodyLabels.insert(item.messageId, body);
    return row;
}

bool MixedFeedView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        const auto it = thumbnailAttachments.constFind(watched);
        if (it != thumbnailAttachments.constEnd()) {
            emit imageActivated(*it);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MixedFeedView::rebuild()
{
    ++rebuilds;
    list->beginBatch();
    list->clear();
    shown.clear();
    shownByKey.clear();
    bodyLabels.clear();
    thumbnailAttachments.clear();
    resetGrouping();
    for (const Item &item : items) {
        if (!hiddenRooms.contains(item.roomId))
            addRow(item);
    }
    list->endBatch();
}

void MixedFeedView::markHidden(const QString &roomId, const QString &messageId)
{
    for (Item &item : items) {
        if (item.roomId == roomId && item.messageId == messageId) {
            item.hidden = true;
            item.content.clear();
            break;
        }
    }
    for (const std::shared_ptr<Shown> &entry : shown) {
        if (entry->item.roomId == roomId && entry->item.messageId == messageId) {
            // A row built again later shows the hidden text without thumbnails; the one on
            // screen keeps its sender and thumbnails until then.
            entry->item.hidden = true;
            entry->item.content.clear();
            break;
        }
    }
    if (QLabel *label = bodyLabels.value(messageId))
        label->setText(hiddenText());
}

void MixedFeedView::retagMessage(const QString &roomId, const QString &messageId, qint64 tagId)
{
    for (Item &item : items) {
        if (item.roomId == roomId && item.messageId == messageId) {
            if (item.tagId == tagId)
                return;
            item.tagId = tagId;
            rebuild();
            return;
        }
    }
}

void MixedFeedView::setRooms(const QStringList &roomIds)
{
    const QSet<QString> keep(roomIds.cbegin(), roomIds.cend());
    bool removed = false;
    for (qsizetype i = items.size() - 1; i >= 0; --i) {
        if (!keep.contains(items.at(i).roomId)) {
            items.removeAt(i);
            removed = true;
        }
    }
    for (auto it = hiddenRooms.begin(); it != hiddenRooms.end();) {
        if (!keep.contains(*it)) {
            it = hiddenRooms.erase(it);
            removed = true;
        } else {
            ++it;
        }
    }
    if (removed)
        rebuild();
}

void MixedFeedView::setRoomVisible(const QString &roomId, bool visible)
{
    if (visible != hiddenRooms.contains(roomId))
        return;
    if (visible)
        hiddenRooms.remove(roomId);
    else
        hiddenRooms.insert(roomId);
    rebuild();
}
