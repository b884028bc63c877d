#include "ui/panels/block_list_panel.h"

#include "theme/style_helpers.h"
#include "theme/theme_palette.h"
#include "theme/ui_log.h"
#include "ui/panels/block_style.h"
#include "ui/panels/channel_block.h"
#include "ui/panels/room_block.h"
#include "ui/widgets/section_divider.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

namespace blocks {

namespace {

const char *const kPanelSheet = "\n#blockListPanel {\n    background: @white@;\n}\n"
                                "#blockListPanel[panelEmpty=\"true\"] {\n    background: @panelBg@;\n}\n";

bool isHit(const QWidget *w)
{
    return w->property("vcMemberId").isValid() || w->property("vcChannelId").isValid()
           || !w->property("vcRoomId").toString().isEmpty();
}

} // namespace

BlockListPanel::BlockListPanel(QWidget *parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setObjectName(QStringLiteral("blockListPanel"));
    setStyleSheet(style::resolveTheme(QString::fromLatin1(kPanelSheet)));

    content = new QWidget;
    contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(4, 2, 4, 2);
    contentLayout->setSpacing(2);
    setWidget(content);
    content->setAutoFillBackground(false);
    content->installEventFilter(this);

    dropIndicator = new QWidget(content);
    dropIndicator->setFixedHeight(2);
    dropIndicator->setAttribute(Qt::WA_StyledBackground);
    dropIndicator->setAttribute(Qt::WA_TransparentForMouseEvents);
    dropIndicator->setStyleSheet(QStringLiteral("background: %1;").arg(QLatin1String(ThemePalette::hex("primary"))));
    dropIndicator->hide();

    rowHeight = rowHeightFor(font());
    rebuild();
}

QSize BlockListPanel::minimumSizeHint() const
{
    return QScrollArea::minimumSizeHint().expandedTo(QSize(260, 120));
}

void BlockListPanel::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    updateVisibleRows();
}

void BlockListPanel::scrollContentsBy(int dx, int dy)
{
    QScrollArea::scrollContentsBy(dx, dy);
    updateVisibleRows();
}

// Scrolling moves the content widget and a taller viewport shows more of it; neither
// reaches the member lists inside the blocks, which keep rows only near the view.
void BlockListPanel::updateVisibleRows()
{
    for (RoomBlock *block : std::as_const(roomBlocks))
        block->updateVisibleRows();
    for (ChannelBlock *block : std::as_const(channelBlocks))
        block->updateVisibleRows();
}

void BlockListPanel::setBlocks(const BlockListData &d)
{
    data = d;
    hasData = true;
    for (const BlockSection &section : std::as_const(data.sections)) {
        for (const RoomBlockData &room : section.rooms)
            if (room.draggable && !order.contains(room.roomId))
                order.append(room.roomId);
        for (const ChannelBlockData &channel : section.channels)
            if (channel.draggable && !order.contains(channel.channelId))
                order.append(channel.channelId);
    }
    rebuild();
}

void BlockListPanel::setOrder(const QStringList &newOrder)
{
    order = newOrder;
    if (hasData) {
        const BlockListData current = data;
        setBlocks(current);
    }
}

QList<BlockListPanel::PlannedSection> BlockListPanel::plan() const
{
    QList<PlannedSection> sections;
    // An id stands in the layout once: a repeated id in a saved order or in the data
    // would otherwise move the one cached widget around.
    QSet<QString> placed;
    for (const BlockSection &section : data.sections) {
        PlannedSection planned;
        planned.caption = section.caption;
        const auto add = [&](const QString &id, bool draggable, const RoomBlockData *room,
                             const ChannelBlockData *channel) {
            if (placed.contains(id))
                return;
            placed.insert(id);
            planned.items.append({id, draggable, room, channel});
        };
        for (const RoomBlockData &room : section.rooms)
            if (!room.draggable)
                add(room.roomId, false, &room, nullptr);
        for (const ChannelBlockData &channel : section.channels)
            if (!channel.draggable)
                add(channel.channelId, false, nullptr, &channel);
        for (const QString &id : order) {
            const auto room = std::find_if(section.rooms.cbegin(), section.rooms.cend(),
                                           [&](const RoomBlockData &r) { return r.draggable && r.roomId == id; });
            if (room != section.rooms.cend())
                add(id, true, &*room, nullptr);
            const auto channel =
                std::find_if(section.channels.cbegin(), section.channels.cend(),
                             [&](const ChannelBlockData &c) { return c.draggable && c.channelId == id; });
            if (channel != section.channels.cend())
                add(id, true, nullptr, &*channel);
        }
        if (!planned.items.isEmpty())
            sections.append(planned);
    }
    return sections;
}

