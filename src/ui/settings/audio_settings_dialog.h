#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QTimer;
class SegmentedControl;
class VolumeControl;

// The window in which the user chooses audio devices, gains, noise suppression,
// processing switches, voice detection and cue sounds, calibrates the microphone level
// and runs a record-and-play loop test. A pure view: it calls no audio service. Every
// change the user makes leaves as one signal; every value shown comes in through a member
// function, and none of those emits a signal of the dialog.
//
// Units at the boundary: gains int dB -30..30, levels double dB with -120 for silence,
// cue volumes int percent 0..100, the detection threshold int percent 5..95, the hangover
// int ms, loop times double seconds, progress per mille. GUI thread only.
class AudioSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // Id and display name of one device, in the order the items appear.
    using DeviceList = QList<QPair<QString, QString>>;
    // The open-file dialog's signature (parent, caption, directory, filter).
    using FileChooser = std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;

    explicit AudioSettingsDialog(QWidget *parent = nullptr);
    ~AudioSettingsDialog() override;

    void setInputDevices(const DeviceList &devices, const QString &currentId);
    void setOutputDevices(const DeviceList &devices, const QString &currentId);
    void setInputGain(int db);
    void setOutputGain(int db);
    void setInputLevel(double db);
    void setOutputLevel(double db);
    void setJoinSound(bool enabled, int volumePercent);
    void setLeaveSound(bool enabled, int volumePercent);

    void setNoiseMode(const QString &mode);
    void setAecChecked(bool on);
    void setAgcChecked(bool on);
    void setHpfChecked(bool on);
    void setVadThreshold(int percent);
    void setVadHangover(int ms);
    void setVadSilentStop(bool stop);
    void setVadState(int state);
    void setVadProbability(double p);
    void setProcessingLoad(double percentOfOneCore);
    void setCaptureDevice(const QString &name, bool rawMode);

    void onCalibrationResult(bool ok, int recommendedDb);
    void onLoopSourceChanged(const QString &label, double seconds);
    void onLoopProgress(double positionSeconds, double totalSeconds);
    void onLoopPlaybackStopped();
    void onLoopDecodeFailed();
    void resetLoop();

    // Replace the machine's core count and the open-file dialog (tests).
    void setThreadCountSource(std::function<int()> source);
    void setFileChooser(FileChooser chooser);

    // Read access for tests.
    QComboBox *inputDeviceBox() const { return inputBox; }
    QComboBox *outputDeviceBox() const { return outputBox; }
    VolumeControl *inputGainControl() const { return inputGain; }
    VolumeControl *outputGainControl() const { return outputGain; }
    QLabel *calibrationLabel() const { return calibLabel; }
    QPushButton *calibrationButton() const { return calibButton; }
    QLabel *loopStatusLabel() const { return loopStatus; }
    QPushButton *recordButton() const { return recordBtn; }
    QPushButton *playButton() const { return playBtn; }
    QPushButton *loopButton() const { return loopBtn; }
    QPushButton *clearButton() const { return clearBtn; }
    QPushButton *fileButton() const { return fileBtn; }
    QProgressBar *loopProgressBar() const { return loopProgress; }
    QTimer *recordTimer() const { return recordClock; }
    QButtonGroup *noiseModelGroup() const { return noiseGroup; }
    QLabel *processingStatusLabel() const { return processingStatus; }
    QCheckBox *aecBox() const { return aecCheck; }
    QCheckBox *agcBox() const { return agcCheck; }
    QCheckBox *hpfBox() const { return hpfCheck; }
    QSlider *thresholdSlider() const { return threshold; }
    QLabel *thresholdValueLabel() const { return thresholdValue; }
    QSlider *hangoverSlider() const { return hangover; }
    QLabel *hangoverValueLabel() const { return hangoverValue; }
    const QList<QLabel *> &voiceStateLabels() const { return stateLabels; }
    QLabel *probabilityLabel() const { return probability; }
    SegmentedControl *silentBehaviourControl() const { return silentControl; }
    QCheckBox *joinSoundBox() const { return joinCheck; }
    QSlider *joinSoundSlider() const { return joinSlider; }
    QLabel *joinSoundPercentLabel() const { return joinPercent; }
    QCheckBox *leaveSoundBox() const { return leaveCheck; }
    QSlider *leaveSoundSlider() const { return leaveSlider; }
    QLabel *leaveSoundPercentLabel() const { return leavePercent; }

