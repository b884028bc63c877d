#pragma once

#include <QObject>
#include <QString>

class IAudioStorage;
class QAudioOutput;
class QMediaPlayer;

// The short join and leave cues: when the user enters or leaves a room and when other members
// join or leave. Each cue has an enable switch and a volume (0..1), kept in the audio settings
// store. One player serves both cues, so a new cue replaces one still playing. GUI thread.
class SoundManager : public QObject
{
    Q_OBJECT
public:
    static const QString kJoinSource;  // "qrc:/sounds/join.ogg"
    static const QString kLeaveSource; // "qrc:/sounds/leave.ogg"

    // `storage` null: the defaults (both on, 0.8), nothing written.
    explicit SoundManager(IAudioStorage *storage, QObject *parent = nullptr);

    bool joinEnabled() const { return joinOn; }
    double joinVolume() const { return joinVol; }
    bool leaveEnabled() const { return leaveOn; }
    double leaveVolume() const { return leaveVol; }
    void setJoinEnabled(bool enabled);
    void setLeaveEnabled(bool enabled);
    void setJoinVolume(double volume);
    void setLeaveVolume(double volume);

    void onMemberJoined(const QString &userId = QString());
    void onMemberLeft(const QString &userId = QString());
    void previewJoinSound();
    void previewLeaveSound();
    // The first call only records the state; later changes play the join or the leave cue.
    void setInRoom(bool inRoom);

    // Clamps a cue volume to 0..1; NaN gives 0.
    static double clampVolume(double volume);

signals:
    // A cue was chosen, whether or not an output device can play it.
    void cueRequested(const QString &source);

private:
    void play(const QString &source, double volume);

    IAudioStorage *storage;
    QMediaPlayer *player;
    QAudioOutput *output;
    bool inRoom = false;
    bool inRoomKnown = false;
    bool joinOn = true;
    double joinVol = 0.8;
    bool leaveOn = true;
    double leaveVol = 0.8;
};
