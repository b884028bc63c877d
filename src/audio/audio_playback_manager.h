#pragma once

#include <QObject>

// Playback of the remote members' audio.
class AudioPlaybackManager : public QObject
{
    Q_OBJECT
public:
    explicit AudioPlaybackManager(QObject *parent = nullptr);
    ~AudioPlaybackManager() override;
};
