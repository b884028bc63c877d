#include "audio/playback_log.h"

Q_LOGGING_CATEGORY(lcAudioPlayback, "audio.playback", QtInfoMsg)
