#pragma once

#include "ui/panels/block_records.h"

#include <QList>
#include <QPair>
#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace blocks {

class RoomBlock;

// One channel: a header (fold button and name) and the channel's room blocks, indented
// under it. The header carries the channel id both as channel and as room id, so that
// the panel's top-level drag treats it like a room block.
class ChannelBlock : public QWidget
{
    Q_OBJECT
public:
    ChannelBlock(int rowHeight, QObject *eventTarget, QWidget *parent);

    // Updates only what differs; nested room blocks are kept while the list of room ids
    // stays the same.
    void setData(const ChannelBlockData &d);

    // The nested room blocks in display order.
    QList<QPair<QString, RoomBlock *>> roomBlocks() const;
    // Makes the nested blocks' member rows cover the visible part again.
    void updateVisibleRows();
    bool roomsVisible() const;

    const ChannelBlockData &data() const { return blockData; }
    bool isExpanded() const;
    QFrame *header() const { return headerFrame; }
    QPushButton *foldButton() const { return fold; }
    QLabel *nameLabel() const { return name; }
    QWidget *roomContainer() const { return roomBox; }

signals:
    void roomTitleDoubleClicked(QString roomId);

protected:
    void moveEvent(QMoveEvent *event) override;

private:
    void updateHeader();
    void updateRooms();
    void applyFold();
    void toggleFold();

    ChannelBlockData blockData;
    bool hasData = false;
    const int rowHeight;
    QObject *const eventTarget;
    QFrame *headerFrame = nullptr;
    QPushButton *fold = nullptr;
    QLabel *name = nullptr;
    QWidget *roomBox = nullptr;
    QVBoxLayout *roomLayout = nullptr;
    QList<RoomBlock *> rooms;
    bool userExpanded = false;
    bool userOverride = false;
    bool lastProposedExpanded = false;
};

} // namespace blocks
