// The noise-model cards, the processing status line, the voice-processing cards and the
// voice-detection block of the audio settings dialog.

#include "ui/settings/audio_settings_dialog.h"

#include "theme/theme_palette.h"
#include "ui/widgets/segmented_control.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace {

struct NoiseCard
{
    const char *title;
    const char *description;
    const char *value;
};

constexpr NoiseCard kNoiseCards[] = {
    {"关闭降噪", "完全关闭软件内置降噪，适合使用外部降噪程序的用户。", "off"},
    {"WebRTC NS", "无消耗免费降噪，只能简单削减基础噪音。", "webrtc"},
    {"FastEnhancer AI降噪", "标准模式模型，低CPU占用，适合大多数场景。", "fastenhancer"},
    {"DPDFNet AI降噪", "强降噪模式模型，高CPU占用，适合高噪音场景。", "dpdfnet"},
};

struct VoiceState
{
    const char *text;
    const char *colour;
};

// Indexed by the detector's state value: active, hangover, silent.
constexpr VoiceState kVoiceStates[] = {{"活跃", "success"}, {"收尾", "warning"}, {"静默", "textMuted"}};
constexpr int kSilentState = 2;

QWidget *makeProcessingCard(QWidget *parent, const char *name, const char *code, const char *description,
                            QCheckBox **box)
{
    auto *card = new QWidget(parent);
    card->setProperty("role", "pcard");
    card->setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(12, 9, 12, 9);
    layout->setSpacing(4);
    *box = new QCheckBox(QStringLiteral("%1  %2").arg(QString::fromUtf8(name), QString::fromUtf8(code)), card);
    layout->addWidget(*box);
    auto *hint = new QLabel(QString::fromUtf8(description), card);
    hint->setProperty("role", "hint");
    hint->setWordWrap(true);
    layout->addWidget(hint);
    layout->addStretch();
    return card;
}

} // namespace

QWidget *AudioSettingsDialog::buildNoiseCards()
{
    auto *cards = new QWidget(this);
    auto *grid = new QGridLayout(cards);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(6);
    noiseGroup = new QButtonGroup(this);
    noiseGroup->setExclusive(true);
    int index = 0;
    for (const NoiseCard &spec : kNoiseCards) {
        auto *card = new QPushButton(cards);
        card->setCheckable(true);
        card->setCursor(Qt::PointingHandCursor);
        card->setProperty("variant", "card");
        card->setProperty("cardValue", QString::fromLatin1(spec.value));
        auto *layout = new QVBoxLayout(card);
        layout->setContentsMargins(10, 8, 10, 8);
        layout->setSpacing(2);
        auto *title = new QLabel(QString::fromUtf8(spec.title), card);
        title->setProperty("role", "value");
        title->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(title);
        auto *description = new QLabel(QString::fromUtf8(spec.description), card);
        description->setProperty("role", "hint");
        description->setWordWrap(true);
        description->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(description);
        // The card sizes to its labels, which a text-less button would not do.
        card->setMinimumHeight(layout->sizeHint().height());
        noiseGroup->addButton(card);
        grid->addWidget(card, index / 2, index % 2);
        ++index;
    }
    // Every click counts, also on the card that is already checked.
    connect(noiseGroup, &QButtonGroup::buttonClicked, this,
            [this](QAbstractButton *button) { emit noiseModeSelected(button->property("cardValue").toString()); });
    return cards;
}

QWidget *AudioSettingsDialog::buildProcessingCards()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(makeProcessingCard(row, "回声消除", "AEC",
                                         "声学回声消除，自动消除外放带来的重复声音输入，建议打开。", &aecCheck),
                      1);
    layout->addWidget(makeProcessingCard(row, "自动增益", "AGC",
                                         "自动增益控制，自动调整输入音量，会导致底噪提高，声音浮动严重，建议关闭。",
                                         &agcCheck),
                      1);
    layout->addWidget(makeProcessingCard(row, "高通滤波", "HPF",
                                         "切除 80Hz 以下的低频噪音（桌面震动、风声等），建议打开。", &hpfCheck),
                      1);
    connect(aecCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (!updating)
            emit aecToggled(on);
    });
    connect(agcCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (!updating)
            emit agcToggled(on);
    });
    connect(hpfCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (!updating)
            emit hpfToggled(on);
    });
    return row;
}

