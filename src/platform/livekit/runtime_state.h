#pragma once

namespace livekit::detail {

// Whether `initialize` ran more recently than `shutdown`. Any thread.
bool runtimeInitialized();

} // namespace livekit::detail
