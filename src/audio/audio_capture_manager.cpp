#include "audio/audio_capture_manager.h"

AudioCaptureManager::AudioCaptureManager(QObject *parent) : QObject(parent) {}
AudioCaptureManager::~AudioCaptureManager() = default;