QWidget *AudioSettingsDialog::buildVoiceDetection()
{
    auto *block = new QWidget(this);
    auto *layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto *intro = new QLabel(QStringLiteral("Voice Activity Detection，语音活动检测，影响音频传输启用时机。"), block);
    intro->setProperty("role", "hint");
    layout->addWidget(intro);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(18);
    grid->setVerticalSpacing(8);

    auto *thresholdRow = new QHBoxLayout;
    thresholdRow->setSpacing(6);
    auto *thresholdCaption = new QLabel(QStringLiteral("检测阈值"), block);
    thresholdCaption->setFixedWidth(64);
    thresholdRow->addWidget(thresholdCaption);
    threshold = new QSlider(Qt::Horizontal, block);
    threshold->setRange(5, 95);
    threshold->setValue(50);
    thresholdRow->addWidget(threshold, 1);
    thresholdValue = new QLabel(QStringLiteral("50%"), block);
    thresholdValue->setFixedWidth(52);
    thresholdRow->addWidget(thresholdValue);
    grid->addLayout(thresholdRow, 0, 0);

    auto *stateRow = new QHBoxLayout;
    stateRow->setSpacing(10);
    for (int i = 0; i < 3; ++i) {
        auto *label = new QLabel(block);
        label->setTextFormat(Qt::RichText);
        stateLabels.append(label);
        stateRow->addWidget(label);
    }
    probability = new QLabel(block);
    probability->setProperty("role", "hint");
    stateRow->addWidget(probability);
    stateRow->addStretch();
    grid->addLayout(stateRow, 0, 1);

    auto *hangoverRow = new QHBoxLayout;
    hangoverRow->setSpacing(6);
    auto *hangoverCaption = new QLabel(QStringLiteral("收尾延迟"), block);
    hangoverCaption->setFixedWidth(64);
    hangoverRow->addWidget(hangoverCaption);
    hangover = new QSlider(Qt::Horizontal, block);
    hangover->setRange(100, 1000);
    hangover->setSingleStep(50);
    hangover->setPageStep(50);
    hangover->setValue(300);
    hangoverRow->addWidget(hangover, 1);
    hangoverValue = new QLabel(QStringLiteral("300 ms"), block);
    hangoverValue->setFixedWidth(52);
    hangoverRow->addWidget(hangoverValue);
    grid->addLayout(hangoverRow, 1, 0);

    auto *silentRow = new QHBoxLayout;
    silentRow->setSpacing(6);
    auto *silentCaption = new QLabel(QStringLiteral("静默期行为"), block);
    silentCaption->setProperty("role", "hint");
    silentRow->addWidget(silentCaption);
    silentControl = new SegmentedControl(block);
    silentControl->addSegment(QStringLiteral("低码率传输"), QStringLiteral("low"));
    silentControl->addSegment(QStringLiteral("停止传输"), QStringLiteral("stop"));
    silentControl->setValue(QStringLiteral("stop"));
    silentRow->addWidget(silentControl);
    silentRow->addStretch();
    grid->addLayout(silentRow, 1, 1);
    layout->addLayout(grid);

    connect(threshold, &QSlider::valueChanged, this, [this](int value) {
        thresholdValue->setText(QStringLiteral("%1%").arg(value));
        if (!updating)
            emit vadThresholdChanged(value);
    });
    connect(hangover, &QSlider::valueChanged, this, [this](int value) {
        hangoverValue->setText(QStringLiteral("%1 ms").arg(value));
        if (!updating)
            emit vadHangoverChanged(value);
    });
    connect(silentControl, &SegmentedControl::valueChanged, this, [this](const QString &value) {
        if (!updating)
            emit vadSilentStopChanged(value == QStringLiteral("stop"));
    });

    setVadState(kSilentState);
    setVadProbability(0.0);
    return block;
}

void AudioSettingsDialog::refreshProcessingStatus()
{
    const int cores = threadCount ? std::max(1, threadCount()) : 1;
    processingStatus->setText(QStringLiteral("当前：%1 · 48k 单声道 · %2 · 降噪占用 %3% 单核 · %4% 整机")
                                  .arg(captureDeviceName.isEmpty() ? QStringLiteral("—") : captureDeviceName,
                                       rawMode ? QStringLiteral("驱动音效已旁路") : QStringLiteral("设备不支持旁路"),
                                       QString::number(processingLoad, 'f', 1),
                                       QString::number(processingLoad / cores, 'f', 1)));
}

void AudioSettingsDialog::setNoiseMode(const QString &mode)
{
    for (QAbstractButton *button : noiseGroup->buttons()) {
        if (button->property("cardValue").toString() == mode) {
            button->setChecked(true);
            return;
        }
    }
}

void AudioSettingsDialog::setAecChecked(bool on)
{
    updating = true;
    aecCheck->setChecked(on);
    updating = false;
}

void AudioSettingsDialog::setAgcChecked(bool on)
{
    updating = true;
    agcCheck->setChecked(on);
    updating = false;
}

void AudioSettingsDialog::setHpfChecked(bool on)
{
    updating = true;
    hpfCheck->setChecked(on);
    updating = false;
}

void AudioSettingsDialog::setVadThreshold(int percent)
{
    updating = true;
    threshold->setValue(percent);
    updating = false;
}

void AudioSettingsDialog::setVadHangover(int ms)
{
    updating = true;
    hangover->setValue(ms);
    updating = false;
}

void AudioSettingsDialog::setVadSilentStop(bool stop)
{
    silentControl->setValue(stop ? QStringLiteral("stop") : QStringLiteral("low"));
}

void AudioSettingsDialog::setVadState(int state)
{
    const QString idle = QString::fromLatin1(ThemePalette::hex("statusIdle"));
    const QString muted = QString::fromLatin1(ThemePalette::hex("textMuted"));
    const QString text = QString::fromLatin1(ThemePalette::hex("text"));
    for (int i = 0; i < stateLabels.size(); ++i) {
        const bool current = i == state;
        stateLabels.at(i)->setText(
            QStringLiteral("<span style=\"color:%1\">●</span> <span style=\"color:%2\">%3</span>")
                .arg(current ? QString::fromLatin1(ThemePalette::hex(kVoiceStates[i].colour)) : idle,
                     current ? text : muted, QString::fromUtf8(kVoiceStates[i].text)));
    }
}

void AudioSettingsDialog::setVadProbability(double p)
{
    // NaN is treated as silence rather than shown as a number.
    const double clamped = std::isnan(p) ? 0.0 : std::clamp(p, 0.0, 1.0);
    probability->setText(QStringLiteral("· %1%").arg(qint64(std::round(clamped * 100.0))));
}

void AudioSettingsDialog::setProcessingLoad(double percentOfOneCore)
{
    processingLoad = percentOfOneCore;
    refreshProcessingStatus();
}

void AudioSettingsDialog::setCaptureDevice(const QString &name, bool raw)
{
    captureDeviceName = name;
    rawMode = raw;
    refreshProcessingStatus();
}
