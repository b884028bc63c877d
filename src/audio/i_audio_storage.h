#pragma once

#include <QString>

// The audio settings of this machine. Getters return the stored value or the default and never
// clamp: the managers clamp before they write. Every setter writes and flushes at once.
// GUI thread only.
class IAudioStorage
{
public:
    virtual ~IAudioStorage() = default;

    virtual QString inputDeviceId() const = 0;
    virtual void setInputDeviceId(const QString &id) = 0;
    virtual QString outputDeviceId() const = 0;
    virtual void setOutputDeviceId(const QString &id) = 0;
    virtual int inputGainDb() const = 0;
    virtual void setInputGainDb(int db) = 0;
    virtual int outputGainDb() const = 0;
    virtual void setOutputGainDb(int db) = 0;
    virtual QString noiseMode() const = 0;
    virtual void setNoiseMode(const QString &mode) = 0;
    virtual int participantGainDb(const QString &id) const = 0;
    virtual void setParticipantGainDb(const QString &id, int db) = 0;
    virtual bool aecEnabled() const = 0;
    virtual void setAecEnabled(bool enabled) = 0;
    virtual bool agcEnabled() const = 0;
    virtual void setAgcEnabled(bool enabled) = 0;
    virtual bool hpfEnabled() const = 0;
    virtual void setHpfEnabled(bool enabled) = 0;
    virtual int vadThresholdPct() const = 0;
    virtual void setVadThresholdPct(int pct) = 0;
    virtual int vadHangoverMs() const = 0;
    virtual void setVadHangoverMs(int ms) = 0;
    virtual bool vadSilentStop() const = 0;
    virtual void setVadSilentStop(bool stop) = 0;
    virtual bool joinSoundEnabled() const = 0;
    virtual void setJoinSoundEnabled(bool enabled) = 0;
    virtual double joinSoundVolume() const = 0;
    virtual void setJoinSoundVolume(double volume) = 0;
    virtual bool leaveSoundEnabled() const = 0;
    virtual void setLeaveSoundEnabled(bool enabled) = 0;
    virtual double leaveSoundVolume() const = 0;
    virtual void setLeaveSoundVolume(double volume) = 0;
};
