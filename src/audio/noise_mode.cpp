#include "audio/noise_mode.h"

NoiseMode parseNoiseMode(const QString &name)
{
    if (name == QLatin1String("webrtc"))
        return NoiseMode::WebRtc;
    if (name == QLatin1String("deepfilter"))
        return NoiseMode::DeepFilter;
    if (name == QLatin1String("fastenhancer"))
        return NoiseMode::FastEnhancer;
    if (name == QLatin1String("dpdfnet"))
        return NoiseMode::DpdfNet;
    return NoiseMode::Off;
}

QString noiseModeName(NoiseMode mode)
{
    switch (mode) {
        case NoiseMode::WebRtc: return QStringLiteral("webrtc");
        case NoiseMode::DeepFilter: return QStringLiteral("deepfilter");
        case NoiseMode::FastEnhancer: return QStringLiteral("fastenhancer");
        case NoiseMode::DpdfNet: return QStringLiteral("dpdfnet");
        case NoiseMode::Off: break;
    }
    return QStringLiteral("off");
}