void BlockListPanel::rebuild()
{
    const QList<PlannedSection> sections = plan();

    QStringList signature;
    signature << (data.hasContent ? QStringLiteral("bg1") : QStringLiteral("bg0"))
              << (data.rowSeparators ? QStringLiteral("sep1") : QStringLiteral("sep0")) << data.emptyText;
    groups.clear();
    draggableIds.clear();
    for (const PlannedSection &section : sections) {
        signature << QStringLiteral("\u00A7") + section.caption;
        QStringList ids;
        ids.reserve(section.items.size());
        for (const PlannedItem &item : section.items) {
            ids.append(item.id);
            if (item.draggable)
                draggableIds.insert(item.id);
        }
        signature << ids;
        groups.append(ids);
    }

    if (signature != layoutSignature) {
        layoutSignature = signature;
        rebuildLayout(sections);
    }

    for (const PlannedSection &section : sections) {
        for (const PlannedItem &item : section.items) {
            if (item.room)
                roomBlockFor(item.id)->setData(*item.room);
            else
                channelBlockFor(item.id)->setData(*item.channel);
        }
    }

    const bool empty = sections.isEmpty();
    if (property("panelEmpty").toBool() != empty) {
        setProperty("panelEmpty", empty);
        style()->unpolish(this);
        style()->polish(this);
        emit emptyStateChanged(empty);
    }
}

void BlockListPanel::rebuildLayout(const QList<PlannedSection> &sections)
{
    QSet<QWidget *> blocks;
    for (RoomBlock *block : std::as_const(roomBlocks))
        blocks.insert(block);
    for (ChannelBlock *block : std::as_const(channelBlocks))
        blocks.insert(block);
    while (QLayoutItem *item = contentLayout->takeAt(0)) {
        if (QWidget *w = item->widget()) {
            if (blocks.contains(w))
                w->hide();
            else
                delete w;
        }
        delete item;
    }

    QSet<QString> roomIds;
    QSet<QString> channelIds;
    for (const PlannedSection &section : sections)
        for (const PlannedItem &item : section.items)
            (item.room ? roomIds : channelIds).insert(item.id);
    for (auto it = roomBlocks.begin(); it != roomBlocks.end();) {
        if (roomIds.contains(it.key())) {
            ++it;
        } else {
            delete it.value();
            it = roomBlocks.erase(it);
        }
    }
    for (auto it = channelBlocks.begin(); it != channelBlocks.end();) {
        if (channelIds.contains(it.key())) {
            ++it;
        } else {
            delete it.value();
            it = channelBlocks.erase(it);
        }
    }

    for (const PlannedSection &section : sections) {
        if (!section.caption.isEmpty())
            contentLayout->addWidget(new SectionDivider(section.caption, content));
        for (qsizetype i = 0; i < section.items.size(); ++i) {
            const PlannedItem &item = section.items.at(i);
            if (i > 0 && data.rowSeparators) {
                auto *separator = new QWidget(content);
                separator->setFixedHeight(1);
                separator->setProperty("role", QStringLiteral("rowSeparator"));
                separator->setAttribute(Qt::WA_StyledBackground);
                contentLayout->addWidget(separator);
            }
            QWidget *block = item.room ? static_cast<QWidget *>(roomBlockFor(item.id))
                                       : static_cast<QWidget *>(channelBlockFor(item.id));
            contentLayout->addWidget(block);
            block->show();
        }
    }
    if (sections.isEmpty() && !data.emptyText.isEmpty()) {
        auto *placeholder = new QLabel(data.emptyText, content);
        placeholder->setAlignment(Qt::AlignCenter);
        placeholder->setProperty("role", QStringLiteral("placeholder"));
        contentLayout->addWidget(placeholder);
    }
    contentLayout->addStretch(1);
}

RoomBlock *BlockListPanel::roomBlockFor(const QString &roomId)
{
    if (RoomBlock *block = roomBlocks.value(roomId))
        return block;
    auto *block = new RoomBlock(rowHeight, this, content);
    connect(block, &RoomBlock::titleDoubleClicked, this, &BlockListPanel::roomDoubleClicked);
    roomBlocks.insert(roomId, block);
    return block;
}

