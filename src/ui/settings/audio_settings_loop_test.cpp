// The level calibration and the record-and-play loop test of the audio settings dialog.

#include "ui/settings/audio_settings_dialog.h"

#include "theme/theme_palette.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kRecordTickMs = 100;
constexpr double kRecordTickSeconds = 0.1;
constexpr double kRecordFullScaleSeconds = 30.0; // the capture side stops a recording there
constexpr int kProgressScale = 1000;             // per mille
constexpr int kStatusMaxWidth = 360;

const QString kCalibrateText = QStringLiteral("电平校准");
const QString kStopCalibrateText = QStringLiteral("停止校准");
const QString kRecordText = QStringLiteral("录音");
const QString kPlayText = QStringLiteral("播放");

QString seconds(double value)
{
    return QString::number(value, 'f', 1);
}

int perMille(double part, double whole)
{
    return int(std::min<double>(kProgressScale, std::round(part / whole * kProgressScale)));
}

} // namespace

void AudioSettingsDialog::buildCalibration(QWidget *parent)
{
    calibLabel = new QLabel(parent);
    calibLabel->setProperty("role", "hint");
    calibButton = new QPushButton(kCalibrateText, parent);
    calibButton->setFixedHeight(20);
    connect(calibButton, &QPushButton::clicked, this, &AudioSettingsDialog::onCalibrationClicked);
}

QWidget *AudioSettingsDialog::buildLoopTest()
{
    auto *block = new QWidget(this);
    auto *layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto *top = new QHBoxLayout;
    top->setSpacing(8);
    top->addWidget(new QLabel(QStringLiteral("音频配置测试"), block));
    loopStatus = new QLabel(QStringLiteral("未录音"), block);
    loopStatus->setProperty("role", "hint");
    loopStatus->setMaximumWidth(kStatusMaxWidth);
    top->addWidget(loopStatus);
    top->addStretch();
    layout->addLayout(top);

    auto *controls = new QHBoxLayout;
    controls->setSpacing(6);
    recordBtn = new QPushButton(kRecordText, block);
    recordBtn->setCheckable(true);
    recordBtn->setProperty("checkedVariant", "danger");
    playBtn = new QPushButton(kPlayText, block);
    playBtn->setCheckable(true);
    loopBtn = new QPushButton(QStringLiteral("循环"), block);
    loopBtn->setCheckable(true);
    clearBtn = new QPushButton(QStringLiteral("清除"), block);
    loopProgress = new QProgressBar(block);
    loopProgress->setRange(0, kProgressScale);
    loopProgress->setValue(0);
    loopProgress->setTextVisible(false);
    loopProgress->setFixedHeight(6);
    fileBtn = new QPushButton(QStringLiteral("打开音频文件…"), block);
    controls->addWidget(recordBtn);
    controls->addWidget(playBtn);
    controls->addWidget(loopBtn);
    controls->addWidget(clearBtn);
    controls->addWidget(loopProgress, 1);
    controls->addWidget(fileBtn);
    layout->addLayout(controls);

    recordClock = new QTimer(this);
    recordClock->setInterval(kRecordTickMs);
    connect(recordBtn, &QPushButton::toggled, this, &AudioSettingsDialog::onRecordToggled);
    connect(recordClock, &QTimer::timeout, this, &AudioSettingsDialog::onRecordTick);
    connect(playBtn, &QPushButton::toggled, this, &AudioSettingsDialog::onPlayToggled);
    connect(loopBtn, &QPushButton::toggled, this, &AudioSettingsDialog::loopLoopToggled);
    connect(clearBtn, &QPushButton::clicked, this, &AudioSettingsDialog::loopClearRequested);
    connect(fileBtn, &QPushButton::clicked, this, &AudioSettingsDialog::onFileClicked);
    return block;
}

void AudioSettingsDialog::onCalibrationClicked()
{
    calibrating = !calibrating;
    calibButton->setText(calibrating ? kStopCalibrateText : kCalibrateText);
    if (calibrating) {
        calibLabel->setText(QStringLiteral("校准中 · 请正常说话"));
        calibLabel->setStyleSheet(QStringLiteral("color:%1;").arg(QLatin1String(ThemePalette::hex("dangerText"))));
    }
    emit calibrationToggled(calibrating);
}