signals:
    void inputDeviceSelected(const QString &deviceId);
    void outputDeviceSelected(const QString &deviceId);
    void inputGainChanged(int db);
    void outputGainChanged(int db);
    void noiseModeSelected(const QString &mode);
    void aecToggled(bool on);
    void agcToggled(bool on);
    void hpfToggled(bool on);
    void vadThresholdChanged(int pct);
    void vadHangoverChanged(int ms);
    void vadSilentStopChanged(bool stop);
    void joinSoundToggled(bool on);
    void joinSoundVolumeChanged(int pct);
    void joinSoundPreviewRequested();
    void leaveSoundToggled(bool on);
    void leaveSoundVolumeChanged(int pct);
    void leaveSoundPreviewRequested();
    void calibrationToggled(bool start);
    void loopRecordToggled(bool start);
    void loopPlayToggled(bool play);
    void loopLoopToggled(bool on);
    void loopClearRequested();
    void loopFileChosen(const QString &path);

private:
    QWidget *buildDeviceColumn();
    QWidget *buildSettingsColumn();
    QWidget *buildSoundCard(bool join);
    // Processing and voice-detection sections.
    QWidget *buildNoiseCards();
    QWidget *buildProcessingCards();
    QWidget *buildVoiceDetection();
    void refreshProcessingStatus();
    // Calibration and loop test.
    void buildCalibration(QWidget *parent);
    QWidget *buildLoopTest();
    void onCalibrationClicked();
    void onRecordToggled(bool on);
    void onRecordTick();
    void onPlayToggled(bool on);
    void onFileClicked();
    void showSourceStatus();
    void setLoopProgress(int perMille);
    void setStatusText(const QString &text);

    bool updating = false;
    QComboBox *inputBox = nullptr;
    QComboBox *outputBox = nullptr;
    QLabel *calibLabel = nullptr;
    QPushButton *calibButton = nullptr;
    bool calibrating = false;
    VolumeControl *inputGain = nullptr;
    VolumeControl *outputGain = nullptr;
    QLabel *loopStatus = nullptr;
    QPushButton *recordBtn = nullptr;
    QPushButton *playBtn = nullptr;
    QPushButton *loopBtn = nullptr;
    QPushButton *clearBtn = nullptr;
    QPushButton *fileBtn = nullptr;
    QProgressBar *loopProgress = nullptr;
    QTimer *recordClock = nullptr;
    double recordedSeconds = 0.0;
    QString loopSourceLabel;
    double loopSourceSeconds = 0.0;
    QButtonGroup *noiseGroup = nullptr;
    QLabel *processingStatus = nullptr;
    QString captureDeviceName;
    bool rawMode = false;
    double processingLoad = 0.0;
    QCheckBox *aecCheck = nullptr;
    QCheckBox *agcCheck = nullptr;
    QCheckBox *hpfCheck = nullptr;
    QSlider *threshold = nullptr;
    QLabel *thresholdValue = nullptr;
    QSlider *hangover = nullptr;
    QLabel *hangoverValue = nullptr;
    QList<QLabel *> stateLabels;
    QLabel *probability = nullptr;
    SegmentedControl *silentControl = nullptr;
    QCheckBox *joinCheck = nullptr;
    QSlider *joinSlider = nullptr;
    QLabel *joinPercent = nullptr;
    QCheckBox *leaveCheck = nullptr;
    QSlider *leaveSlider = nullptr;
    QLabel *leavePercent = nullptr;
    std::function<int()> threadCount;
    FileChooser chooseFile;
};
