#include "ui/widgets/volume_control.h"

#include "ui/widgets/level_meter.h"

#include "support/test_main.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>

class VolumeControlTest : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void setGainDbClampsSilently_data();
    void setGainDbClampsSilently();
    void sliderDragHasDetentAtZero();
    void keyboardStepsDoNotSnap();
    void typingInTheBox();
    void plusSignIsOptional();
    void levelGoesToTheMeter();
};

void VolumeControlTest::construction()
{
    VolumeControl control(true);
    QCOMPARE(control.slider()->minimum(), -30);
    QCOMPARE(control.slider()->maximum(), 30);
    QCOMPARE(control.slider()->orientation(), Qt::Horizontal);
    QCOMPARE(control.box()->minimum(), -30);
    QCOMPARE(control.box()->maximum(), 30);
    QCOMPARE(control.box()->buttonSymbols(), QAbstractSpinBox::NoButtons);
    QCOMPARE(control.box()->text(), QStringLiteral("0 dB"));
    QCOMPARE(control.gainDb(), 0);
    QVERIFY(control.meter());

    const QFontMetrics metrics(control.box()->font());
    const int widest = std::max({metrics.horizontalAdvance(QStringLiteral("-30 dB")),
                                 metrics.horizontalAdvance(QStringLiteral("+30 dB")),
                                 metrics.horizontalAdvance(QStringLiteral("静音"))});
    QCOMPARE(control.box()->width(), widest + 21);
    QCOMPARE(control.box()->minimumWidth(), widest + 21);
}

void VolumeControlTest::setGainDbClampsSilently_data()
{
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("text");
    QTest::newRow("above") << 45 << 30 << "+30 dB";
    QTest::newRow("top") << 30 << 30 << "+30 dB";
    QTest::newRow("positive") << 5 << 5 << "+5 dB";
    QTest::newRow("zero") << 0 << 0 << "0 dB";
    QTest::newRow("negative") << -12 << -12 << "-12 dB";
    QTest::newRow("just above mute") << -29 << -29 << "-29 dB";
    QTest::newRow("mute") << -30 << -30 << "静音";
    QTest::newRow("far below") << -99 << -30 << "静音";
}

void VolumeControlTest::setGainDbClampsSilently()
{
    QFETCH(int, db);
    QFETCH(int, shown);
    QFETCH(QString, text);
    VolumeControl control(false);
    QSignalSpy changed(&control, &VolumeControl::gainDbChanged);
    control.setGainDb(db);
    QCOMPARE(control.slider()->value(), shown);
    QCOMPARE(control.box()->value(), shown);
    QCOMPARE(control.box()->text(), text);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!control.slider()->signalsBlocked());
    QVERIFY(!control.box()->signalsBlocked());
}

void VolumeControlTest::sliderDragHasDetentAtZero()
{
    VolumeControl control(false);
    QSignalSpy changed(&control, &VolumeControl::gainDbChanged);
    QSlider *slider = control.slider();
    slider->setSliderDown(true);

    slider->setSliderPosition(5);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.takeFirst().at(0).toInt(), 5);
    QCOMPARE(control.box()->text(), QStringLiteral("+5 dB"));

    slider->setSliderPosition(1);
    QCOMPARE(slider->value(), 0);
    QCOMPARE(control.box()->value(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.takeFirst().at(0).toInt(), 0);

    slider->setSliderPosition(-3);
    QCOMPARE(changed.takeFirst().at(0).toInt(), -3);
    slider->setSliderPosition(-1);
    QCOMPARE(slider->value(), 0);
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.last().at(0).toInt(), 0);
    slider->setSliderDown(false);
}

void VolumeControlTest::keyboardStepsDoNotSnap()
{
    VolumeControl control(false);
    QSignalSpy changed(&control, &VolumeControl::gainDbChanged);
    control.slider()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(control.slider()->value(), 1);
    QCOMPARE(control.box()->text(), QStringLiteral("+1 dB"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.takeFirst().at(0).toInt(), 1);

    control.slider()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    control.slider()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(control.slider()->value(), -1);
    QCOMPARE(changed.count(), 2);
}

void VolumeControlTest::typingInTheBox()
{
    VolumeControl control(false);
    control.show();
    QSignalSpy changed(&control, &VolumeControl::gainDbChanged);
    QLineEdit *edit = control.box()->findChild<QLineEdit *>();
    QVERIFY(edit);
    edit->setSelection(0, 1); // the "0" of "0 dB"
    QTest::keyClicks(control.box(), QStringLiteral("7"));
    QCOMPARE(edit->text(), QStringLiteral("7 dB"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.takeFirst().at(0).toInt(), 7);
    QCOMPARE(control.slider()->value(), 7);

    control.box()->stepBy(-10);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.takeFirst().at(0).toInt(), -3);
    QCOMPARE(control.slider()->value(), -3);
}

void VolumeControlTest::plusSignIsOptional()
{
    VolumeControl control(false);
    control.show();
    QSignalSpy changed(&control, &VolumeControl::gainDbChanged);
    QLineEdit *edit = control.box()->findChild<QLineEdit *>();
    for (const QString &typed : {QStringLiteral("+7 dB"), QStringLiteral("+7"), QStringLiteral("7")}) {
        control.setGainDb(0);
        edit->selectAll();
        edit->insert(typed);
        control.box()->interpretText();
        QVERIFY2(control.box()->value() == 7, qPrintable(typed));
        QCOMPARE(control.slider()->value(), 7);
    }
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.last().at(0).toInt(), 7);

    control.setGainDb(-30);
    QCOMPARE(control.box()->text(), QStringLiteral("静音"));
}

void VolumeControlTest::levelGoesToTheMeter()
{
    VolumeControl with(true);
    with.setLevel(-18.0);
    QCOMPARE(with.meter()->level(), -18.0);

    VolumeControl without(false);
    QVERIFY(!without.meter());
    without.setLevel(-18.0); // nothing to forward to; must not fail
    QVERIFY(!without.findChild<LevelMeter *>());
}

KESTOVA_TEST_MAIN(VolumeControlTest)
#include "test_volume_control.moc"
