#pragma once

#include "platform/audio/i_render_client.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace livekit {
class Track;
}
class AudioPipelineSlot;
class IAudioStorage;
class IRemoteAudioStream;

// What the playback manager is built from besides the store; tests and benchmarks replace them.
struct AudioPlaybackDependencies
{
    RenderClientFactory renderClient; // empty: the system's render client
    std::function<qint64()> nowMs;    // wall-clock milliseconds; empty: the system clock
    // Opens the frame stream of a remote audio track; empty: the media library's stream.
    std::function<std::shared_ptr<IRemoteAudioStream>(const std::shared_ptr<livekit::Track> &)> openStream;
    bool startTickTimer = true; // false: the owner calls onPlaybackTick itself
};

// Plays the voices of the other members of the room. Every subscribed remote audio track gets a
// session whose reader thread pulls decoded frames, brings them to 48 kHz mono and queues them;
// one render thread mixes all queues with a gain per member, writes the mix to the speaker and
// hands it to the capture pipeline as the far-end reference. A 50 ms tick on the GUI thread
// adapts each session's jitter margin, computes the gains and levels, and opens, rebinds or
// closes the render device.
//
// Threads: every public function runs on the GUI thread. Shared with the render thread: the
// speaker-muted flag, the output peak and each session's gain (atomics), the render list (its
// mutex) and each session's queue, primed flag, target depth and last-frame time (the session's
// mutex, which its reader also takes to append). The render thread only ever try-locks.
class AudioPlaybackManager : public QObject
{
    Q_OBJECT
public:
    using Dependencies = AudioPlaybackDependencies;

    // `storage` null: nothing is read or written and every stored value is its default.
    explicit AudioPlaybackManager(IAudioStorage *storage = nullptr, QObject *parent = nullptr,
                                  Dependencies dependencies = {});
    ~AudioPlaybackManager() override;

    // Empty: the default communications device; "default": the default console device.
    QString deviceId() const;
    void setDeviceId(const QString &id);
    int outputGainDb() const;
    void setOutputGainDb(int dB);
    // A member's playback gain in dB, clamped to [-30, 30]; the stored value until set here.
    int participantGainDb(const QString &identity) const;
    void setParticipantGainDb(const QString &identity, int dB);
    // Linear gain: 0 at -30 dB or lower, else 10^(dB / 20). The media connections subscribe a
    // member only while this is above 1e-4.
    double participantGain(const QString &identity) const;
    // The loudest level among the member's sessions (linear), 0 without a session.
    float participantLevel(const QString &identity) const;
    float outputPeak() const;
    void setSpeakerMuted(bool muted);
    // The cell in which the capture side publishes its pipeline; set once by the assembly.
    void setPipelineSlot(AudioPipelineSlot *slot);

    // Starts playback of a subscribed remote audio track; one session per identity and track sid.
    void addRemoteTrack(const std::shared_ptr<livekit::Track> &track, const QString &trackSid, const QString &identity);
    void removeRemoteTrack(const QString &identity, const QString &trackSid);
    void removeAllSessions();
    // Whether a track of this member is playing.
    bool hasRemoteTrack(const QString &identity) const;
    int sessionCount() const;

    // Observation for tests: a session's jitter target, underrun count and queued chunks
    // (-1 when there is no such session).
    int sessionTargetDepth(const QString &identity, const QString &trackSid) const;
    int sessionUnderruns(const QString &identity, const QString &trackSid) const;
    int sessionQueuedChunks(const QString &identity, const QString &trackSid) const;
    // Mixes `out.size()` samples as the render thread does, without a device: for tests and
    // benchmarks while no render thread runs.
    void mixInto(std::vector<qint16> &out);

    // Linear form of a gain in dB: 0 at -30 or lower, else 10^(min(dB, 30) / 20).
    static double linearGain(int dB);

public slots:
    void onDefaultCommOutputChanged();
    void onDefaultConsoleOutputChanged();
    void onPlaybackTick();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
