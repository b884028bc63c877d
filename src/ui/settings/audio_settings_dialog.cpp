#include "ui/settings/audio_settings_dialog.h"

#include "ui/widgets/section_divider.h"
#include "ui/widgets/volume_control.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QThread>
#include <QVBoxLayout>

namespace {

constexpr int kDefaultCueVolume = 80;

// Refills a device box without a signal: the two defaults, a separator, then the list.
// An id found nowhere selects the default communications device.
void fillDeviceBox(QComboBox *box, const AudioSettingsDialog::DeviceList &devices, const QString &currentId)
{
    const QSignalBlocker blocker(box);
    box->clear();
    box->addItem(QStringLiteral("默认设备"), QStringLiteral("default"));
    box->addItem(QStringLiteral("默认通讯设备"), QString(""));
    box->insertSeparator(box->count());
    for (const auto &device : devices)
        box->addItem(device.second, device.first);
    int found = -1;
    for (int i = 0; i < box->count(); ++i) {
        const QVariant data = box->itemData(i, Qt::UserRole);
        if (data.isValid() && data.toString() == currentId) {
            found = i;
            break;
        }
    }
    box->setCurrentIndex(found >= 0 ? found : 1);
}

} // namespace

AudioSettingsDialog::AudioSettingsDialog(QWidget *parent)
    : QDialog(parent)
{
    threadCount = [] { return QThread::idealThreadCount(); };
    chooseFile = [](QWidget *owner, const QString &caption, const QString &dir, const QString &filter) {
        return QFileDialog::getOpenFileName(owner, caption, dir, filter);
    };

    setWindowTitle(QStringLiteral("音频设置"));
    setFixedSize(1060, 660);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildDeviceColumn(), 0);
    layout->addWidget(buildSettingsColumn(), 1);
}

AudioSettingsDialog::~AudioSettingsDialog() = default;

QWidget *AudioSettingsDialog::buildDeviceColumn()
{
    auto *column = new QWidget(this);
    column->setFixedWidth(280);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(6);

    layout->addWidget(new QLabel(QStringLiteral("输入设备"), column));
    inputBox = new QComboBox(column);
    connect(inputBox, &QComboBox::activated, this, [this](int index) {
        if (!updating)
            emit inputDeviceSelected(inputBox->itemData(index, Qt::UserRole).toString());
    });
    layout->addWidget(inputBox);
    layout->addSpacing(4);
    layout->addWidget(new QLabel(QStringLiteral("输出设备"), column));
    outputBox = new QComboBox(column);
    connect(outputBox, &QComboBox::activated, this, [this](int index) {
        if (!updating)
            emit outputDeviceSelected(outputBox->itemData(index, Qt::UserRole).toString());
    });
    layout->addWidget(outputBox);

    layout->addWidget(new SectionDivider(QStringLiteral("音量"), column));
    auto *inputRow = new QHBoxLayout;
    inputRow->setSpacing(8);
    inputRow->addWidget(new QLabel(QStringLiteral("输入音量"), column));
    inputRow->addStretch();
    buildCalibration(column);
    inputRow->addWidget(calibLabel);
    inputRow->addWidget(calibButton);
    layout->addLayout(inputRow);

    inputGain = new VolumeControl(true, column);
    connect(inputGain, &VolumeControl::gainDbChanged, this, [this](int db) {
        if (!updating)
            emit inputGainChanged(db);
    });
    layout->addWidget(inputGain);
    layout->addSpacing(4);
    layout->addWidget(new QLabel(QStringLiteral("输出音量"), column));
    outputGain = new VolumeControl(true, column);
    connect(outputGain, &VolumeControl::gainDbChanged, this, [this](int db) {
        if (!updating)
            emit outputGainChanged(db);
    });
    layout->addWidget(outputGain);
    layout->addStretch();

    auto *close = new QPushButton(QStringLiteral("关闭"), column);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(close);
    return column;
}

QWidget *AudioSettingsDialog::buildSettingsColumn()
{
    auto *column = new QWidget(this);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);
    layout->addWidget(buildLoopTest(), 0);

    auto *scroll = new QScrollArea(column);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget(scroll);
    auto *contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 6, 0);
    contentLayout->setSpacing(8);
    contentLayout->addWidget(new SectionDivider(QStringLiteral("输入 · 降噪模型"), content));
    contentLayout->addWidget(buildNoiseCards());
    processingStatus = new QLabel(content);
    processingStatus->setProperty("role", "hint");
    contentLayout->addWidget(processingStatus);
    refreshProcessingStatus();
    contentLayout->addWidget(new SectionDivider(QStringLiteral("输入 · 语音处理"), content));
    contentLayout->addWidget(buildProcessingCards());
    contentLayout->addWidget(new SectionDivider(QStringLiteral("输入-语音检测"), content));
    contentLayout->addWidget(buildVoiceDetection());
    contentLayout->addWidget(new SectionDivider(QStringLiteral("输出 · 提示音"), content));

    auto *sounds = new QWidget(content);
    auto *soundRow = new QHBoxLayout(sounds);
    soundRow->setContentsMargins(0, 0, 0, 0);
    soundRow->setSpacing(6);
    soundRow->addWidget(buildSoundCard(true), 1);
    soundRow->addWidget(buildSoundCard(false), 1);
    contentLayout->addWidget(sounds);
    contentLayout->addStretch();
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);
    return column;
}

