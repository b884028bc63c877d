#pragma once

#include <QObject>

class AudioCaptureManager;
class AudioPlaybackManager;
class IHttpClient;

// The media session of the active room.
class MediaSessionService : public QObject
{
    Q_OBJECT
public:
    MediaSessionService(IHttpClient *api, AudioCaptureManager *capture, AudioPlaybackManager *playback,
                        QObject *parent = nullptr);
    ~MediaSessionService() override;
};
