#pragma once

#include "ui/panels/block_records.h"

#include <QHash>
#include <QList>
#include <QPoint>
#include <QScrollArea>
#include <QSet>
#include <QStringList>

class QVBoxLayout;

namespace blocks {

class ChannelBlock;
class RoomBlock;

// The scrolling list of sections of room and channel blocks on which the room panels
// are built. It keeps one block widget per id across updates and takes its layout apart
// only when the structure changes, keeps the user's order of the draggable blocks, lets
// the user drag blocks (and room rows inside a channel) to a new place, and turns clicks
// and right-clicks into signals that carry ids. GUI thread only.
class BlockListPanel : public QScrollArea
{
    Q_OBJECT
public:
    explicit BlockListPanel(QWidget *parent = nullptr);

    bool eventFilter(QObject *watched, QEvent *event) override;
    QSize minimumSizeHint() const override;

    // Shows new records; unchanged records touch no widget.
    virtual void setBlocks(const BlockListData &data);
    // Installs a saved top-level order of draggable ids; shown ids missing from it are
    // appended again.
    void setOrder(const QStringList &order);

    QStringList savedOrder() const { return order; }
    const BlockListData &blocksData() const { return data; }
    QWidget *contentWidget() const { return content; }
    RoomBlock *roomBlock(const QString &roomId) const { return roomBlocks.value(roomId); }
    ChannelBlock *channelBlock(const QString &channelId) const { return channelBlocks.value(channelId); }
    QWidget *dropIndicatorWidget() const { return dropIndicator; }

signals:
    void emptyStateChanged(bool empty);
    void orderChanged(QStringList order);
    void roomMenuRequested(QString roomId, QPoint globalPos);
    void memberMenuRequested(QString userId, QPoint globalPos);
    void channelMenuRequested(QString channelId, QPoint globalPos);
    void blankContextMenuRequested(QPoint globalPos);
    void roomDoubleClicked(QString roomId);
    void roomSelected(QString roomId);
    void roomOrderChanged(QString channelId, QStringList orderedRoomIds);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct PlannedItem
    {
        QString id;
        bool draggable = false;
        const RoomBlockData *room = nullptr;
        const ChannelBlockData *channel = nullptr;
    };
    struct PlannedSection
    {
        QString caption;
        QList<PlannedItem> items;
    };

    QList<PlannedSection> plan() const;
    void rebuild();
    void rebuildLayout(const QList<PlannedSection> &sections);
    RoomBlock *roomBlockFor(const QString &roomId);
    ChannelBlock *channelBlockFor(const QString &channelId);
    QWidget *widgetFor(const QString &id) const;

    bool handlePress(QObject *watched, QEvent *event);
    bool handleMove(QEvent *event);
    bool handleRelease(QObject *watched, QEvent *event);
    void resetDrag();
    void updateDropIndicator(const QPoint &globalPos);
    void finishDrag();
    void updateRowDropIndicator(const QPoint &globalPos);
    void finishRowDrag();
    void dispatchContextMenu(const QPoint &globalPos);
    void clearStaleHover(QWidget *widget);
    QString roomIdAt(const QPoint &globalPos) const;
    void updateVisibleRows();

    QWidget *content = nullptr;
    QVBoxLayout *contentLayout = nullptr;
    BlockListData data;
    bool hasData = false;
    QStringList order;
    QHash<QString, RoomBlock *> roomBlocks;
    QHash<QString, ChannelBlock *> channelBlocks;
    QStringList layoutSignature;
    QList<QStringList> groups;
    QSet<QString> draggableIds;
    int rowHeight = 24;
    QWidget *dropIndicator = nullptr;
    QString dragId;
    QString dragChannelId;
    QPoint pressPos;
    bool dragging = false;
    int dropIndex = -1;
};

} // namespace blocks
