#include "wiring/voice_wiring.h"

#include "audio/audio_capture_manager.h"
#include "audio/audio_control_service.h"
#include "audio/audio_playback_manager.h"
#include "audio/sound_manager.h"
#include "livekit/media_session_service.h"
#include "room/active_room_session.h"
#include "room/room_entity_store.h"
#include "room/room_hierarchy.h"
#include "room/room_view_model.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/panels/current_room_panel.h"
#include "user/user_state.h"
#include "wiring/main_window_wiring.h"
#include "wiring/room_panels_feed.h"
#include "wiring/service_wiring.h"
#include "wiring/window_views.h"

#include <QPointer>

#include <algorithm>
#include <cmath>
#include <optional>

namespace wiring {

double linearGainFromDb(int gainDb)
{
    const int clamped = std::clamp(gainDb, -30, 30);
    if (clamped == -30)
        return 0.0;
    return std::pow(10.0, clamped / 20.0);
}

double levelDb(float level)
{
    if (level > 0.000001f)
        return 20.0 * std::log10(double(level));
    return -120.0;
}

double participantLevelDb(float level, int gainDb)
{
    return levelDb(float(double(level) * linearGainFromDb(gainDb)));
}

void syncMediaSession(ActiveRoomSession *activeRoom, RoomEntityStore *roomStore, UserState *user,
                      MediaSessionService *media)
{
    if (!media)
        return;
    RoomViewModel *room = activeRoom ? activeRoom->currentViewModel() : nullptr;
    if (room) {
        const QString roomId = room->roomId();
        media->syncRooms(true, roomId, room->parentRoomId());
        media->setRoomBitrate(room->bitrate());
        media->setParentRoomBitrate(parentRoomBitrate(roomStore, roomId));
        media->setParentBroadcastAllowed(subroomBroadcastAllowed(roomStore, roomId));
        media->setSpeechBlocked(room->isSpeechBlocked(user ? user->userId() : QString()));
        return;
    }
    media->syncRooms(false, QString(), QString());
    media->setRoomBitrate(0);
    media->setParentRoomBitrate(0);
    media->setParentBroadcastAllowed(std::nullopt);
    media->setSpeechBlocked(false);
}

void wireLiveKitSession(ActiveRoomSession *activeRoom, RoomEntityStore *roomStore, UserState *user,
                        MediaSessionService *media)
{
    if (!activeRoom || !media)
        return;
    media->setSelfIdProvider([user] { return user ? user->userId() : QString(); });
    QObject::connect(activeRoom, &ActiveRoomSession::activeRoomChanged, media,
                     [activeRoom, roomStore, user, media] { syncMediaSession(activeRoom, roomStore, user, media); });
    syncMediaSession(activeRoom, roomStore, user, media);
}

void wireAudioTransmit(ActiveRoomSession *activeRoom, AudioControlService *audioControl, AudioCaptureManager *capture,
                       MediaSessionService *media, SoundManager *sounds)
{
    if (audioControl && media) {
        QObject::connect(audioControl, &AudioControlService::transmitMutedChanged, media,
                         &MediaSessionService::setTransmitMuted);
        media->setTransmitMuted(audioControl->isTransmitMuted());
        QObject::connect(audioControl, &AudioControlService::speakerMutedChanged, media,
                         &MediaSessionService::setListeningMuted);
        media->setListeningMuted(audioControl->isSpeakerMuted());
        QObject::connect(media, &MediaSessionService::roomBitrateChanged, audioControl,
                         &AudioControlService::setVadRoomBitrate);
    }
    if (capture && media)
        QObject::connect(capture, &AudioCaptureManager::vadSpeakingChanged, media,
                         &MediaSessionService::setLocalSpeaking);
    if (activeRoom && sounds) {
        QObject::connect(activeRoom, &ActiveRoomSession::activeRoomChanged, sounds,
                         [activeRoom, sounds] { sounds->setInRoom(!activeRoom->activeRoomId().isEmpty()); });
        // The first call only records where the user is, so starting inside a room plays no cue.
        sounds->setInRoom(!activeRoom->activeRoomId().isEmpty());
        QObject::connect(activeRoom, &ActiveRoomSession::memberJoined, sounds,
                         [sounds](const QString &userId) { sounds->onMemberJoined(userId); });
        QObject::connect(activeRoom, &ActiveRoomSession::memberLeft, sounds,
                         [sounds](const QString &userId) { sounds->onMemberLeft(userId); });
    }
}

void wireSpeakers(MainWindow *window, MediaSessionService *media, RoomPanelsFeed *feed)
{
    if (!window || !media)
        return;
    ControlPanel *controls = window->controlPanel();
    if (feed) {
        QObject::connect(media, &MediaSessionService::activeSpeakersChanged, feed, &RoomPanelsFeed::setOwnSpeakers);
        QObject::connect(media, &MediaSessionService::parentActiveSpeakersChanged, feed,
                         &RoomPanelsFeed::setParentSpeakers);
    }
    QObject::connect(media, &MediaSessionService::parentCanPublishChanged, window, [feed, controls](bool allowed) {
        if (feed)
            feed->setParentBroadcastAllowed(allowed);
        if (controls)
            controls->setBroadcastAvailable(allowed);
    });
    if (controls)
        QObject::connect(controls, &ControlPanel::broadcastStateChanged, media,
                         &MediaSessionService::setBroadcastActive);
    MainStatusBar *bar = window->statusBar();
    QObject::connect(media, &MediaSessionService::connectionQualityUpdated, window, [bar](const QVariantMap &stats) {
        if (bar)
            bar->setQualityStats(stats);
    });
}

void wireVoiceFailures(MainWindow *window, MediaSessionService *media, AudioCaptureManager *capture)
{
    if (!window)
        return;
    QPointer<MainStatusBar> bar = window->statusBar();
    if (media)
        QObject::connect(media, &MediaSessionService::voiceFailed, window, [bar](const QString &reason) {
            if (bar)
                bar->showTransientMessage(reason.isEmpty() ? QStringLiteral("语音发布失败") : reason,
                                          MainStatusBar::Danger);
        });
    // The capture backend's reason is a device error for the log, not for the user.
    if (capture)
        QObject::connect(capture, &AudioCaptureManager::captureFailed, window, [bar] {
            if (bar)
                bar->showTransientMessage(QStringLiteral("麦克风无法打开，请检查输入设备"), MainStatusBar::Danger);
        });
}

void wireControlPanel(MainWindow *window, AudioControlService *audioControl, ActiveRoomSession *activeRoom,
                      UserState *user)
{
    if (!window || !audioControl)
        return;
    ControlPanel *controls = window->controlPanel();
    auto *roomPanel = windowView<CurrentRoomPanel>(window->currentRoomPanel());
    if (controls) {
        QObject::connect(controls, &ControlPanel::toggleMicRequested, audioControl, &AudioControlService::toggleMic);
        QObject::connect(controls, &ControlPanel::toggleSpeakerRequested, audioControl,
                         &AudioControlService::toggleSpeaker);
        QObject::connect(controls, &ControlPanel::broadcastStateChanged, audioControl,
                         &AudioControlService::setBroadcastActive);
    }

    // The capture side follows the same speech rule as the media session: moderation or a
    // missing speak right keeps the microphone closed whatever the user's own mode.
    const auto refreshMicrophone = [audioControl, activeRoom, user, controls] {
        RoomViewModel *room = activeRoom ? activeRoom->currentViewModel() : nullptr;
        const bool blocked = room && room->isSpeechBlocked(user ? user->userId() : QString());
        audioControl->setForceMuted(blocked);
        if (controls)
            controls->setMicState(!audioControl->isMicMuted(), audioControl->isPttActive(), blocked);
    };
    const auto showSpeaker = [controls, roomPanel](bool muted) {
        if (controls)
            controls->setSpeakerOn(!muted);
        if (roomPanel)
            roomPanel->setOutputClosed(muted);
    };

    refreshMicrophone();
    showSpeaker(audioControl->isSpeakerMuted());
    QObject::connect(audioControl, &AudioControlService::micMutedChanged, window, refreshMicrophone);
    QObject::connect(audioControl, &AudioControlService::pttActiveChanged, window, refreshMicrophone);
    if (activeRoom)
        QObject::connect(activeRoom, &ActiveRoomSession::activeRoomChanged, window, refreshMicrophone);
    QObject::connect(audioControl, &AudioControlService::speakerMutedChanged, window, showSpeaker);
}

void wireParticipantVolume(MainWindow *window, AudioPlaybackManager *playback, MediaSessionService *media)
{
    if (!window || !playback)
        return;
    auto *roomPanel = windowView<CurrentRoomPanel>(window->currentRoomPanel());
    if (!roomPanel)
        return;
    QPointer<AudioPlaybackManager> guard(playback);
    roomPanel->setGainProvider([guard](const QString &userId) { return guard ? guard->participantGainDb(userId) : 0; });
    roomPanel->setLevelProvider([guard](const QString &userId) {
        if (!guard)
            return -120.0;
        return participantLevelDb(guard->participantLevel(userId), guard->participantGainDb(userId));
    });
    QObject::connect(roomPanel, &CurrentRoomPanel::participantVolumeChanged, playback,
                     &AudioPlaybackManager::setParticipantGainDb);
    if (media)
        QObject::connect(roomPanel, &CurrentRoomPanel::participantVolumeChanged, media,
                         [media](const QString &userId, int gainDb) {
                             media->setParticipantGain(userId, linearGainFromDb(gainDb));
                         });
}

} // namespace wiring
