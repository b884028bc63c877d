#include "ui/panels/member_row.h"

#include "ui/panels/dot_label.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace blocks {

MemberRow::MemberRow(int rowHeight_, QWidget *parent)
    : QFrame(parent)
    , rowHeight(rowHeight_)
{
    setFixedHeight(rowHeight);
    setProperty("vcRow", true);
    rowLayout = new QHBoxLayout(this);
    rowLayout->setContentsMargins(14, 0, 0, 0);
    rowLayout->setSpacing(4);
    name = new MemberNameLabel(this);
    rowLayout->addWidget(name, 1);
}

void MemberRow::setData(const MemberRowData &d)
{
    if (hasData && d == rowData)
        return;
    const bool rebuild = !hasData || d.indicators.size() != rowData.indicators.size();
    // Setting a property looks its name up among the class's own first; a row keeps its
    // member, so this runs once.
    const bool newId = !hasData || d.userId != rowData.userId;
    rowData = d;
    hasData = true;
    if (newId)
        setProperty("vcMemberId", rowData.userId);
    if (rebuild)
        rebuildIndicators();
    for (int i = 0; i < dots.size(); ++i)
        dots.at(i)->setState(rowData.indicators.at(i));
    if (name->text() != rowData.name)
        name->setText(rowData.name);
    name->setFaint(rowData.disconnected);
}

void MemberRow::rebuildIndicators()
{
    delete column;
    column = nullptr;
    columnLayout = nullptr;
    dots.clear();
    if (rowData.indicators.isEmpty())
        return;
    column = new QWidget(this);
    columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(0);
    const int full = rowHeight - 4;
    const int dotHeight = rowData.indicators.size() == 1 ? full : full / 2;
    for (qsizetype i = 0; i < rowData.indicators.size(); ++i) {
        auto *dot = new DotLabel(column);
        dot->setFixedHeight(dotHeight);
        columnLayout->addWidget(dot);
        dots.append(dot);
    }
    column->setFixedWidth(12);
    rowLayout->insertWidget(0, column);
    column->show();
}

} // namespace blocks
