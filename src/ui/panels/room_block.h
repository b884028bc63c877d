#pragma once

#include "ui/panels/block_records.h"

#include <QList>
#include <QWidget>

class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace blocks {

class MemberList;
class MemberRow;

// One room: a header (fold button, status dot, tags, title with the member count) and
// the member rows under it. The header carries the room's id and drag flags as dynamic
// properties; the event target (the panel) watches the header and the rows before the
// block does, and reads everything else from those properties. Member rows exist only
// near the visible part of the block (see MemberList).
class RoomBlock : public QWidget
{
    Q_OBJECT
public:
    RoomBlock(int rowHeight, QObject *eventTarget, QWidget *parent);

    // Updates only what differs from the record shown; each member keeps its row (found
    // by user id) for as long as it stays in the list and near the view.
    void setData(const RoomBlockData &d);
    // Makes the member rows cover the visible part again (after a scroll or a move).
    void updateVisibleRows();
    // Marks the header as a row that can be dragged within its channel.
    void setRowDrag(const QString &channelId, bool enabled);

    const RoomBlockData &data() const { return blockData; }
    bool isExpanded() const;
    QFrame *header() const { return headerFrame; }
    QPushButton *foldButton() const { return fold; }
    QLabel *dotLabel() const { return dot; }
    QWidget *tagContainer() const { return tagBox; }
    const QList<QLabel *> &tagLabels() const { return tags; }
    QLabel *titleLabel() const { return title; }
    QWidget *memberContainer() const;
    // The member rows that exist, in member order: those on screen and a few around them.
    const QList<MemberRow *> &memberRows() const;
    MemberList *memberList() const { return memberBox; }

    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    void moveEvent(QMoveEvent *event) override;

signals:
    void titleDoubleClicked(QString roomId);

private:
    void updateHeader();
    void updateMembers();
    void applyFold();
    void toggleFold();

    RoomBlockData blockData;
    bool hasData = false;
    const int rowHeight;
    QObject *const eventTarget;
    QFrame *headerFrame = nullptr;
    QPushButton *fold = nullptr;
    QLabel *dot = nullptr;
    QWidget *tagBox = nullptr;
    QHBoxLayout *tagLayout = nullptr;
    QList<QLabel *> tags;
    QLabel *title = nullptr;
    MemberList *memberBox = nullptr;
    // The user's own fold choice holds while the builder keeps proposing the same value.
    bool userExpanded = false;
    bool userOverride = false;
    bool lastProposedExpanded = false;
};

// Makes a fold button ("+" collapsed, "-" expanded) of the row height.
QPushButton *makeFoldButton(int rowHeight, QWidget *parent);

} // namespace blocks
