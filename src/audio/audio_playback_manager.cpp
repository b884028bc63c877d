#include "audio/audio_playback_manager.h"

#include <algorithm>
#include <cmath>

namespace {
QString sessionKey(const QString &identity, const QString &trackSid)
{
    return identity + QLatin1Char('|') + trackSid;
}
} // namespace

AudioPlaybackManager::AudioPlaybackManager(QObject *parent) : QObject(parent) {}
AudioPlaybackManager::~AudioPlaybackManager() = default;

int AudioPlaybackManager::participantGainDb(const QString &identity) const
{
    return m_gainDb.value(identity, 0);
}

void AudioPlaybackManager::setParticipantGainDb(const QString &identity, int dB)
{
    m_gainDb.insert(identity, std::clamp(dB, -30, 30));
}

double AudioPlaybackManager::participantGain(const QString &identity) const
{
    const int dB = participantGainDb(identity);
    return dB <= -30 ? 0.0 : std::pow(10.0, std::min(dB, 30) / 20.0);
}

void AudioPlaybackManager::addRemoteTrack(const std::shared_ptr<livekit::Track> &track, const QString &trackSid,
                                          const QString &identity)
{
    if (track)
        m_sessions.insert(sessionKey(identity, trackSid), track);
}

void AudioPlaybackManager::removeRemoteTrack(const QString &identity, const QString &trackSid)
{
    m_sessions.remove(sessionKey(identity, trackSid));
}

bool AudioPlaybackManager::hasRemoteTrack(const QString &identity) const
{
    const QString prefix = identity + QLatin1Char('|');
    for (auto it = m_sessions.cbegin(); it != m_sessions.cend(); ++it)
        if (it.key().startsWith(prefix))
            return true;
    return false;
}