void AudioSettingsDialog::onCalibrationResult(bool ok, int recommendedDb)
{
    calibrating = false;
    calibButton->setText(kCalibrateText);
    calibLabel->setStyleSheet(QString());
    if (ok) {
        const QString number =
            recommendedDb >= 1 ? QStringLiteral("+%1").arg(recommendedDb) : QString::number(recommendedDb);
        calibLabel->setText(QStringLiteral("推荐 %1 dB").arg(number));
    } else {
        calibLabel->setText(QStringLiteral("样本不足，请再试一次"));
    }
}

void AudioSettingsDialog::setStatusText(const QString &text)
{
    loopStatus->setToolTip(text);
    loopStatus->setText(loopStatus->fontMetrics().elidedText(text, Qt::ElideRight, loopStatus->maximumWidth() - 4));
}

void AudioSettingsDialog::setLoopProgress(int value)
{
    loopProgress->setValue(value);
}

void AudioSettingsDialog::onRecordToggled(bool on)
{
    recordBtn->setText(on ? QStringLiteral("停止") : kRecordText);
    if (on) {
        // Pause a running playback first, with its signal, so the services hear it.
        if (playBtn->isChecked())
            playBtn->setChecked(false);
        recordedSeconds = 0.0;
        recordClock->start();
    } else {
        recordClock->stop();
    }
    emit loopRecordToggled(on);
}

void AudioSettingsDialog::onRecordTick()
{
    recordedSeconds += kRecordTickSeconds;
    setStatusText(QStringLiteral("录音中 %1s").arg(seconds(recordedSeconds)));
    setLoopProgress(perMille(recordedSeconds, kRecordFullScaleSeconds));
}

void AudioSettingsDialog::showSourceStatus()
{
    if (loopSourceLabel.isEmpty())
        setStatusText(QStringLiteral("已录 %1s").arg(seconds(loopSourceSeconds)));
    else
        setStatusText(QStringLiteral("已载入 %1 (%2s)").arg(loopSourceLabel, seconds(loopSourceSeconds)));
}

void AudioSettingsDialog::onLoopSourceChanged(const QString &label, double secs)
{
    loopSourceLabel = label;
    loopSourceSeconds = secs;
    recordClock->stop();
    if (recordBtn->isChecked()) {
        const QSignalBlocker blocker(recordBtn);
        recordBtn->setChecked(false);
        recordBtn->setText(kRecordText);
    }
    showSourceStatus();
    setLoopProgress(0);
}

void AudioSettingsDialog::onPlayToggled(bool on)
{
    playBtn->setText(on ? QStringLiteral("暂停") : kPlayText);
    emit loopPlayToggled(on);
}

void AudioSettingsDialog::onLoopProgress(double position, double total)
{
    // A NaN total is as good as none; it must not reach the per-mille conversion.
    if (!(total > 0.0)) {
        setLoopProgress(0);
        return;
    }
    setLoopProgress(std::max(0, perMille(position, total)));
    if (playBtn->isChecked()) {
        setStatusText(
            QStringLiteral("%1 %2s / %3s")
                .arg(loopSourceLabel.isEmpty() ? kPlayText : loopSourceLabel, seconds(position), seconds(total)));
    }
}

void AudioSettingsDialog::onLoopPlaybackStopped()
{
    if (playBtn->isChecked()) {
        const QSignalBlocker blocker(playBtn);
        playBtn->setChecked(false);
        playBtn->setText(kPlayText);
    }
    if (loopSourceSeconds > 0.0)
        showSourceStatus();
    setLoopProgress(0);
}

void AudioSettingsDialog::onLoopDecodeFailed()
{
    setStatusText(QStringLiteral("无法解码该文件"));
}

void AudioSettingsDialog::resetLoop()
{
    loopSourceLabel.clear();
    loopSourceSeconds = 0.0;
    recordClock->stop();
    onLoopPlaybackStopped();
    if (recordBtn->isChecked()) {
        const QSignalBlocker blocker(recordBtn);
        recordBtn->setChecked(false);
        recordBtn->setText(kRecordText);
    }
    setStatusText(QStringLiteral("未录音"));
    setLoopProgress(0);
}

void AudioSettingsDialog::onFileClicked()
{
    const QString path = chooseFile
                             ? chooseFile(this, QStringLiteral("打开音频文件"), QString(),
                                          QStringLiteral("音频文件 (*.wav *.mp3 *.flac *.ogg *.m4a);;所有文件 (*)"))
                             : QString();
    if (!path.isEmpty())
        emit loopFileChosen(path);
}
