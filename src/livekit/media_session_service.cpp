#include "livekit/media_session_service.h"

MediaSessionService::MediaSessionService(IHttpClient *, AudioCaptureManager *, AudioPlaybackManager *,
                                         QObject *parent)
    : QObject(parent)
{
}

MediaSessionService::~MediaSessionService() = default;
