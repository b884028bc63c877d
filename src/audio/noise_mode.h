#pragma once

#include <QString>

// The noise-suppression mode. It travels between components and is stored as its name.
enum class NoiseMode : int {
    Off = 0,
    WebRtc = 1,
    DeepFilter = 2,
    FastEnhancer = 3,
    DpdfNet = 4,
};

// Exact, case-sensitive match of "webrtc", "deepfilter", "fastenhancer", "dpdfnet";
// anything else (the empty name and "off" included) is Off.
NoiseMode parseNoiseMode(const QString &name);

// The mode's name; a value outside the enumeration reads as "off".
QString noiseModeName(NoiseMode mode);
