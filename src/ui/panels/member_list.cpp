#include "ui/panels/member_list.h"

#include "ui/panels/member_row.h"

#include <QHash>
#include <QLayout>
#include <QWidgetItem>

#include <algorithm>

namespace blocks {

namespace {

constexpr int kRowSpacing = 2;

} // namespace

// Places the rows that exist at the height their member's place gives them, and sizes the
// list for all members, as a vertical box of fixed-height rows would. Its items are the
// rows that exist, in member order.
class MemberRowsLayout : public QLayout
{
public:
    MemberRowsLayout(int rowHeight_, QWidget *parent)
        : QLayout(parent)
        , rowHeight(rowHeight_)
    {
        setContentsMargins(0, 0, 0, 0);
        setSpacing(kRowSpacing);
    }

    ~MemberRowsLayout() override { qDeleteAll(items); }

    int pitch() const { return rowHeight + kRowSpacing; }

    int listHeight() const { return count_ > 0 ? int(count_) * pitch() - kRowSpacing : 0; }

    void setMemberCount(qsizetype count)
    {
        if (count == count_)
            return;
        count_ = count;
        invalidate();
    }

    void clearRows()
    {
        qDeleteAll(items);
        items.clear();
    }

    // The rows that exist now, the first one showing member `first`; places them at once.
    void setRows(int first, const QList<MemberRow *> &rows)
    {
        clearRows();
        items.reserve(rows.size());
        for (MemberRow *row : rows)
            items.append(new QWidgetItem(row));
        firstIndex = first;
        // The layout's own rectangle is empty while it waits to be redone after a change
        // of the member count; the rows go where that will put them.
        place(parentWidget()->contentsRect());
    }

    QSize sizeHint() const override { return {0, listHeight()}; }
    QSize minimumSize() const override { return {0, listHeight()}; }
    Qt::Orientations expandingDirections() const override { return {}; }

    void setGeometry(const QRect &rect) override
    {
        QLayout::setGeometry(rect);
        place(rect);
    }

    void addItem(QLayoutItem *item) override { items.append(item); }
    int count() const override { return int(items.size()); }
    QLayoutItem *itemAt(int index) const override { return items.value(index); }
    QLayoutItem *takeAt(int index) override
    {
        if (index < 0 || index >= items.size())
            return nullptr;
        return items.takeAt(index);
    }

private:
    // Set on the widgets themselves: a row that is not shown yet is skipped by its item.
    void place(const QRect &rect)
    {
        for (qsizetype k = 0; k < items.size(); ++k) {
            if (QWidget *row = items.at(k)->widget())
                row->setGeometry(rect.x(), rect.y() + (firstIndex + int(k)) * pitch(), rect.width(), rowHeight);
        }
    }

    const int rowHeight;
    QList<QLayoutItem *> items;
    qsizetype count_ = 0;
    int firstIndex = 0;
};

MemberList::MemberList(int rowHeight_, QObject *eventTarget_, QWidget *parent)
    : QWidget(parent)
    , rowHeight(rowHeight_)
    , eventTarget(eventTarget_)
{
    rowsLayout = new MemberRowsLayout(rowHeight, this);
}

MemberList::~MemberList() = default;

int MemberList::rowPitch() const
{
    return rowsLayout->pitch();
}

void MemberList::setMembers(const QList<MemberRowData> &next)
{
    const QList<Placed> places = placesIn(next);
    const bool countChanged = next.size() != members.size();
    members = next;
    if (countChanged) {
        rowsLayout->setMemberCount(members.size());
        updateGeometry();
    }
    arrange(places);
}

void MemberList::syncRows()
{
    if (arranging) {
        arrangeAgain = true;
        return;
    }
    arrange(currentPlaces());
}

void MemberList::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placed = true;
    syncRows();
}

void MemberList::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    syncRows();
}

void MemberList::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    syncRows();
}

