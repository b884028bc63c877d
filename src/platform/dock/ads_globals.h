#pragma once

#include <QFlags>

// A small docking layer over Qt's own splitters and stacked widgets: dock widgets are
// shown as tabs in dock areas, areas sit in nested splitters of a container, and the
// dock manager is the main container. Only what the main window uses is offered. The
// class names are the ones the style sheet selects ("ads--CDockWidgetTab" and so on).
// GUI thread only.
namespace ads {

enum DockWidgetArea {
    NoDockWidgetArea = 0x00,
    LeftDockWidgetArea = 0x01,
    RightDockWidgetArea = 0x02,
    TopDockWidgetArea = 0x04,
    BottomDockWidgetArea = 0x08,
    CenterDockWidgetArea = 0x10,
};

} // namespace ads
