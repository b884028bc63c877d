#include "audio/audio_playback_manager.h"

AudioPlaybackManager::AudioPlaybackManager(QObject *parent) : QObject(parent) {}
AudioPlaybackManager::~AudioPlaybackManager() = default;