// The vertical part of the list that its ancestors do not cut away, widened by the
// overscan. Only geometry counts, not visibility, so a list in a hidden panel keeps the
// rows it will show.
std::pair<qsizetype, qsizetype> MemberList::wantedRange() const
{
    const qsizetype n = members.size();
    if (n == 0)
        return {0, 0};
    if (!placed)
        return {0, std::min<qsizetype>(n, kUnplacedRows)};
    if (isHidden()) {
        // Folded: the rows wait as they are until the list is shown again.
        const qsizetype from = std::min<qsizetype>(first, n);
        return {from, std::min<qsizetype>(first + shown.size(), n)};
    }
    const int height = rowsLayout->listHeight();
    int top = 0;
    int bottom = height;
    int offset = 0;
    for (const QWidget *w = this; !w->isWindow() && w->parentWidget();) {
        offset += w->y();
        w = w->parentWidget();
        top = std::max(top, -offset);
        bottom = std::min(bottom, w->height() - offset);
    }
    const int pitch = rowsLayout->pitch();
    top = std::max(0, top - kOverscanRows * pitch);
    bottom = std::min(height, bottom + kOverscanRows * pitch);
    if (bottom <= top)
        return {0, 0};
    const qsizetype from = std::min<qsizetype>(top / pitch, n);
    const qsizetype to = std::clamp<qsizetype>((bottom + pitch - 1) / pitch, from, n);
    return {from, to};
}

QList<MemberList::Placed> MemberList::currentPlaces() const
{
    QList<Placed> places;
    places.reserve(shown.size());
    for (qsizetype k = 0; k < shown.size(); ++k)
        places.append({shown.at(k), first + k});
    return places;
}

// Where each existing row's member stands in the next list: a member keeps its row.
QList<MemberList::Placed> MemberList::placesIn(const QList<MemberRowData> &next) const
{
    bool samePlaces = true;
    for (qsizetype k = 0; samePlaces && k < shown.size(); ++k) {
        const qsizetype index = first + k;
        samePlaces = index < next.size() && next.at(index).userId == shown.at(k)->data().userId;
    }
    if (samePlaces)
        return currentPlaces();

    QList<Placed> places;
    places.reserve(shown.size());
    QHash<QString, qsizetype> waiting;
    waiting.reserve(shown.size());
    for (MemberRow *row : shown) {
        // A second row for one id is not kept.
        const QString &id = row->data().userId;
        if (!waiting.contains(id))
            waiting.insert(id, places.size());
        places.append({row, -1});
    }
    for (qsizetype i = 0; i < next.size() && !waiting.isEmpty(); ++i) {
        const auto it = waiting.find(next.at(i).userId);
        if (it == waiting.end())
            continue;
        places[it.value()].index = i;
        waiting.erase(it);
    }
    return places;
}

void MemberList::arrange(const QList<Placed> &current)
{
    arranging = true;
    const auto [from, to] = wantedRange();
    QList<MemberRow *> next(to - from, nullptr);
    QList<MemberRow *> spare;
    QList<MemberRow *> gone;
    for (const Placed &place : current) {
        if (place.index < 0)
            gone.append(place.row);
        else if (place.index >= from && place.index < to && !next.at(place.index - from))
            next[place.index - from] = place.row;
        else
            spare.append(place.row);
    }
    const bool sameRows = gone.isEmpty() && spare.isEmpty() && from == first && next == shown;
    if (!sameRows)
        rowsLayout->clearRows();
    // The rows of members who left go at once; rows that leave the view serve those
    // who come into it.
    qDeleteAll(gone);
    QList<MemberRow *> fresh;
    for (qsizetype i = from; i < to; ++i) {
        MemberRow *&row = next[i - from];
        if (!row) {
            if (!spare.isEmpty()) {
                row = spare.takeLast();
            } else {
                row = makeRow();
                fresh.append(row);
            }
        }
        row->setData(members.at(i));
    }
    qDeleteAll(spare);
    if (!sameRows) {
        shown = next;
        first = int(from);
        rowsLayout->setRows(first, shown);
        // Rows made while the list is not shown (folded, or in a hidden panel) appear, and
        // are polished, with it.
        if (isVisible()) {
            for (MemberRow *row : std::as_const(fresh))
                row->show();
        }
    }
    arranging = false;
    if (arrangeAgain) {
        arrangeAgain = false;
        syncRows();
    }
}

MemberRow *MemberList::makeRow()
{
    auto *row = new MemberRow(rowHeight, this);
    if (eventTarget)
        row->installEventFilter(eventTarget);
    return row;
}

} // namespace blocks
