#pragma once

#include <QObject>

// Microphone capture on its own thread.
class AudioCaptureManager : public QObject
{
    Q_OBJECT
public:
    explicit AudioCaptureManager(QObject *parent = nullptr);
    ~AudioCaptureManager() override;
};
