#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

namespace livekit {
class Track;
}

// Playback of the remote members' audio.
class AudioPlaybackManager : public QObject
{
    Q_OBJECT
public:
    explicit AudioPlaybackManager(QObject *parent = nullptr);
    ~AudioPlaybackManager() override;

    // GUI thread. A member's playback gain in dB, clamped to [-30, 30]; 0 until set.
    int participantGainDb(const QString &identity) const;
    void setParticipantGainDb(const QString &identity, int dB);
    // Linear gain: 0 at -30 dB or lower, else 10^(dB / 20). The media connections subscribe a member
    // only while this is above 1e-4.
    double participantGain(const QString &identity) const;

    // GUI thread. Starts and stops the playback session of a subscribed remote track.
    void addRemoteTrack(const std::shared_ptr<livekit::Track> &track, const QString &trackSid,
                        const QString &identity);
    void removeRemoteTrack(const QString &identity, const QString &trackSid);
    // Whether a track of this member is playing.
    bool hasRemoteTrack(const QString &identity) const;

private:
    QHash<QString, int> m_gainDb;
    QHash<QString, std::shared_ptr<livekit::Track>> m_sessions; // by "identity|sid"
};
