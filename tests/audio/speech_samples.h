#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

namespace testsupport {

// Real speech for the audio tests: espeak-ng speaks `text`, sox turns it into mono signed 16-bit
// samples at `rate` (48 kHz unless told). Empty when either tool is missing or fails (the caller
// skips).
inline std::vector<std::int16_t> synthesizeSpeech(const QString &text, const QStringList &voiceArgs = {},
                                                  int rate = 48000)
{
    if (QStandardPaths::findExecutable("espeak-ng").isEmpty() || QStandardPaths::findExecutable("sox").isEmpty())
        return {};
    QTemporaryDir dir;
    if (!dir.isValid())
        return {};
    const QString wav = dir.filePath("speech.wav");
    const QString raw = dir.filePath("speech.raw");
    if (QProcess::execute("espeak-ng", voiceArgs + QStringList{"-w", wav, text}) != 0)
        return {};
    if (QProcess::execute("sox", {wav, "-r", QString::number(rate), "-c", "1", "-b", "16", "-e", "signed-integer", raw}) != 0)
        return {};
    QFile file(raw);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<std::int16_t> samples(static_cast<std::size_t>(bytes.size()) / 2);
    memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

} // namespace testsupport
