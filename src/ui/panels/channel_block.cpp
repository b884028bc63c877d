#include "ui/panels/channel_block.h"

#include "theme/theme_palette.h"
#include "ui/panels/block_style.h"
#include "ui/panels/room_block.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace blocks {

ChannelBlock::ChannelBlock(int rowHeight_, QObject *eventTarget_, QWidget *parent)
    : QWidget(parent)
    , rowHeight(rowHeight_)
    , eventTarget(eventTarget_)
{
    auto *blockLayout = new QVBoxLayout(this);
    blockLayout->setContentsMargins(0, 0, 0, 0);
    blockLayout->setSpacing(2);

    headerFrame = new QFrame(this);
    headerFrame->setFixedHeight(rowHeight);
    headerFrame->setProperty("vcRow", true);
    headerFrame->setProperty("hoverable", true);
    auto *headerLayout = new QHBoxLayout(headerFrame);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(4);
    fold = makeFoldButton(rowHeight, headerFrame);
    connect(fold, &QPushButton::clicked, this, &ChannelBlock::toggleFold);
    headerLayout->addWidget(fold);
    name = new QLabel(headerFrame);
    name->setTextFormat(Qt::PlainText);
    headerLayout->addWidget(name, 1);
    blockLayout->addWidget(headerFrame);
    if (eventTarget)
        headerFrame->installEventFilter(eventTarget);

    roomBox = new QWidget(this);
    roomLayout = new QVBoxLayout(roomBox);
    roomLayout->setContentsMargins(14, 0, 0, 0);
    roomLayout->setSpacing(2);
    blockLayout->addWidget(roomBox);
    roomBox->hide();
}

void ChannelBlock::setData(const ChannelBlockData &d)
{
    if (!hasData || d.expanded != lastProposedExpanded) {
        userOverride = false;
        lastProposedExpanded = d.expanded;
    }
    const bool headerSame =
        hasData && d.channelId == blockData.channelId && d.name == blockData.name && d.draggable == blockData.draggable;
    blockData = d;
    hasData = true;
    if (!headerSame)
        updateHeader();
    updateRooms();
    applyFold();
}

void ChannelBlock::updateHeader()
{
    headerFrame->setProperty("vcChannelId", blockData.channelId);
    headerFrame->setProperty("vcRoomId", blockData.channelId);
    headerFrame->setProperty("vcDraggable", blockData.draggable);
    if (name->text() != blockData.name)
        name->setText(blockData.name);
    applyStyle(name, QStringLiteral("color: %1; font-size: 13px;").arg(QLatin1String(ThemePalette::hex("text"))));
}

void ChannelBlock::updateRooms()
{
    bool sameIds = rooms.size() == blockData.rooms.size();
    for (qsizetype i = 0; sameIds && i < rooms.size(); ++i)
        sameIds = rooms.at(i)->data().roomId == blockData.rooms.at(i).roomId;
    if (sameIds) {
        for (qsizetype i = 0; i < rooms.size(); ++i)
            rooms.at(i)->setData(blockData.rooms.at(i));
    } else {
        qDeleteAll(rooms);
        rooms.clear();
        rooms.reserve(blockData.rooms.size());
        for (const RoomBlockData &room : std::as_const(blockData.rooms)) {
            auto *block = new RoomBlock(rowHeight, eventTarget, roomBox);
            connect(block, &RoomBlock::titleDoubleClicked, this, &ChannelBlock::roomTitleDoubleClicked);
            block->setData(room);
            roomLayout->addWidget(block);
            rooms.append(block);
        }
    }
    const bool rowDrag = blockData.roomsReorderable && rooms.size() > 1;
    for (RoomBlock *block : std::as_const(rooms))
        block->setRowDrag(blockData.channelId, rowDrag);
}

QList<QPair<QString, RoomBlock *>> ChannelBlock::roomBlocks() const
{
    QList<QPair<QString, RoomBlock *>> out;
    out.reserve(rooms.size());
    for (RoomBlock *block : rooms)
        out.append({block->data().roomId, block});
    return out;
}

void ChannelBlock::updateVisibleRows()
{
    for (RoomBlock *block : std::as_const(rooms))
        block->updateVisibleRows();
}

// The nested blocks do not hear of the channel block moving.
void ChannelBlock::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    updateVisibleRows();
}

bool ChannelBlock::roomsVisible() const
{
    return !roomBox->isHidden();
}

bool ChannelBlock::isExpanded() const
{
    return userOverride ? userExpanded : blockData.expanded;
}

void ChannelBlock::applyFold()
{
    const bool expanded = isExpanded();
    const QString foldText = expanded ? QStringLiteral("-") : QStringLiteral("+");
    if (fold->text() != foldText)
        fold->setText(foldText);
    roomBox->setVisible(expanded && !rooms.isEmpty());
}

void ChannelBlock::toggleFold()
{
    userExpanded = !isExpanded();
    userOverride = true;
    applyFold();
}

} // namespace blocks