ChannelBlock *BlockListPanel::channelBlockFor(const QString &channelId)
{
    if (ChannelBlock *block = channelBlocks.value(channelId))
        return block;
    auto *block = new ChannelBlock(rowHeight, this, content);
    connect(block, &ChannelBlock::roomTitleDoubleClicked, this, &BlockListPanel::roomDoubleClicked);
    channelBlocks.insert(channelId, block);
    return block;
}

QWidget *BlockListPanel::widgetFor(const QString &id) const
{
    if (RoomBlock *block = roomBlocks.value(id))
        return block;
    return channelBlocks.value(id);
}

bool BlockListPanel::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
        case QEvent::MouseButtonPress: return handlePress(watched, event);
        case QEvent::MouseMove: return handleMove(event);
        case QEvent::MouseButtonRelease: return handleRelease(watched, event);
        default: return QScrollArea::eventFilter(watched, event);
    }
}

bool BlockListPanel::handlePress(QObject *watched, QEvent *event)
{
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    const auto *w = qobject_cast<QWidget *>(watched);
    if (!w)
        return false;
    if (w->property("vcRowDrag").toBool()) {
        dragChannelId = w->property("vcRowChannel").toString();
        dragId = w->property("vcRoomId").toString();
    } else if (w->property("vcDraggable").toBool()) {
        dragChannelId.clear();
        dragId = w->property("vcRoomId").toString();
    } else {
        return false;
    }
    pressPos = mouse->globalPosition().toPoint();
    dragging = false;
    return false;
}

bool BlockListPanel::handleMove(QEvent *event)
{
    if (dragId.isEmpty())
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (!(mouse->buttons() & Qt::LeftButton)) {
        resetDrag();
        return false;
    }
    const QPoint global = mouse->globalPosition().toPoint();
    if (!dragging
        && std::abs(global.x() - pressPos.x()) + std::abs(global.y() - pressPos.y())
               >= QApplication::startDragDistance())
        dragging = true;
    if (!dragging)
        return false;
    if (dragChannelId.isEmpty())
        updateDropIndicator(global);
    else
        updateRowDropIndicator(global);
    return true;
}

bool BlockListPanel::handleRelease(QObject *watched, QEvent *event)
{
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QPoint global = mouse->globalPosition().toPoint();
    if (mouse->button() == Qt::LeftButton) {
        if (!dragId.isEmpty() && dragging) {
            if (dragChannelId.isEmpty())
                finishDrag();
            else
                finishRowDrag();
            return true;
        }
        resetDrag();
        // A release that a row did not accept travels on to the content widget; the row
        // already reported the click, so the content widget does not report it again.
        if (watched == content)
            return false;
        const QString roomId = roomIdAt(global);
        if (!roomId.isEmpty())
            emit roomSelected(roomId);
        return false;
    }
    if (mouse->button() == Qt::RightButton) {
        dispatchContextMenu(global);
        return true;
    }
    return false;
}

void BlockListPanel::resetDrag()
{
    dragId.clear();
    dragChannelId.clear();
    dragging = false;
    dropIndex = -1;
    dropIndicator->hide();
}

void BlockListPanel::updateDropIndicator(const QPoint &globalPos)
{
    const auto group =
        std::find_if(groups.cbegin(), groups.cend(), [&](const QStringList &ids) { return ids.contains(dragId); });
    if (group == groups.cend())
        return;
    const int size = int(group->size());
    int first = size;
    for (int k = 0; k < size; ++k) {
        if (draggableIds.contains(group->at(k))) {
            first = k;
            break;
        }
    }
    const QPoint point = content->mapFromGlobal(globalPos);
    int index = size;
    for (int k = first; k < size; ++k) {
        const QWidget *w = widgetFor(group->at(k));
        if (w && w->y() + w->height() / 2 > point.y()) {
            index = k;
            break;
        }
    }
    dropIndex = std::max(index, first);

    int y = 0;
    const QWidget *target = dropIndex < size ? widgetFor(group->at(dropIndex)) : nullptr;
    if (target) {
        y = target->y() - 2;
    } else if (const QWidget *last = widgetFor(group->last())) {
        y = last->y() + last->height();
    }
    dropIndicator->setGeometry(4, y, content->width() - 8, 2);
    dropIndicator->show();
    dropIndicator->raise();
}

