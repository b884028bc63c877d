#pragma once

#include <QWidget>

class LevelMeter;
class QSlider;
class QSpinBox;

// A gain slider from -30 to +30 dB with a matching number box ("静音" at -30) and,
// optionally, a level meter underneath. Dragging has a detent at 0 dB.
class VolumeControl : public QWidget
{
    Q_OBJECT
public:
    explicit VolumeControl(bool withLevelMeter, QWidget *parent = nullptr);

    // Shows the gain (clamped to the range) without emitting.
    void setGainDb(int db);
    // Forwards to the meter; nothing without one.
    void setLevel(double db);

    int gainDb() const;
    QSlider *slider() const { return gainSlider; }
    QSpinBox *box() const { return gainBox; }
    LevelMeter *meter() const { return levelMeter; }

signals:
    // Once for every change the user makes in the slider or the box.
    void gainDbChanged(int db);

private:
    QSlider *gainSlider = nullptr;
    QSpinBox *gainBox = nullptr;
    LevelMeter *levelMeter = nullptr;
};
