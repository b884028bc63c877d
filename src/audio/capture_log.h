#pragma once

#include <QLoggingCategory>

// "audio.capture": the capture engine, the capture manager and the device catalogue.
Q_DECLARE_LOGGING_CATEGORY(lcAudioCapture)
