#include "wiring/service_wiring.h"

// Nothing is joined yet: the client shows its windows, and their requests reach no service.

namespace wiring {

void wirePttHotkey(HotkeyService *, AudioControlService *)
{
}

} // namespace wiring
