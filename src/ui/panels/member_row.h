#pragma once

#include "ui/panels/block_records.h"
#include "ui/panels/dot_label.h"
#include "ui/panels/member_name_label.h"

#include <QFrame>
#include <QList>

class QHBoxLayout;
class QVBoxLayout;

namespace blocks {

// One member of a room: a column of status dots and the name. Marked as a row with the
// member's id for the panel that watches it; it handles no input itself.
class MemberRow : public QFrame
{
    Q_OBJECT
public:
    MemberRow(int rowHeight, QWidget *parent);

    // Does nothing when the record equals the one shown.
    void setData(const MemberRowData &d);

    const MemberRowData &data() const { return rowData; }
    MemberNameLabel *nameLabel() const { return name; }
    // The dot labels, top to bottom; empty when the row has no indicator column.
    const QList<DotLabel *> &dotLabels() const { return dots; }
    QWidget *indicatorColumn() const { return column; }

private:
    void rebuildIndicators();

    MemberRowData rowData;
    bool hasData = false;
    const int rowHeight;
    QHBoxLayout *rowLayout = nullptr;
    QWidget *column = nullptr;
    QVBoxLayout *columnLayout = nullptr;
    QList<DotLabel *> dots;
    MemberNameLabel *name = nullptr;
};

} // namespace blocks
