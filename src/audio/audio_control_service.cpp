#include "audio/audio_control_service.h"

#include "audio/audio_capture_manager.h"
#include "audio/audio_playback_manager.h"
#include "audio/capture_log.h"
#include "audio/playback_log.h"

AudioControlService::AudioControlService(AudioCaptureManager *capture_, AudioPlaybackManager *playback_,
                                         QObject *parent)
    : QObject(parent)
    , capture(capture_)
    , playback(playback_)
{}

void AudioControlService::toggleMic()
{
    micMuted = !micMuted;
    qCInfo(lcAudioCapture).nospace() << "mic toggled, muted=" << micMuted;
    recomputeTransmitMute();
    emit micMutedChanged(micMuted);
}

void AudioControlService::toggleSpeaker()
{
    speakerMuted = !speakerMuted;
    qCInfo(lcAudioPlayback).nospace() << "speaker toggled, muted=" << speakerMuted;
    if (playback)
        playback->setSpeakerMuted(speakerMuted);
    emit speakerMutedChanged(speakerMuted);
}

void AudioControlService::setPttActive(bool active)
{
    if (active == pttActive)
        return;
    pttActive = active;
    qCInfo(lcAudioCapture).noquote() << "ptt" << (active ? "pressed" : "released");
    // The engine needs the key itself too: while it is held the voice detector's gate stays
    // open, so quiet speech is sent rather than replaced by silence.
    if (capture)
        capture->setPttActive(active);
    recomputeTransmitMute();
    emit pttActiveChanged(pttActive);
}

void AudioControlService::setForceMuted(bool muted)
{
    if (muted == forceMuted)
        return;
    forceMuted = muted;
    if (capture)
        capture->setForceMuted(muted);
    recomputeTransmitMute();
}

void AudioControlService::setBroadcastActive(bool active)
{
    if (active == broadcastActive)
        return;
    broadcastActive = active;
    if (capture)
        capture->setBroadcastActive(active);
}

void AudioControlService::setVadRoomBitrate(int bps)
{
    if (capture)
        capture->setVadRoomBitrate(bps);
}

void AudioControlService::recomputeTransmitMute()
{
    const bool muted = forceMuted || (micMuted && !pttActive);
    if (muted == transmitMuted)
        return;
    transmitMuted = muted;
    if (capture)
        capture->setMicMuted(muted);
    emit transmitMutedChanged(muted);
}
