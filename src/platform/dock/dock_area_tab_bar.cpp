#include "platform/dock/dock_area_tab_bar.h"

#include "platform/dock/dock_widget_tab.h"

#include <QBoxLayout>

namespace ads {

CDockAreaTabBar::CDockAreaTabBar(QWidget *parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    tabsHolder = new QWidget(this);
    tabsHolder->setObjectName(QStringLiteral("tabsContainerWidget"));
    auto *row = new QHBoxLayout(tabsHolder);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addStretch(1);
    setWidget(tabsHolder);
}

void CDockAreaTabBar::insertTab(int index, CDockWidgetTab *tab)
{
    auto *row = static_cast<QBoxLayout *>(tabsHolder->layout());
    const int tabs = count();
    if (index < 0 || index > tabs)
        index = tabs;
    tab->setParent(tabsHolder);
    row->insertWidget(index, tab);
    tab->show();
    updateGeometry();
}

void CDockAreaTabBar::removeTab(CDockWidgetTab *tab, QWidget *newParent)
{
    if (tab->parentWidget() != tabsHolder)
        return;
    tabsHolder->layout()->removeWidget(tab);
    tab->hide();
    tab->setParent(newParent);
    updateGeometry();
}

int CDockAreaTabBar::count() const
{
    return tabsHolder->layout()->count() - 1; // the trailing stretch is no tab
}

CDockWidgetTab *CDockAreaTabBar::tab(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return qobject_cast<CDockWidgetTab *>(tabsHolder->layout()->itemAt(index)->widget());
}

QSize CDockAreaTabBar::sizeHint() const
{
    return QSize(tabsHolder->sizeHint().width(), tabsHolder->sizeHint().height());
}

QSize CDockAreaTabBar::minimumSizeHint() const
{
    return QSize(0, tabsHolder->sizeHint().height());
}

} // namespace ads
