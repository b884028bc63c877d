#include "ui/widgets/volume_control.h"

#include "ui/widgets/level_meter.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>

namespace {

constexpr int kMinDb = -30;
constexpr int kMaxDb = 30;

// Shows positive gains with a sign ("+5 dB") and reads them back with or without it.
class DbSpinBox : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;

protected:
    QString textFromValue(int value) const override
    {
        return value >= 1 ? QStringLiteral("+%1").arg(value) : QString::number(value);
    }

    QValidator::State validate(QString &text, int &pos) const override
    {
        QString copy = text;
        copy.remove(QLatin1Char('+'));
        int copyPos = std::clamp(pos, 0, int(copy.size()));
        return QSpinBox::validate(copy, copyPos);
    }

    int valueFromText(const QString &text) const override
    {
        QString copy = text;
        copy.remove(QLatin1Char('+'));
        copy.remove(suffix());
        return QSpinBox::valueFromText(copy.trimmed());
    }
};

} // namespace

VolumeControl::VolumeControl(bool withLevelMeter, QWidget *parent)
    : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto *row = new QHBoxLayout;
    row->setSpacing(6);
    column->addLayout(row);

    gainSlider = new QSlider(Qt::Horizontal, this);
    gainSlider->setRange(kMinDb, kMaxDb);
    gainSlider->setSingleStep(1);
    gainSlider->setValue(0);

    auto *dbBox = new DbSpinBox(this);
    gainBox = dbBox;
    gainBox->setRange(kMinDb, kMaxDb);
    gainBox->setButtonSymbols(QAbstractSpinBox::NoButtons);
    gainBox->setAlignment(Qt::AlignRight);
    gainBox->setSpecialValueText(QStringLiteral("静音"));
    gainBox->setSuffix(QStringLiteral(" dB"));
    gainBox->setValue(0);
    const QFontMetrics metrics(gainBox->font());
    int widest = 0;
    for (const QString &sample : {QStringLiteral("-30 dB"), QStringLiteral("+30 dB"), QStringLiteral("静音")})
        widest = std::max(widest, metrics.horizontalAdvance(sample));
    gainBox->setFixedWidth(widest + 21);

    row->addWidget(gainSlider, 1);
    row->addWidget(gainBox, 0);

    if (withLevelMeter) {
        levelMeter = new LevelMeter(this);
        column->addWidget(levelMeter);
    }

    connect(gainSlider, &QSlider::sliderMoved, this, [this](int value) {
        if (value == 1 || value == -1)
            gainSlider->setValue(0); // detent at 0 dB while dragging
    });
    connect(gainSlider, &QSlider::valueChanged, this, [this](int value) {
        {
            const QSignalBlocker blocker(gainBox);
            gainBox->setValue(value);
        }
        emit gainDbChanged(value);
    });
    connect(gainBox, &QSpinBox::valueChanged, this, [this](int value) {
        {
            const QSignalBlocker blocker(gainSlider);
            gainSlider->setValue(value);
        }
        emit gainDbChanged(value);
    });
}

void VolumeControl::setGainDb(int db)
{
    const int clamped = db > kMaxDb ? kMaxDb : (db < kMinDb + 1 ? kMinDb : db);
    const QSignalBlocker sliderBlocker(gainSlider);
    const QSignalBlocker boxBlocker(gainBox);
    gainSlider->setValue(clamped);
    gainBox->setValue(clamped);
}

void VolumeControl::setLevel(double db)
{
    if (levelMeter)
        levelMeter->setLevel(db);
}

int VolumeControl::gainDb() const
{
    return gainSlider->value();
}
