#pragma once

#include "ui/panels/block_records.h"

#include <QList>
#include <QWidget>

#include <utility>

namespace blocks {

class MemberRow;
class MemberRowsLayout;

// The member rows of a room block. It is as tall as all its members' rows, but keeps row
// widgets only for the members on screen and a few rows around them, so that a room of
// thousands costs what is visible: showing it makes a screenful of rows, a join or a leave
// touches the rows near the viewport, and scrolling hands the rows that leave the view to
// the members that come into it. A member keeps its row while it stays near the view; the
// row of a member who left the room is deleted at once. What is visible is worked out from
// the geometry of the widget and its ancestors; the scroll area that holds it calls
// syncRows() when it scrolls or resizes. GUI thread only.
class MemberList : public QWidget
{
    Q_OBJECT
public:
    // The event target (may be null) is installed as event filter on every row.
    MemberList(int rowHeight, QObject *eventTarget, QWidget *parent);
    ~MemberList() override;

    // Shows these members, in this order; rows that exist are updated in place.
    void setMembers(const QList<MemberRowData> &members);
    // Makes and drops rows so that they cover the visible part again.
    void syncRows();

    qsizetype memberCount() const { return members.size(); }
    // The rows that exist, in member order; the first one shows member firstRow().
    const QList<MemberRow *> &rows() const { return shown; }
    int firstRow() const { return first; }
    // The distance from one row's top to the next one's.
    int rowPitch() const;

    // While the list has not been laid out yet it keeps rows for this many members from
    // the top, so that a list filled before it is shown has them at once.
    static constexpr int kUnplacedRows = 40;
    // Rows kept above and below the visible part, so that a small scroll makes no row.
    static constexpr int kOverscanRows = 6;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Placed
    {
        MemberRow *row = nullptr;
        // The row's member's place in the member list; -1 when the member left.
        qsizetype index = -1;
    };

    std::pair<qsizetype, qsizetype> wantedRange() const;
    QRect visibleArea() const;
    QList<Placed> currentPlaces() const;
    QList<Placed> placesIn(const QList<MemberRowData> &next) const;
    void arrange(const QList<Placed> &current);
    MemberRow *makeRow();

    const int rowHeight;
    QObject *const eventTarget;
    MemberRowsLayout *rowsLayout = nullptr;
    QList<MemberRowData> members;
    QList<MemberRow *> shown;
    int first = 0;
    bool placed = false;
    bool arranging = false;
    bool arrangeAgain = false;
};

} // namespace blocks
