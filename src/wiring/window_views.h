#pragma once

#include "ui/main/main_window.h"

#include <QWidget>

// The views a main window holds only as plain widgets, reached by their real type. A view
// that has not been set (the dock still shows its placeholder) comes back null.
namespace wiring {

template<class View>
View *windowView(QWidget *widget)
{
    return qobject_cast<View *>(widget);
}

} // namespace wiring
