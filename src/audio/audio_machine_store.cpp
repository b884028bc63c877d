#include "audio/audio_machine_store.h"

#include "storage/machine_store.h"

#include <QSettings>

namespace {
const QString kInputDeviceId = QStringLiteral("inputDeviceId");
const QString kOutputDeviceId = QStringLiteral("outputDeviceId");
const QString kInputGainDb = QStringLiteral("inputGainDb");
const QString kOutputGainDb = QStringLiteral("outputGainDb");
const QString kNoiseMode = QStringLiteral("noiseMode");
const QString kGainsPrefix = QStringLiteral("gains/");
const QString kAecEnabled = QStringLiteral("aecEnabled");
const QString kAgcEnabled = QStringLiteral("agcEnabled");
const QString kHpfEnabled = QStringLiteral("hpfEnabled");
const QString kVadThresholdPct = QStringLiteral("vadThresholdPct");
const QString kVadHangoverMs = QStringLiteral("vadHangoverMs");
const QString kVadSilentStop = QStringLiteral("vadSilentStop");
const QString kJoinSoundEnabled = QStringLiteral("joinSoundEnabled");
const QString kJoinSoundVolume = QStringLiteral("joinSoundVolume");
const QString kLeaveSoundEnabled = QStringLiteral("leaveSoundEnabled");
const QString kLeaveSoundVolume = QStringLiteral("leaveSoundVolume");

// A member identity becomes one key inside the "gains" group. Identities may hold any
// character, including the '/' that QSettings reads as a group separator and the '\\' it
// cannot store in a key, so the identity is percent-encoded into characters that survive
// the INI escaping unchanged and decode back to the same identity.
QString gainKey(const QString &id)
{
    return kGainsPrefix + QString::fromLatin1(id.toUtf8().toPercentEncoding());
}
} // namespace

AudioMachineStore::AudioMachineStore()
    : settings(openMachineSettings(QStringLiteral("audio")))
{}

AudioMachineStore::~AudioMachineStore() = default;

QVariant AudioMachineStore::read(const QString &key, const QVariant &fallback) const
{
    return settings->value(key, fallback);
}

void AudioMachineStore::write(const QString &key, const QVariant &value)
{
    settings->setValue(key, value);
    settings->sync();
}

QString AudioMachineStore::inputDeviceId() const
{
    return read(kInputDeviceId, QString()).toString();
}
void AudioMachineStore::setInputDeviceId(const QString &id)
{
    write(kInputDeviceId, id);
}
QString AudioMachineStore::outputDeviceId() const
{
    return read(kOutputDeviceId, QString()).toString();
}
void AudioMachineStore::setOutputDeviceId(const QString &id)
{
    write(kOutputDeviceId, id);
}
int AudioMachineStore::inputGainDb() const
{
    return read(kInputGainDb, 0).toInt();
}
void AudioMachineStore::setInputGainDb(int db)
{
    write(kInputGainDb, db);
}
int AudioMachineStore::outputGainDb() const
{
    return read(kOutputGainDb, 0).toInt();
}
void AudioMachineStore::setOutputGainDb(int db)
{
    write(kOutputGainDb, db);
}
QString AudioMachineStore::noiseMode() const
{
    return read(kNoiseMode, QString()).toString();
}
void AudioMachineStore::setNoiseMode(const QString &mode)
{
    write(kNoiseMode, mode);
}
int AudioMachineStore::participantGainDb(const QString &id) const
{
    return read(gainKey(id), 0).toInt();
}
void AudioMachineStore::setParticipantGainDb(const QString &id, int db)
{
    write(gainKey(id), db);
}
bool AudioMachineStore::aecEnabled() const
{
    return read(kAecEnabled, true).toBool();
}
void AudioMachineStore::setAecEnabled(bool enabled)
{
    write(kAecEnabled, enabled);
}
bool AudioMachineStore::agcEnabled() const
{
    return read(kAgcEnabled, false).toBool();
}
void AudioMachineStore::setAgcEnabled(bool enabled)
{
    write(kAgcEnabled, enabled);
}
bool AudioMachineStore::hpfEnabled() const
{
    return read(kHpfEnabled, true).toBool();
}
void AudioMachineStore::setHpfEnabled(bool enabled)
{
    write(kHpfEnabled, enabled);
}
int AudioMachineStore::vadThresholdPct() const
{
    return read(kVadThresholdPct, 50).toInt();
}
void AudioMachineStore::setVadThresholdPct(int pct)
{
    write(kVadThresholdPct, pct);
}
int AudioMachineStore::vadHangoverMs() const
{
    return read(kVadHangoverMs, 300).toInt();
}
void AudioMachineStore::setVadHangoverMs(int ms)
{
    write(kVadHangoverMs, ms);
}
bool AudioMachineStore::vadSilentStop() const
{
    return read(kVadSilentStop, true).toBool();
}
void AudioMachineStore::setVadSilentStop(bool stop)
{
    write(kVadSilentStop, stop);
}
bool AudioMachineStore::joinSoundEnabled() const
{
    return read(kJoinSoundEnabled, true).toBool();
}
void AudioMachineStore::setJoinSoundEnabled(bool enabled)
{
    write(kJoinSoundEnabled, enabled);
}
double AudioMachineStore::joinSoundVolume() const
{
    return read(kJoinSoundVolume, 0.8).toReal();
}
void AudioMachineStore::setJoinSoundVolume(double volume)
{
    write(kJoinSoundVolume, volume);
}
bool AudioMachineStore::leaveSoundEnabled() const
{
    return read(kLeaveSoundEnabled, true).toBool();
}
void AudioMachineStore::setLeaveSoundEnabled(bool enabled)
{
    write(kLeaveSoundEnabled, enabled);
}
double AudioMachineStore::leaveSoundVolume() const
{
    return read(kLeaveSoundVolume, 0.8).toReal();
}
void AudioMachineStore::setLeaveSoundVolume(double volume)
{
    write(kLeaveSoundVolume, volume);
}
