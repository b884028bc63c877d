#include "wiring/login_window_wiring.h"

// Nothing is joined yet: the client shows its windows, and their requests reach no service.

namespace wiring {

} // namespace wiring
