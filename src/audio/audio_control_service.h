#pragma once

#include <QObject>

class AudioCaptureManager;
class AudioPlaybackManager;

// The user's microphone and speaker switches, push-to-talk, broadcast and the forced mute, and
// the one transmit-mute flag derived from them:
//   transmitMuted = forceMuted or (micMuted and not pttActive).
// Push-to-talk opens the microphone only while it is switched off; a forced mute closes it in
// every case. Push-to-talk, broadcast and the forced mute also reach the capture manager
// themselves: while the key is held the capture engine sends speech the voice detector would
// hold back. GUI thread.
class AudioControlService : public QObject
{
    Q_OBJECT
public:
    AudioControlService(AudioCaptureManager *capture, AudioPlaybackManager *playback, QObject *parent = nullptr);

    void toggleMic();
    void toggleSpeaker();
    void setPttActive(bool active);
    void setForceMuted(bool muted);
    void setBroadcastActive(bool active);
    void setVadRoomBitrate(int bps);

    bool isMicMuted() const { return micMuted; }
    bool isPttActive() const { return pttActive; }
    bool isTransmitMuted() const { return transmitMuted; }
    bool isSpeakerMuted() const { return speakerMuted; }

signals:
    void micMutedChanged(bool muted);
    void pttActiveChanged(bool active);
    void transmitMutedChanged(bool muted);
    void speakerMutedChanged(bool muted);

private:
    void recomputeTransmitMute();

    AudioCaptureManager *capture;
    AudioPlaybackManager *playback;
    bool micMuted = false;
    bool pttActive = false;
    bool forceMuted = false;
    bool transmitMuted = false;
    bool speakerMuted = false;
    bool broadcastActive = false;
};
