#include "ui/panels/member_row.h"

#include "theme/theme_palette.h"
#include "ui/panels/block_style.h"

#include <QHBoxLayout>
#include <QLabel>
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
    name = new QLabel(this);
    rowLayout->addWidget(name, 1);
}

void MemberRow::setData(const MemberRowData &d)
{
    if (hasData && d == rowData)
        return;
    const bool rebuild = !hasData || d.indicators.size() != rowData.indicators.size();
    rowData = d;
    hasData = true;
    setProperty("vcMemberId", rowData.userId);
    if (rebuild)
        rebuildIndicators();
    for (int i = 0; i < dots.size(); ++i)
        applyStyle(dots.at(i), dotStyle(rowData.indicators.at(i)));
    if (name->text() != rowData.name)
        name->setText(rowData.name);
    applyStyle(name, QStringLiteral("color: %1; font-size: 13px;")
                         .arg(QLatin1String(ThemePalette::hex(rowData.disconnected ? "textFaint" : "text"))));
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
        auto *dot = new QLabel(QStringLiteral("\u25CF"), column);
        dot->setAlignment(Qt::AlignCenter);
        dot->setFixedHeight(dotHeight);
        columnLayout->addWidget(dot);
        dots.append(dot);
    }
    column->setFixedWidth(12);
    rowLayout->insertWidget(0, column);
    column->show();
}

} // namespace blocks
