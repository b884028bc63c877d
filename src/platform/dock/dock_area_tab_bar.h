#pragma once

#include <QScrollArea>

namespace ads {

class CDockWidgetTab;

// The row of tabs of a dock area: a scroll area whose content widget holds the tabs of
// the open docks, left to right. A tab added or taken out is a child added to or
// removed from that content widget.
class CDockAreaTabBar : public QScrollArea
{
    Q_OBJECT
public:
    explicit CDockAreaTabBar(QWidget *parent = nullptr);

    void insertTab(int index, CDockWidgetTab *tab);
    // Takes the tab out of the bar and gives it to `newParent`, hidden.
    void removeTab(CDockWidgetTab *tab, QWidget *newParent);
    int count() const;
    CDockWidgetTab *tab(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    QWidget *tabsHolder = nullptr;
};

} // namespace ads
