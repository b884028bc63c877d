#include "audio/sound_manager.h"

#include "audio/i_audio_storage.h"
#include "audio/playback_log.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

#include <cmath>

const QString SoundManager::kJoinSource = QStringLiteral("qrc:/sounds/join.ogg");
const QString SoundManager::kLeaveSource = QStringLiteral("qrc:/sounds/leave.ogg");

SoundManager::SoundManager(IAudioStorage *storage_, QObject *parent)
    : QObject(parent)
    , storage(storage_)
    , player(new QMediaPlayer(this))
    , output(new QAudioOutput(this))
{
    player->setAudioOutput(output);
    if (storage) {
        joinOn = storage->joinSoundEnabled();
        joinVol = clampVolume(storage->joinSoundVolume());
        leaveOn = storage->leaveSoundEnabled();
        leaveVol = clampVolume(storage->leaveSoundVolume());
    }
}

double SoundManager::clampVolume(double volume)
{
    if (std::isnan(volume) || volume <= 0.0)
        return 0.0;
    return volume > 1.0 ? 1.0 : volume;
}

void SoundManager::setJoinEnabled(bool enabled)
{
    joinOn = enabled;
    if (storage)
        storage->setJoinSoundEnabled(enabled);
}

void SoundManager::setLeaveEnabled(bool enabled)
{
    leaveOn = enabled;
    if (storage)
        storage->setLeaveSoundEnabled(enabled);
}

void SoundManager::setJoinVolume(double volume)
{
    joinVol = clampVolume(volume);
    if (storage)
        storage->setJoinSoundVolume(joinVol);
}

void SoundManager::setLeaveVolume(double volume)
{
    leaveVol = clampVolume(volume);
    if (storage)
        storage->setLeaveSoundVolume(leaveVol);
}

void SoundManager::onMemberJoined(const QString &)
{
    if (joinOn)
        play(kJoinSource, joinVol);
}

void SoundManager::onMemberLeft(const QString &)
{
    if (leaveOn)
        play(kLeaveSource, leaveVol);
}

void SoundManager::previewJoinSound()
{
    play(kJoinSource, joinVol);
}

void SoundManager::previewLeaveSound()
{
    play(kLeaveSource, leaveVol);
}

void SoundManager::setInRoom(bool value)
{
    const bool wasKnown = inRoomKnown;
    const bool was = inRoom;
    inRoom = value;
    inRoomKnown = true;
    if (!wasKnown || was == value)
        return;
    if (value)
        onMemberJoined();
    else
        onMemberLeft();
}

void SoundManager::play(const QString &source, double volume)
{
    qCDebug(lcAudioPlayback) << "cue" << source << "volume" << volume;
    output->setVolume(float(volume));
    player->setSource(QUrl(source));
    emit cueRequested(source);
    // With no output device the media backend's audio thread writes to a device that does
    // not exist and takes the whole client down; a cue nobody can hear is skipped instead.
    if (QMediaDevices::audioOutputs().isEmpty()) {
        qCInfo(lcAudioPlayback) << "cue skipped, no audio output device" << source;
        return;
    }
    player->play();
}
