#pragma once

#include <QList>
#include <QStringList>

class IShellNavigator;
namespace wiring {
class RoomPanelsFeed;
}

// What the recording stand-in of the wiring saw: every call by name ("login:" and
// "main:" in front of the calls for a window), the navigator given to the session
// wiring, and the panel feeds handed out and passed back.
namespace recording {
extern QStringList calls;
extern IShellNavigator *navigator;
extern QList<wiring::RoomPanelsFeed *> feedsSeen;
// "<call>#<argument index>" for every null pointer the shell passed, in call order.
extern QStringList nullArguments;
void noteNull(int index, const void *argument);
} // namespace recording
