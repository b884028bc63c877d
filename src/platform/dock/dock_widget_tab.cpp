#include "platform/dock/dock_widget_tab.h"

#include <QBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>

namespace ads {

CDockWidgetTab::CDockWidgetTab(CDockWidget *dockWidget, QWidget *parent)
    : QFrame(parent)
    , dock(dockWidget)
{
    titleLabel = new QLabel(this);
    titleLabel->setObjectName(QStringLiteral("dockWidgetTabLabel"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(titleLabel);
    setProperty("activeTab", false);
    setFocusPolicy(Qt::NoFocus);
}

bool CDockWidgetTab::isActiveTab() const
{
    return property("activeTab").toBool();
}

void CDockWidgetTab::setActiveTab(bool active)
{
    if (isActiveTab() == active)
        return;
    setProperty("activeTab", active);
    style()->unpolish(this);
    style()->polish(this);
    update();
}

void CDockWidgetTab::setText(const QString &text)
{
    titleLabel->setText(text);
}

QString CDockWidgetTab::text() const
{
    return titleLabel->text();
}

void CDockWidgetTab::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        emit clicked();
        return;
    }
    QFrame::mousePressEvent(event);
}

} // namespace ads
