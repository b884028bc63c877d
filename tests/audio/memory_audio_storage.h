#pragma once

#include "audio/i_audio_storage.h"

#include <QHash>
#include <QVariant>

namespace testsupport {

// The audio settings in memory, counting writes. GUI thread only, like the real store.
class MemoryAudioStorage : public IAudioStorage
{
public:
    QHash<QString, QVariant> values;
    int writes = 0;

    QString inputDeviceId() const override { return get("inputDeviceId", QString()).toString(); }
    void setInputDeviceId(const QString &v) override { put("inputDeviceId", v); }
    QString outputDeviceId() const override { return get("outputDeviceId", QString()).toString(); }
    void setOutputDeviceId(const QString &v) override { put("outputDeviceId", v); }
    int inputGainDb() const override { return get("inputGainDb", 0).toInt(); }
    void setInputGainDb(int v) override { put("inputGainDb", v); }
    int outputGainDb() const override { return get("outputGainDb", 0).toInt(); }
    void setOutputGainDb(int v) override { put("outputGainDb", v); }
    QString noiseMode() const override { return get("noiseMode", QString()).toString(); }
    void setNoiseMode(const QString &v) override { put("noiseMode", v); }
    int participantGainDb(const QString &id) const override { return get("gains/" + id, 0).toInt(); }
    void setParticipantGainDb(const QString &id, int v) override { put("gains/" + id, v); }
    bool aecEnabled() const override { return get("aecEnabled", true).toBool(); }
    void setAecEnabled(bool v) override { put("aecEnabled", v); }
    bool agcEnabled() const override { return get("agcEnabled", false).toBool(); }
    void setAgcEnabled(bool v) override { put("agcEnabled", v); }
    bool hpfEnabled() const override { return get("hpfEnabled", true).toBool(); }
    void setHpfEnabled(bool v) override { put("hpfEnabled", v); }
    int vadThresholdPct() const override { return get("vadThresholdPct", 50).toInt(); }
    void setVadThresholdPct(int v) override { put("vadThresholdPct", v); }
    int vadHangoverMs() const override { return get("vadHangoverMs", 300).toInt(); }
    void setVadHangoverMs(int v) override { put("vadHangoverMs", v); }
    bool vadSilentStop() const override { return get("vadSilentStop", true).toBool(); }
    void setVadSilentStop(bool v) override { put("vadSilentStop", v); }
    bool joinSoundEnabled() const override { return get("joinSoundEnabled", true).toBool(); }
    void setJoinSoundEnabled(bool v) override { put("joinSoundEnabled", v); }
    double joinSoundVolume() const override { return get("joinSoundVolume", 0.8).toDouble(); }
    void setJoinSoundVolume(double v) override { put("joinSoundVolume", v); }
    bool leaveSoundEnabled() const override { return get("leaveSoundEnabled", true).toBool(); }
    void setLeaveSoundEnabled(bool v) override { put("leaveSoundEnabled", v); }
    double leaveSoundVolume() const override { return get("leaveSoundVolume", 0.8).toDouble(); }
    void setLeaveSoundVolume(double v) override { put("leaveSoundVolume", v); }

private:
    QVariant get(const QString &key, const QVariant &fallback) const { return values.value(key, fallback); }
    void put(const QString &key, const QVariant &v)
    {
        values.insert(key, v);
        ++writes;
    }
};

} // namespace testsupport
