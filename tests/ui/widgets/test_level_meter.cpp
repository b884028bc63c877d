#include "ui/widgets/level_meter.h"

#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QImage>

#include <cmath>
#include <limits>

class LevelMeterTest : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void filledWidth_data();
    void filledWidth();
    void painting();
    void storesTheLevelUnchanged();
};

void LevelMeterTest::construction()
{
    LevelMeter meter;
    QCOMPARE(meter.level(), -120.0);
    QCOMPARE(meter.sizeHint(), QSize(120, 6));
    QCOMPARE(meter.maximumHeight(), 6);
    QCOMPARE(meter.minimumHeight(), 6);
    QCOMPARE(meter.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(meter.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
}

void LevelMeterTest::filledWidth_data()
{
    QTest::addColumn<double>("db");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("filled");
    QTest::newRow("initial") << -120.0 << 120 << 0;
    QTest::newRow("floor") << -60.0 << 120 << 0;
    QTest::newRow("half") << -30.0 << 120 << 60;
    QTest::newRow("full scale") << 0.0 << 120 << 120;
    QTest::newRow("over") << 6.0 << 120 << 120;
    QTest::newRow("rounds half away") << -59.75 << 2 << 0; // 2 * 0.0041 = 0.008
    QTest::newRow("rounds up at half") << -45.0 << 2 << 1; // 2 * 0.25 = 0.5 -> 1
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 120 << 0;
}

void LevelMeterTest::filledWidth()
{
    QFETCH(double, db);
    QFETCH(int, width);
    QFETCH(int, filled);
    QCOMPARE(LevelMeter::filledWidth(db, width), filled);
}

void LevelMeterTest::painting()
{
    LevelMeter meter;
    meter.resize(200, 6);
    const QRgb idle = ThemePalette::color("controlBg").rgb();

    QImage image = meter.grab().toImage();
    for (int x = 0; x < 200; ++x)
        QCOMPARE(image.pixel(x, 3), idle);

    meter.setLevel(0.0);
    image = meter.grab().toImage();
    for (int x = 0; x < 200; ++x)
        QVERIFY(image.pixel(x, 3) != idle);
    QCOMPARE(image.pixel(2, 3), ThemePalette::color("success").rgb());
    QCOMPARE(image.pixel(150, 3), ThemePalette::color("warning").rgb()); // 0.75 lies between 0.71 and 0.80
    QCOMPARE(image.pixel(197, 3), ThemePalette::color("danger").rgb());

    meter.setLevel(-30.0);
    image = meter.grab().toImage();
    QVERIFY(image.pixel(99, 3) != idle);
    QCOMPARE(image.pixel(100, 3), idle);
    QCOMPARE(image.pixel(199, 3), idle);
}

void LevelMeterTest::storesTheLevelUnchanged()
{
    // No clamping, smoothing or decay: whoever feeds the meter owns those.
    LevelMeter meter;
    meter.setLevel(-12.5);
    QCOMPARE(meter.level(), -12.5);
    meter.grab();
    QCoreApplication::processEvents();
    QCOMPARE(meter.level(), -12.5);
    meter.setLevel(7.0);
    QCOMPARE(meter.level(), 7.0);
    meter.setLevel(-200.0);
    QCOMPARE(meter.level(), -200.0);
}

KESTOVA_TEST_MAIN(LevelMeterTest)
#include "test_level_meter.moc"
