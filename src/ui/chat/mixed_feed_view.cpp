#include "ui/chat/mixed_feed_view.h"

#include "theme/theme_palette.h"
#include "ui/chat/chat_image_loader.h"
#include "ui/chat/chat_markdown.h"
#include "ui/chat/chat_message_row.h"
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
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    content = new QWidget(scroll);
    listLayout = new QVBoxLayout(content);
    listLayout->setContentsMargins(0, 6, 0, 6);
    listLayout->setSpacing(0);
    listLayout->addStretch(1);
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);
    connect(scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!programmaticScroll)
            following = value >= scroll->verticalScrollBar()->maximum() - 4;
    });

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
    captureAnchor();
    items.append(item);
    // At the cap only the oldest rows go; the rest stay as they are.
    while (items.size() > kMaxItems)
        dropOldestRow();
    if (hiddenRooms.contains(item.roomId))
        return;
    addRow(item);
    scrollToBottomLater();
}

void MixedFeedView::dropOldestRow()
{
    const Item oldest = items.takeFirst();
    if (hiddenRooms.contains(oldest.roomId) || shown.isEmpty())
        return;
    const ShownRow gone = shown.takeFirst();
    if (!oldest.messageId.isEmpty() && bodyLabels.value(oldest.messageId)
        && gone.row->isAncestorOf(bodyLabels.value(oldest.messageId)))
        bodyLabels.remove(oldest.messageId);
    discardWidget(gone.header);
    discardWidget(gone.row);
    if (shown.isEmpty()) {
        lastRoomId.clear();
        lastSenderId.clear();
        lastTagId = -1;
        lastSenderLabel.clear();
        return;
    }
    // The new first row opens its group: it needs the header, and its sender's name if it
    // was a continuation of the row that went.
    const Item *first = nullptr;
    for (const Item &candidate : items) {
        if (!hiddenRooms.contains(candidate.roomId)) {
            first = &candidate;
            break;
        }
    }
    if (!first)
        return;
    ShownRow &head = shown.first();
    const int at = listLayout->indexOf(head.header ? head.header : head.row);
    if (!head.header) {
        head.header = makeRoomHeader(*first);
        listLayout->insertWidget(at, head.header);
        head.header->show();
    }
    if (!head.showsSender && !first->hidden) {
        const QString keepLabel = lastSenderLabel;
        QWidget *row = makeMsgRow(*first, true);
        lastSenderLabel = keepLabel; // the grouping state belongs to the newest row
        const int rowAt = listLayout->indexOf(head.row);
        discardWidget(head.row);
        listLayout->insertWidget(rowAt, row);
        row->show();
        head.row = row;
        head.showsSender = true;
    }
}

void MixedFeedView::discardWidget(QWidget *widget)
{
    if (!widget)
        return;
    for (QLabel *label : widget->findChildren<QLabel *>())
        thumbnailAttachments.remove(label);
    listLayout->removeWidget(widget);
    // Deferred: a link prompt or menu opened from the row may still be running.
    widget->hide();
    widget->deleteLater();
}

void MixedFeedView::captureAnchor()
{
    if (following || anchor)
        return;
    const int value = scroll->verticalScrollBar()->value();
    for (int i = 1; i < listLayout->count(); ++i) {
        QWidget *widget = listLayout->itemAt(i)->widget();
        if (widget && widget->geometry().bottom() >= value) {
            anchor = widget;
            anchorOffset = widget->y() - value;
            return;
        }
    }
}

void MixedFeedView::addRow(const Item &item)
{
    ShownRow entry;
    if (item.roomId != lastRoomId || item.tagId != lastTagId) {
        entry.header = makeRoomHeader(item);
        addToList(entry.header);
        lastRoomId = item.roomId;
        lastTagId = item.tagId;
        lastSenderId.clear();
        lastSenderLabel.clear();
    }
    const bool showSender = !item.hidden && item.senderId != lastSenderId;
    entry.row = makeMsgRow(item, showSender);
    entry.showsSender = showSender;
    shown.append(entry);
    addToList(entry.row);
    if (item.hidden)
        lastSenderId.clear();
    else
        lastSenderId = item.senderId;
}

QWidget *MixedFeedView::makeRoomHeader(const Item &item)
{
    auto *header = new QWidget(content);
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

QWidget *MixedFeedView::makeMsgRow(const Item &item, bool showSender)
{
    auto *row = new QWidget(content);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(42, 4, 12, 4);
    layout->setSpacing(0);

    if (showSender) {
        const QString name = userNameResolver ? userNameResolver(item.senderId) : item.senderId;
        lastSenderLabel = name + QStringLiteral("：");
        auto *sender = new QLabel(lastSenderLabel, row);
        sender->setTextFormat(Qt::PlainText);
        sender->setStyleSheet(QStringLiteral("color:%1;").arg(hexOf("primaryText")));
        layout->addWidget(sender, 0, Qt::AlignTop);
    } else {
        auto *indent = new QWidget(row);
        indent->setFixedWidth(QFontMetrics(font()).horizontalAdvance(lastSenderLabel));
        layout->addWidget(indent);
    }

    auto *body = new QLabel(row);
    body->setTextFormat(Qt::RichText);
    body->setWordWrap(true);
    body->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    body->setOpenExternalLinks(false);
    if (item.hidden) {
        body->setText(hiddenText());
    } else {
        auto state = std::make_shared<BodyState>();
        state->content = item.content;
        state->hasLoose = containsLooseLink(item.content);
        renderBody(body, *state);
        connect(body, &QLabel::linkActivated, body, [body, state](const QString &link) {
            if (link.startsWith(QLatin1String("spoiler:"))) {
                state->revealed.insert(link.mid(8).toInt());
                renderBody(body, *state);
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
            // Labels die only with a rebuild, which empties this table, or with the view.
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
    captureAnchor();
    while (listLayout->count() > 1) {
        QLayoutItem *item = listLayout->takeAt(1);
        // Deferred: a link prompt or menu opened from the row may still be running.
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    shown.clear();
    bodyLabels.clear();
    thumbnailAttachments.clear();
    lastRoomId.clear();
    lastSenderId.clear();
    lastTagId = -1;
    lastSenderLabel.clear();
    for (const Item &item : items) {
        if (!hiddenRooms.contains(item.roomId))
            addRow(item);
    }
    scrollToBottomLater();
}

void MixedFeedView::addToList(QWidget *widget)
{
    listLayout->addWidget(widget);
    // Shown at once, with the layout switched off so that showing does not lay out the
    // whole list for each widget; the one pass runs before the deferred scroll.
    listLayout->setEnabled(false);
    widget->show();
    listLayout->setEnabled(true);
}

void MixedFeedView::scrollToBottomLater()
{
    // Many messages in one turn of the event loop need one scroll.
    if (scrollScheduled)
        return;
    scrollScheduled = true;
    QTimer::singleShot(0, this, [this] {
        scrollScheduled = false;
        // The new height reaches the scroll bar through posted layout requests that may
        // not all have run yet; settle them so the bottom really is the bottom.
        listLayout->activate();
        QEvent request(QEvent::LayoutRequest);
        QCoreApplication::sendEvent(scroll, &request);
        QScrollBar *bar = scroll->verticalScrollBar();
        programmaticScroll = true;
        if (following)
            bar->setValue(bar->maximum());
        else if (anchor)
            bar->setValue(anchor->y() - anchorOffset);
        programmaticScroll = false;
        anchor = nullptr;
    });
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
