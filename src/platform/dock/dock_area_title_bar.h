#pragma once

#include <QFrame>

namespace ads {

class CDockAreaTabBar;
class CDockAreaWidget;

// The strip on top of a dock area that holds its tab bar.
class CDockAreaTitleBar : public QFrame
{
    Q_OBJECT
public:
    explicit CDockAreaTitleBar(CDockAreaWidget *area);

    CDockAreaTabBar *tabBar() const { return bar; }
    CDockAreaWidget *dockAreaWidget() const { return owner; }

private:
    CDockAreaWidget *owner = nullptr;
    CDockAreaTabBar *bar = nullptr;
};

} // namespace ads
