#include "ui/settings/audio_settings_dialog.h"

#include "settings_test_util.h"
#include "support/picture_check.h"
#include "support/test_main.h"
#include "theme/style_helpers.h"
#include "theme/theme_palette.h"
#include "ui/widgets/level_meter.h"
#include "ui/widgets/segmented_control.h"
#include "ui/widgets/volume_control.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStyleFactory>
#include <QTimer>

namespace {

using Dialog = AudioSettingsDialog;

// One spy per signal of the dialog, keyed by the signal's name.
class AllSignals
{
public:
    explicit AllSignals(QObject *object)
    {
        const QMetaObject *meta = object->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal)
                spies.insert(QString::fromLatin1(method.name()), std::make_shared<QSignalSpy>(object, method));
        }
    }
    int size() const { return int(spies.size()); }
    int total() const
    {
        int sum = 0;
        for (const auto &spy : spies)
            sum += int(spy->count());
        return sum;
    }
    QSignalSpy &operator[](const char *name) { return *spies.value(QString::fromLatin1(name)); }

private:
    QHash<QString, std::shared_ptr<QSignalSpy>> spies;
};

const Dialog::DeviceList kDevices{{QStringLiteral("{mic-1}"), QStringLiteral("USB 麦克风")},
                                  {QStringLiteral("{mic-2}"), QStringLiteral("耳机麦克风")}};

QAbstractButton *noiseCard(Dialog &dialog, const QString &value)
{
    for (QAbstractButton *button : dialog.noiseModelGroup()->buttons()) {
        if (button->property("cardValue").toString() == value)
            return button;
    }
    return nullptr;
}

QString checkedNoiseCard(Dialog &dialog)
{
    QAbstractButton *checked = dialog.noiseModelGroup()->checkedButton();
    return checked ? checked->property("cardValue").toString() : QString();
}

void tick(Dialog &dialog, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QVERIFY(QMetaObject::invokeMethod(dialog.recordTimer(), "timeout"));
}

// The first argument names the label's place, for readable call sites.
QString stateLabel(int /*index*/, const char *dot, const char *text, const char *caption)
{
    return QStringLiteral("<span style=\"color:%1\">●</span> <span style=\"color:%2\">%3</span>")
        .arg(QLatin1String(ThemePalette::hex(dot)), QLatin1String(ThemePalette::hex(text)), QString::fromUtf8(caption));
}

} // namespace

class AudioSettingsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile sheet(QStringLiteral(":/minimal-theme.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyle(QStyleFactory::create(QStringLiteral("fusion")));
        qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
    }

    void createdState()
    {
        Dialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("音频设置"));
        QCOMPARE(dialog.size(), QSize(1060, 660));
        QCOMPARE(dialog.inputDeviceBox()->count(), 0);
        QCOMPARE(dialog.inputGainControl()->gainDb(), 0);
        QCOMPARE(dialog.inputGainControl()->meter()->level(), -120.0);
        QCOMPARE(dialog.outputGainControl()->meter()->level(), -120.0);
        QCOMPARE(dialog.calibrationLabel()->text(), QString());
        QCOMPARE(dialog.calibrationButton()->text(), QStringLiteral("电平校准"));
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("未录音"));
        QCOMPARE(dialog.loopProgressBar()->maximum(), 1000);
        QCOMPARE(dialog.recordTimer()->interval(), 100);
        QCOMPARE(checkedNoiseCard(dialog), QString());
        QVERIFY(!dialog.aecBox()->isChecked() && !dialog.agcBox()->isChecked() && !dialog.hpfBox()->isChecked());
        QCOMPARE(dialog.aecBox()->text(), QStringLiteral("回声消除  AEC"));
        QCOMPARE(dialog.thresholdSlider()->value(), 50);
        QCOMPARE(dialog.thresholdValueLabel()->text(), QStringLiteral("50%"));
        QCOMPARE(dialog.hangoverSlider()->value(), 300);
        QCOMPARE(dialog.hangoverValueLabel()->text(), QStringLiteral("300 ms"));
        QCOMPARE(dialog.silentBehaviourControl()->value(), QStringLiteral("stop"));
        QCOMPARE(dialog.voiceStateLabels().at(2)->text(), stateLabel(2, "textMuted", "text", "静默"));
        QCOMPARE(dialog.probabilityLabel()->text(), QStringLiteral("· 0%"));
        QVERIFY(dialog.processingStatusLabel()->text().startsWith(
            QStringLiteral("当前：— · 48k 单声道 · 设备不支持旁路 · 降噪占用 0.0% 单核 · 0.0% 整机")));
        QVERIFY(!dialog.joinSoundBox()->isChecked() && !dialog.leaveSoundBox()->isChecked());
        QCOMPARE(dialog.joinSoundSlider()->value(), 80);
        QVERIFY(dialog.joinSoundSlider()->isEnabled() && dialog.leaveSoundSlider()->isEnabled());
        QCOMPARE(dialog.leaveSoundPercentLabel()->text(), QStringLiteral("80%"));
    }

    void deviceBoxes_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("index");
        QTest::newRow("listed") << QStringLiteral("{mic-2}") << 4;
        QTest::newRow("system default") << QStringLiteral("default") << 0;
        QTest::newRow("communications default") << QString() << 1;
        QTest::newRow("vanished device") << QStringLiteral("{gone}") << 1;
        QTest::newRow("case matters") << QStringLiteral("{MIC-1}") << 1;
    }

    void deviceBoxes()
    {
        QFETCH(QString, current);
        QFETCH(int, index);
        Dialog dialog;
        AllSignals signals_(&dialog);
        dialog.setInputDevices(kDevices, QStringLiteral("{mic-1}"));
        dialog.setInputDevices(kDevices, current); // a refill that moves the selection
        dialog.setOutputDevices(kDevices, current);
        QComboBox *box = dialog.inputDeviceBox();
        QCOMPARE(box->count(), 5);
        QCOMPARE(box->itemText(0), QStringLiteral("默认设备"));
        QCOMPARE(box->itemText(1), QStringLiteral("默认通讯设备"));
        QCOMPARE(box->itemText(3), QStringLiteral("USB 麦克风"));
        QCOMPARE(box->currentIndex(), index);
        QCOMPARE(dialog.outputDeviceBox()->currentIndex(), index);
        QCOMPARE(signals_.total(), 0);

        emit box->activated(1);
        emit box->activated(0);
        emit dialog.outputDeviceBox()->activated(4);
        QCOMPARE(signals_["inputDeviceSelected"].value(0), QVariantList({QString()}));
        QCOMPARE(signals_["inputDeviceSelected"].value(1), QVariantList({QStringLiteral("default")}));
        QCOMPARE(signals_["outputDeviceSelected"].value(0), QVariantList({QStringLiteral("{mic-2}")}));
    }

    void settersClampToTheBoundaryAndEmitNothing()
    {
        Dialog dialog;
        AllSignals signals_(&dialog);
        QCOMPARE(signals_.size(), 23);

        const struct
        {
            int in;
            int gain;
            int threshold;
            int hangover;
            int cue;
        } rows[] = {
            {45, 30, 95, 1000, 100},   {-45, -30, 5, 100, 0}, {3, 3, 3, 50, -5},
            {-29, -29, 99, 2000, 150}, {0, 0, 50, 300, 35},
        };
        for (const auto &row : rows) {
            dialog.setInputGain(row.in);
            dialog.setOutputGain(row.in);
            dialog.setVadThreshold(row.threshold);
            dialog.setVadHangover(row.hangover);
            dialog.setJoinSound(true, row.cue);
            dialog.setLeaveSound(false, row.cue);
            QCOMPARE(dialog.inputGainControl()->gainDb(), row.gain);
            QCOMPARE(dialog.outputGainControl()->gainDb(), row.gain);
            const int threshold = std::clamp(row.threshold, 5, 95);
            QCOMPARE(dialog.thresholdSlider()->value(), threshold);
            QCOMPARE(dialog.thresholdValueLabel()->text(), QStringLiteral("%1%").arg(threshold));
            QCOMPARE(dialog.hangoverSlider()->value(), std::clamp(row.hangover, 100, 1000));
            const int cue = std::clamp(row.cue, 0, 100);
            QCOMPARE(dialog.joinSoundSlider()->value(), cue);
            QCOMPARE(dialog.leaveSoundPercentLabel()->text(), QStringLiteral("%1%").arg(cue));
        }
        QCOMPARE(dialog.inputGainControl()->box()->specialValueText(), QStringLiteral("静音"));

        // Every other setter and connect target.
        dialog.setInputDevices(kDevices, QStringLiteral("{mic-1}"));
        dialog.setOutputDevices(kDevices, QString());
        dialog.setNoiseMode(QStringLiteral("dpdfnet"));
        dialog.setAecChecked(true);
        dialog.setAgcChecked(true);
        dialog.setHpfChecked(true);
        dialog.setVadSilentStop(false);
        dialog.setVadState(0);
        dialog.setVadProbability(0.4);
        dialog.setProcessingLoad(12.5);
        dialog.setCaptureDevice(QStringLiteral("USB 麦克风"), true);
        dialog.setInputLevel(-12.0);
        dialog.setOutputLevel(-120.0);
        dialog.onCalibrationResult(true, 4);
        dialog.onLoopSourceChanged(QString(), 3.0);
        dialog.onLoopProgress(1.0, 3.0);
        dialog.onLoopPlaybackStopped();
        dialog.onLoopDecodeFailed();
        dialog.resetLoop();
        QCOMPARE(signals_.total(), 0);
        QCOMPARE(checkedNoiseCard(dialog), QStringLiteral("dpdfnet"));
        QVERIFY(dialog.aecBox()->isChecked() && dialog.agcBox()->isChecked() && dialog.hpfBox()->isChecked());
        QCOMPARE(dialog.silentBehaviourControl()->value(), QStringLiteral("low"));
    }

    void metersAreFedLiveWithoutEmitting()
    {
        Dialog dialog;
        AllSignals signals_(&dialog);
        const double levels[] = {-120.0, -60.0, -30.5, -6.0, 0.0, -120.0};
        for (double db : levels) {
            dialog.setInputLevel(db);
            dialog.setOutputLevel(db / 2);
            QCOMPARE(dialog.inputGainControl()->meter()->level(), db);
            QCOMPARE(dialog.outputGainControl()->meter()->level(), db / 2);
        }
        // Silence draws nothing; full scale fills the bar.
        QCOMPARE(LevelMeter::filledWidth(-120.0, 200), 0);
        QCOMPARE(LevelMeter::filledWidth(0.0, 200), 200);
        QCOMPARE(signals_.total(), 0);
        QCOMPARE(dialog.inputGainControl()->gainDb(), 0);
    }

    void userChangesLeaveAsOneSignalEach()
    {
        Dialog dialog;
        AllSignals signals_(&dialog);
        dialog.setVadThreshold(3);
        dialog.thresholdSlider()->setValue(70); // as a drag does
        QCOMPARE(signals_["vadThresholdChanged"].value(0), QVariantList({70}));
        dialog.hangoverSlider()->setValue(450);
        QCOMPARE(signals_["vadHangoverChanged"].value(0), QVariantList({450}));
        QCOMPARE(dialog.hangoverValueLabel()->text(), QStringLiteral("450 ms"));
        dialog.inputGainControl()->slider()->setValue(-7);
        QCOMPARE(signals_["inputGainChanged"].value(0), QVariantList({-7}));
        dialog.outputGainControl()->box()->setValue(12);
        QCOMPARE(signals_["outputGainChanged"].value(0), QVariantList({12}));
        dialog.agcBox()->click();
        QCOMPARE(signals_["agcToggled"].value(0), QVariantList({true}));

        dialog.setJoinSound(false, 35);
        QVERIFY(!dialog.joinSoundBox()->isChecked());
        QVERIFY(!dialog.joinSoundSlider()->isEnabled());
        QCOMPARE(dialog.joinSoundPercentLabel()->text(), QStringLiteral("35%"));
        QCOMPARE(signals_["joinSoundToggled"].count(), 0);
        dialog.joinSoundBox()->click();
        QVERIFY(dialog.joinSoundSlider()->isEnabled());
        QCOMPARE(signals_["joinSoundToggled"].value(0), QVariantList({true}));
        dialog.leaveSoundSlider()->setValue(20);
        QCOMPARE(signals_["leaveSoundVolumeChanged"].value(0), QVariantList({20}));

        // The preview works while the sound is off.
        dialog.setLeaveSound(false, 50);
        const QList<QPushButton *> buttons = dialog.findChildren<QPushButton *>();
        int previews = 0;
        for (QPushButton *button : buttons) {
            if (button->text() == QStringLiteral("试听")) {
                button->click();
                ++previews;
            }
        }
        QCOMPARE(previews, 2);
        QCOMPARE(signals_["joinSoundPreviewRequested"].count(), 1);
        QCOMPARE(signals_["leaveSoundPreviewRequested"].count(), 1);

        // Silent behaviour: a click on the other segment only.
        dialog.setVadSilentStop(false);
        QVERIFY(settingstest::clickSegment(dialog.silentBehaviourControl(), QStringLiteral("stop")));
        QVERIFY(settingstest::clickSegment(dialog.silentBehaviourControl(), QStringLiteral("stop")));
        QCOMPARE(signals_["vadSilentStopChanged"].count(), 1);
        QCOMPARE(signals_["vadSilentStopChanged"].value(0), QVariantList({true}));
    }

    void noiseCards()
    {
        Dialog dialog;
        QSignalSpy selected(&dialog, &Dialog::noiseModeSelected);
        dialog.setNoiseMode(QStringLiteral("deepfilter"));
        QCOMPARE(checkedNoiseCard(dialog), QString());
        dialog.setNoiseMode(QStringLiteral("fastenhancer"));
        dialog.setNoiseMode(QStringLiteral("FastEnhancer"));
        QCOMPARE(checkedNoiseCard(dialog), QStringLiteral("fastenhancer"));
        QCOMPARE(selected.count(), 0);
        noiseCard(dialog, QStringLiteral("fastenhancer"))->click();
        noiseCard(dialog, QStringLiteral("webrtc"))->click();
        QCOMPARE(selected.count(), 2);
        QCOMPARE(selected.at(0).at(0).toString(), QStringLiteral("fastenhancer"));
        QCOMPARE(selected.at(1).at(0).toString(), QStringLiteral("webrtc"));
        QCOMPARE(checkedNoiseCard(dialog), QStringLiteral("webrtc"));
    }

    void processingStatus_data()
    {
        QTest::addColumn<int>("cores");
        QTest::addColumn<double>("load");
        QTest::addColumn<QString>("tail");
        QTest::newRow("16 cores") << 16 << 40.0 << QStringLiteral("降噪占用 40.0% 单核 · 2.5% 整机");
        QTest::newRow("one core") << 1 << 40.0 << QStringLiteral("降噪占用 40.0% 单核 · 40.0% 整机");
        QTest::newRow("unknown count") << 0 << 7.0 << QStringLiteral("降噪占用 7.0% 单核 · 7.0% 整机");
    }

    void processingStatus()
    {
        QFETCH(int, cores);
        QFETCH(double, load);
        QFETCH(QString, tail);
        Dialog dialog;
        dialog.setThreadCountSource([cores] { return cores; });
        dialog.setCaptureDevice(QStringLiteral("USB 麦克风"), true);
        dialog.setProcessingLoad(load);
        const QString text = dialog.processingStatusLabel()->text();
        QVERIFY2(text.startsWith(QStringLiteral("当前：USB 麦克风 · 48k 单声道 · 驱动音效已旁路 · ")),
                 qPrintable(text));
        QVERIFY2(text.endsWith(tail), qPrintable(text));
        dialog.setCaptureDevice(QString(), false);
        QVERIFY(
            dialog.processingStatusLabel()->text().startsWith(QStringLiteral("当前：— · 48k 单声道 · 设备不支持旁路")));
    }

    void probability_data()
    {
        QTest::addColumn<double>("p");
        QTest::addColumn<QString>("text");
        QTest::newRow("above one") << 1.7 << QStringLiteral("· 100%");
        QTest::newRow("below zero") << -0.2 << QStringLiteral("· 0%");
        QTest::newRow("half rounds away") << 0.125 << QStringLiteral("· 13%");
        QTest::newRow("not a number") << std::nan("") << QStringLiteral("· 0%");
    }

    void probability()
    {
        QFETCH(double, p);
        QFETCH(QString, text);
        Dialog dialog;
        dialog.setVadProbability(p);
        QCOMPARE(dialog.probabilityLabel()->text(), text);
    }

    void voiceStates()
    {
        Dialog dialog;
        const auto &labels = dialog.voiceStateLabels();
        dialog.setVadState(0);
        QCOMPARE(labels.at(0)->text(), stateLabel(0, "success", "text", "活跃"));
        QCOMPARE(labels.at(1)->text(), stateLabel(1, "statusIdle", "textMuted", "收尾"));
        dialog.setVadState(1);
        QCOMPARE(labels.at(1)->text(), stateLabel(1, "warning", "text", "收尾"));
        QCOMPARE(labels.at(0)->text(), stateLabel(0, "statusIdle", "textMuted", "活跃"));
        for (int outOfRange : {3, -1}) {
            dialog.setVadState(outOfRange);
            QCOMPARE(labels.at(0)->text(), stateLabel(0, "statusIdle", "textMuted", "活跃"));
            QCOMPARE(labels.at(1)->text(), stateLabel(1, "statusIdle", "textMuted", "收尾"));
            QCOMPARE(labels.at(2)->text(), stateLabel(2, "statusIdle", "textMuted", "静默"));
        }
    }

    void calibrationSequence()
    {
        Dialog dialog;
        QSignalSpy toggled(&dialog, &Dialog::calibrationToggled);
        QPushButton *button = dialog.calibrationButton();
        QLabel *label = dialog.calibrationLabel();
        const QString running = QStringLiteral("校准中 · 请正常说话");

        button->click(); // start
        QCOMPARE(button->text(), QStringLiteral("停止校准"));
        QCOMPARE(label->text(), running);
        QCOMPARE(label->styleSheet(), QStringLiteral("color:%1;").arg(QLatin1String(ThemePalette::hex("dangerText"))));
        button->click(); // stop: waiting for the result
        QCOMPARE(button->text(), QStringLiteral("电平校准"));
        QCOMPARE(label->text(), running);
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(toggled.at(0).at(0).toBool(), true);
        QCOMPARE(toggled.at(1).at(0).toBool(), false);

        const struct
        {
            bool ok;
            int db;
            const char *text;
        } results[] = {{true, 0, "推荐 0 dB"},
                       {true, 6, "推荐 +6 dB"},
                       {true, -4, "推荐 -4 dB"},
                       {false, 9, "样本不足，请再试一次"}};
        for (const auto &result : results) {
            button->click(); // a new start; the result arrives while calibrating
            dialog.onCalibrationResult(result.ok, result.db);
            QCOMPARE(label->text(), QString::fromUtf8(result.text));
            QCOMPARE(label->styleSheet(), QString());
            QCOMPARE(button->text(), QStringLiteral("电平校准"));
        }
        button->click(); // the flag was cleared by the result: this starts again
        QCOMPARE(toggled.last().at(0).toBool(), true);
    }

    void loopRecordingSequence()
    {
        Dialog dialog;
        AllSignals signals_(&dialog);
        QList<QPair<QString, bool>> order;
        connect(&dialog, &Dialog::loopPlayToggled, &dialog, [&order](bool on) { order.append({"play", on}); });
        connect(&dialog, &Dialog::loopRecordToggled, &dialog, [&order](bool on) { order.append({"record", on}); });

        dialog.playButton()->click();
        QCOMPARE(dialog.playButton()->text(), QStringLiteral("暂停"));
        dialog.recordButton()->click(); // start recording: the playback pauses first
        QCOMPARE(order, (QList<QPair<QString, bool>>{{"play", true}, {"play", false}, {"record", true}}));
        QCOMPARE(dialog.recordButton()->text(), QStringLiteral("停止"));
        QVERIFY(dialog.recordTimer()->isActive());
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("未录音")); // the first tick writes

        tick(dialog, 3);
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("录音中 0.3s"));
        QCOMPARE(dialog.loopProgressBar()->value(), 10); // 0.3 of 30 s in per mille

        dialog.recordButton()->click(); // stop
        QCOMPARE(order.last(), (QPair<QString, bool>{"record", false}));
        QCOMPARE(dialog.recordButton()->text(), QStringLiteral("录音"));
        QVERIFY(!dialog.recordTimer()->isActive());
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("录音中 0.3s"));

        dialog.onLoopSourceChanged(QString(), 4.5);
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("已录 4.5s"));
        QCOMPARE(dialog.loopProgressBar()->value(), 0);

        // A recording that runs into the capture side's 30 s limit.
        dialog.recordButton()->click();
        tick(dialog, 305);
        QCOMPARE(dialog.loopProgressBar()->value(), 1000);
        const int recordSignals = signals_["loopRecordToggled"].count();
        dialog.onLoopSourceChanged(QString(), 30.0);
        QVERIFY(!dialog.recordButton()->isChecked());
        QCOMPARE(dialog.recordButton()->text(), QStringLiteral("录音"));
        QVERIFY(!dialog.recordTimer()->isActive());
        QCOMPARE(signals_["loopRecordToggled"].count(), recordSignals);
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("已录 30.0s"));
    }

    void loopPlaybackSequence()
    {
        Dialog dialog;
        QSignalSpy play(&dialog, &Dialog::loopPlayToggled);
        dialog.onLoopSourceChanged(QStringLiteral("voice.wav"), 6.0);
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("已载入 voice.wav (6.0s)"));

        dialog.onLoopProgress(1.5, 6.0); // not playing: the bar moves, the status stays
        QCOMPARE(dialog.loopProgressBar()->value(), 250);
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("已载入 voice.wav (6.0s)"));

        dialog.playButton()->click();
        dialog.onLoopProgress(3.0, 6.0);
        QCOMPARE(dialog.loopProgressBar()->value(), 500);
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("voice.wav 3.0s / 6.0s"));
        dialog.onLoopProgress(9.0, 6.0);
        QCOMPARE(dialog.loopProgressBar()->value(), 1000);
        dialog.onLoopProgress(2.0, 0.0); // no total: progress 0, status alone
        QCOMPARE(dialog.loopProgressBar()->value(), 0);
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("voice.wav 9.0s / 6.0s"));

        dialog.onLoopPlaybackStopped(); // the end of a playback that does not loop
        QVERIFY(!dialog.playButton()->isChecked());
        QCOMPARE(dialog.playButton()->text(), QStringLiteral("播放"));
        QCOMPARE(play.count(), 1); // only the user's click
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("已载入 voice.wav (6.0s)"));

        // A recording as the source reads "播放" while it plays.
        dialog.onLoopSourceChanged(QString(), 2.0);
        dialog.playButton()->click();
        dialog.onLoopProgress(1.0, 2.0);
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("播放 1.0s / 2.0s"));

        // A failed decode changes the status only.
        dialog.onLoopDecodeFailed();
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("无法解码该文件"));
        QVERIFY(dialog.playButton()->isChecked());
        QCOMPARE(dialog.loopProgressBar()->value(), 500);
    }

    void loopClearAndReset()
    {
        Dialog dialog;
        AllSignals signals_(&dialog);
        dialog.loopButton()->click();
        dialog.clearButton()->click();
        QCOMPARE(signals_["loopLoopToggled"].value(0), QVariantList({true}));
        QCOMPARE(signals_["loopClearRequested"].count(), 1);

        dialog.onLoopSourceChanged(QStringLiteral("a.mp3"), 5.0);
        dialog.recordButton()->click();
        tick(dialog, 2);
        const int recordSignals = signals_["loopRecordToggled"].count();
        dialog.resetLoop(); // clearing while recording
        QVERIFY(!dialog.recordButton()->isChecked());
        QCOMPARE(dialog.recordButton()->text(), QStringLiteral("录音"));
        QVERIFY(!dialog.recordTimer()->isActive());
        QCOMPARE(signals_["loopRecordToggled"].count(), recordSignals);
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("未录音"));
        QCOMPARE(dialog.loopProgressBar()->value(), 0);
        dialog.onLoopPlaybackStopped(); // no source: the status stays
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("未录音"));
    }

    void fileChooser()
    {
        Dialog dialog;
        QSignalSpy chosen(&dialog, &Dialog::loopFileChosen);
        QStringList asked;
        QString answer;
        QWidget *parentSeen = nullptr;
        dialog.setFileChooser(
            [&](QWidget *parent, const QString &caption, const QString &dir, const QString &filter) -> QString {
                parentSeen = parent;
                asked << caption << dir << filter;
                return answer;
            });
        dialog.fileButton()->click(); // cancelled
        QCOMPARE(chosen.count(), 0);
        QCOMPARE(parentSeen, &dialog);
        QCOMPARE(asked, QStringList({QStringLiteral("打开音频文件"), QString(),
                                     QStringLiteral("音频文件 (*.wav *.mp3 *.flac *.ogg *.m4a);;所有文件 (*)")}));
        QCOMPARE(dialog.loopStatusLabel()->text(), QStringLiteral("未录音"));
        answer = QStringLiteral("/tmp/some voice.flac");
        dialog.fileButton()->click();
        QCOMPARE(chosen.value(0), QVariantList({answer}));
    }

    void longStatusIsElidedWithTheFullTextAsTip()
    {
        Dialog dialog;
        const QString name = QString(80, QLatin1Char('n')) + QStringLiteral(".wav");
        dialog.onLoopSourceChanged(name, 12.0);
        const QString full = QStringLiteral("已载入 %1 (12.0s)").arg(name);
        QCOMPARE(dialog.loopStatusLabel()->toolTip(), full);
        QVERIFY(dialog.loopStatusLabel()->text() != full);
        QVERIFY(dialog.loopStatusLabel()->text().endsWith(QChar(0x2026)));
        QVERIFY(dialog.loopStatusLabel()->fontMetrics().horizontalAdvance(dialog.loopStatusLabel()->text()) <= 356);
    }

    void picture()
    {
        Dialog dialog;
        dialog.setThreadCountSource([] { return 8; });
        dialog.setInputDevices(kDevices, QStringLiteral("{mic-1}"));
        dialog.setOutputDevices({{QStringLiteral("{spk}"), QStringLiteral("扬声器 (Realtek)")}},
                                QStringLiteral("{spk}"));
        dialog.setInputGain(6);
        dialog.setOutputGain(-3);
        dialog.setInputLevel(-18.0);
        dialog.setOutputLevel(-32.0);
        dialog.setNoiseMode(QStringLiteral("fastenhancer"));
        dialog.setAecChecked(true);
        dialog.setHpfChecked(true);
        dialog.setVadThreshold(45);
        dialog.setVadState(0);
        dialog.setVadProbability(0.82);
        dialog.setCaptureDevice(QStringLiteral("USB 麦克风"), true);
        dialog.setProcessingLoad(18.4);
        dialog.setJoinSound(true, 70);
        dialog.setLeaveSound(false, 40);
        dialog.onCalibrationResult(true, 5);
        dialog.onLoopSourceChanged(QStringLiteral("voice.wav"), 6.0);
        dialog.playButton()->click();
        dialog.onLoopProgress(2.4, 6.0);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCoreApplication::processEvents();
        QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
        const QImage image = dialog.grab().toImage();
        QVERIFY(!image.isNull());
        QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR) + QStringLiteral("/audio_settings.png")));
        const QStringList blank = testsupport::blankRegions(
            image, testsupport::regionsOf(
                       &dialog, {dialog.inputDeviceBox(), dialog.outputDeviceBox(), dialog.inputGainControl(),
                                 dialog.outputGainControl(), dialog.calibrationLabel(), dialog.loopStatusLabel(),
                                 dialog.playButton(), dialog.loopProgressBar(), dialog.processingStatusLabel(),
                                 dialog.aecBox(), dialog.thresholdSlider(), dialog.probabilityLabel(),
                                 dialog.silentBehaviourControl(), dialog.joinSoundBox(), dialog.joinSoundSlider(),
                                 dialog.leaveSoundPercentLabel()}));
        QVERIFY2(blank.isEmpty(), qPrintable(blank.join(QStringLiteral(", "))));
    }
};

KESTOVA_TEST_MAIN(AudioSettingsDialogTest)
#include "test_audio_settings_dialog.moc"