QWidget *AudioSettingsDialog::buildSoundCard(bool join)
{
    auto *card = new QWidget(this);
    card->setProperty("role", "pcard");
    card->setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(11, 8, 11, 8);
    layout->setSpacing(6);

    auto *top = new QHBoxLayout;
    top->setSpacing(8);
    auto *check = new QCheckBox(join ? QStringLiteral("进房") : QStringLiteral("出房"), card);
    top->addWidget(check);
    auto *file = new QLabel(join ? QStringLiteral("join.ogg") : QStringLiteral("leave.ogg"), card);
    file->setProperty("role", "hint");
    top->addWidget(file);
    top->addStretch();
    auto *preview = new QPushButton(QStringLiteral("试听"), card);
    preview->setFixedHeight(20);
    top->addWidget(preview);
    layout->addLayout(top);
    layout->addStretch();

    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    auto *slider = new QSlider(Qt::Horizontal, card);
    slider->setRange(0, 100);
    slider->setValue(kDefaultCueVolume);
    bottom->addWidget(slider, 1);
    auto *percent = new QLabel(QStringLiteral("%1%").arg(kDefaultCueVolume), card);
    percent->setProperty("role", "hint");
    percent->setFixedWidth(36);
    bottom->addWidget(percent);
    layout->addLayout(bottom);

    // Enabled state and label follow also while a setter runs; only the signals wait.
    connect(check, &QCheckBox::toggled, this, [this, slider, join](bool on) {
        slider->setEnabled(on);
        if (updating)
            return;
        if (join)
            emit joinSoundToggled(on);
        else
            emit leaveSoundToggled(on);
    });
    connect(slider, &QSlider::valueChanged, this, [this, percent, join](int value) {
        percent->setText(QStringLiteral("%1%").arg(value));
        if (updating)
            return;
        if (join)
            emit joinSoundVolumeChanged(value);
        else
            emit leaveSoundVolumeChanged(value);
    });
    connect(preview, &QPushButton::clicked, this,
            join ? &AudioSettingsDialog::joinSoundPreviewRequested : &AudioSettingsDialog::leaveSoundPreviewRequested);

    if (join) {
        joinCheck = check;
        joinSlider = slider;
        joinPercent = percent;
    } else {
        leaveCheck = check;
        leaveSlider = slider;
        leavePercent = percent;
    }
    return card;
}

void AudioSettingsDialog::setInputDevices(const DeviceList &devices, const QString &currentId)
{
    fillDeviceBox(inputBox, devices, currentId);
}

void AudioSettingsDialog::setOutputDevices(const DeviceList &devices, const QString &currentId)
{
    fillDeviceBox(outputBox, devices, currentId);
}

void AudioSettingsDialog::setInputGain(int db)
{
    inputGain->setGainDb(db);
}

void AudioSettingsDialog::setOutputGain(int db)
{
    outputGain->setGainDb(db);
}

void AudioSettingsDialog::setInputLevel(double db)
{
    inputGain->setLevel(db);
}

void AudioSettingsDialog::setOutputLevel(double db)
{
    outputGain->setLevel(db);
}

void AudioSettingsDialog::setJoinSound(bool enabled, int volumePercent)
{
    updating = true;
    joinCheck->setChecked(enabled);
    joinSlider->setValue(volumePercent);
    joinSlider->setEnabled(enabled);
    updating = false;
}

void AudioSettingsDialog::setLeaveSound(bool enabled, int volumePercent)
{
    updating = true;
    leaveCheck->setChecked(enabled);
    leaveSlider->setValue(volumePercent);
    leaveSlider->setEnabled(enabled);
    updating = false;
}

void AudioSettingsDialog::setThreadCountSource(std::function<int()> source)
{
    threadCount = std::move(source);
    refreshProcessingStatus();
}

void AudioSettingsDialog::setFileChooser(FileChooser chooser)
{
    chooseFile = std::move(chooser);
}
