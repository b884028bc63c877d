#include "audio/capture_log.h"

Q_LOGGING_CATEGORY(lcAudioCapture, "audio.capture", QtInfoMsg)
