#pragma once

class ActiveRoomSession;
class MediaSessionService;
class RoomEntityStore;
class UserState;

// The voice wiring's arithmetic and its one shared step, exposed for the tests.
namespace wiring {

// The linear factor of a gain in dB: the gain is clamped to [-30, 30]; -30 dB gives silence (0),
// any other gain 10^(dB / 20).
double linearGainFromDb(int gainDb);

// A linear level in dB: 20·log10(level) above 1e-6, else -120.
double levelDb(float level);

// A participant's level as the current-room panel shows it: the linear level times the linear
// factor of the gain, in dB. A muted participant (-30 dB or lower) shows -120.
double participantLevelDb(float level, int gainDb);

// Pushes the active room's facts into the media session: the rooms it serves, their bitrates,
// the parent's broadcast setting and whether the user may speak there.
void syncMediaSession(ActiveRoomSession *activeRoom, RoomEntityStore *roomStore, UserState *user,
                      MediaSessionService *media);

} // namespace wiring