void BlockListPanel::finishDrag()
{
    const auto group =
        std::find_if(groups.cbegin(), groups.cend(), [&](const QStringList &ids) { return ids.contains(dragId); });
    if (group != groups.cend() && dropIndex >= 0) {
        QString anchor;
        for (qsizetype k = dropIndex; k < group->size(); ++k) {
            if (group->at(k) != dragId) {
                anchor = group->at(k);
                break;
            }
        }
        QStringList next = order;
        next.removeOne(dragId);
        if (!anchor.isEmpty() && next.contains(anchor)) {
            next.insert(next.indexOf(anchor), dragId);
        } else {
            qsizetype at = -1;
            for (qsizetype k = group->size() - 1; k >= 0 && at < 0; --k)
                if (group->at(k) != dragId)
                    at = next.indexOf(group->at(k));
            if (at >= 0)
                next.insert(at + 1, dragId);
            else
                next.append(dragId);
        }
        if (next != order) {
            order = next;
            qCDebug(lcUi) << "block order changed"
                          << "id=" << dragId;
            emit orderChanged(order);
            rebuild();
        }
    }
    resetDrag();
}

void BlockListPanel::updateRowDropIndicator(const QPoint &globalPos)
{
    const ChannelBlock *channel = channelBlocks.value(dragChannelId);
    if (!channel || !channel->roomsVisible())
        return;
    const auto rows = channel->roomBlocks();
    if (rows.isEmpty())
        return;
    const QPoint point = content->mapFromGlobal(globalPos);
    const int count = int(rows.size());
    int index = count;
    for (int k = 0; k < count; ++k) {
        const RoomBlock *row = rows.at(k).second;
        if (row->mapTo(content, QPoint(0, 0)).y() + row->height() / 2 > point.y()) {
            index = k;
            break;
        }
    }
    dropIndex = index;
    const RoomBlock *row = rows.at(std::min(index, count - 1)).second;
    const QPoint topLeft = row->mapTo(content, QPoint(0, 0));
    const int x = topLeft.x();
    const int y = index < count ? topLeft.y() - 2 : topLeft.y() + row->height();
    dropIndicator->setGeometry(x, y, content->width() - x - 4, 2);
    dropIndicator->show();
    dropIndicator->raise();
}

void BlockListPanel::finishRowDrag()
{
    const ChannelBlock *channel = channelBlocks.value(dragChannelId);
    if (channel && dropIndex >= 0) {
        QStringList shown;
        for (const auto &row : channel->roomBlocks())
            shown.append(row.first);
        QStringList ids = shown;
        const qsizetype from = ids.indexOf(dragId);
        if (from >= 0) {
            ids.removeAt(from);
            qsizetype target = dropIndex;
            if (from < target)
                --target;
            target = std::clamp<qsizetype>(target, 0, ids.size());
            ids.insert(target, dragId);
            if (ids != shown)
                emit roomOrderChanged(dragChannelId, ids);
        }
    }
    resetDrag();
}

void BlockListPanel::dispatchContextMenu(const QPoint &globalPos)
{
    QWidget *w = QApplication::widgetAt(globalPos);
    if (!w || (w != this && !isAncestorOf(w)))
        return;
    while (w && w != this) {
        if (isHit(w)) {
            const QPointer<QFrame> frame = qobject_cast<QFrame *>(w);
            const QString memberId = w->property("vcMemberId").toString();
            const QString channelId = w->property("vcChannelId").toString();
            const QString roomId = w->property("vcRoomId").toString();
            if (w->property("vcMemberId").isValid())
                emit memberMenuRequested(memberId, globalPos);
            else if (w->property("vcChannelId").isValid())
                emit channelMenuRequested(channelId, globalPos);
            else
                emit roomMenuRequested(roomId, globalPos);
            if (frame)
                clearStaleHover(frame);
            return;
        }
        if (w->property("vcRow").toBool())
            return;
        w = w->parentWidget();
    }
    emit blankContextMenuRequested(globalPos);
}

void BlockListPanel::clearStaleHover(QWidget *widget)
{
    if (widget->rect().contains(widget->mapFromGlobal(QCursor::pos())))
        return;
    widget->setAttribute(Qt::WA_UnderMouse, false);
    widget->update();
}

QString BlockListPanel::roomIdAt(const QPoint &globalPos) const
{
    QWidget *w = QApplication::widgetAt(globalPos);
    if (!w || (w != this && !isAncestorOf(w)))
        return {};
    for (; w && w != this; w = w->parentWidget()) {
        if (w->property("vcMemberId").isValid() || w->property("vcChannelId").isValid())
            return {};
        const QString roomId = w->property("vcRoomId").toString();
        if (!roomId.isEmpty())
            return roomId;
    }
    return {};
}

} // namespace blocks
