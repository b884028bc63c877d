#include "platform/dock/dock_area_title_bar.h"

#include "platform/dock/dock_area_tab_bar.h"
#include "platform/dock/dock_area_widget.h"

#include <QBoxLayout>

namespace ads {

CDockAreaTitleBar::CDockAreaTitleBar(CDockAreaWidget *area)
    : QFrame(area)
    , owner(area)
{
    bar = new CDockAreaTabBar(this);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(bar, 1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

} // namespace ads
