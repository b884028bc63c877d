#pragma once

#include "audio/i_audio_storage.h"

#include <memory>

class QSettings;
class QVariant;

// The audio settings in "audio.ini" of the machine folder. GUI thread only.
class AudioMachineStore : public IAudioStorage
{
public:
    AudioMachineStore();
    ~AudioMachineStore() override;

    QString inputDeviceId() const override;
    void setInputDeviceId(const QString &id) override;
    QString outputDeviceId() const override;
    void setOutputDeviceId(const QString &id) override;
    int inputGainDb() const override;
    void setInputGainDb(int db) override;
    int outputGainDb() const override;
    void setOutputGainDb(int db) override;
    QString noiseMode() const override;
    void setNoiseMode(const QString &mode) override;
    int participantGainDb(const QString &id) const override;
    void setParticipantGainDb(const QString &id, int db) override;
    bool aecEnabled() const override;
    void setAecEnabled(bool enabled) override;
    bool agcEnabled() const override;
    void setAgcEnabled(bool enabled) override;
    bool hpfEnabled() const override;
    void setHpfEnabled(bool enabled) override;
    int vadThresholdPct() const override;
    void setVadThresholdPct(int pct) override;
    int vadHangoverMs() const override;
    void setVadHangoverMs(int ms) override;
    bool vadSilentStop() const override;
    void setVadSilentStop(bool stop) override;
    bool joinSoundEnabled() const override;
    void setJoinSoundEnabled(bool enabled) override;
    double joinSoundVolume() const override;
    void setJoinSoundVolume(double volume) override;
    bool leaveSoundEnabled() const override;
    void setLeaveSoundEnabled(bool enabled) override;
    double leaveSoundVolume() const override;
    void setLeaveSoundVolume(double volume) override;

private:
    QVariant read(const QString &key, const QVariant &fallback) const;
    void write(const QString &key, const QVariant &value);

    std::unique_ptr<QSettings> settings;
};
