#include "ui/widgets/segmented_control.h"

#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QFontMetrics>
#include <QImage>
#include <QSignalSpy>

namespace {

QRgb token(const char *name)
{
    return ThemePalette::color(name).rgb();
}

// A control with three segments; the middle one has its own accent.
void fill(SegmentedControl &control)
{
    control.addSegment(QStringLiteral("关闭"), QStringLiteral("off"), QColor());
    control.addSegment(QStringLiteral("宽松"), QStringLiteral("loose"), QColor(180, 183, 82));
    control.addSegment(QStringLiteral("严格"), QStringLiteral("strict"), QColor());
}

QPoint inside(const SegmentedControl &control, int index)
{
    const SegmentedControl::Segment &s = control.segments().at(index);
    return {s.x + s.width / 2, 14};
}

} // namespace

class SegmentedControlTest : public QObject
{
    Q_OBJECT

private slots:
    void emptyControl();
    void layoutAndFirstSelection();
    void setValueSelectsWithoutSignal();
    void clicksEmitOnlyForANewSegment();
    void paintsSelectionAndAccent();
    void disabledLook();
};

void SegmentedControlTest::emptyControl()
{
    SegmentedControl control;
    QCOMPARE(control.sizeHint(), QSize(0, 29));
    QCOMPARE(control.value(), QString());
    QCOMPARE(control.currentIndex(), -1);
    QCOMPARE(control.cursor().shape(), Qt::PointingHandCursor);
    control.resize(40, 29);
    const QImage image = control.grab().toImage();
    QCOMPARE(image.pixel(0, 10), token("border"));
    QCOMPARE(image.pixel(39, 10), token("border"));
    QVERIFY(image.pixel(20, 14) != token("border"));
    QVERIFY(image.pixel(20, 14) != token("white")); // nothing but the outline
}

void SegmentedControlTest::layoutAndFirstSelection()
{
    SegmentedControl control;
    QSignalSpy changed(&control, &SegmentedControl::valueChanged);
    fill(control);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(control.currentIndex(), 0);
    QCOMPARE(control.value(), QStringLiteral("off"));

    const QFontMetrics metrics(control.font());
    int x = 0;
    for (const SegmentedControl::Segment &segment : control.segments()) {
        QCOMPARE(segment.x, x);
        QCOMPARE(segment.width, metrics.horizontalAdvance(segment.label) + 30);
        x += segment.width;
    }
    QCOMPARE(control.sizeHint(), QSize(x, 29));
    QCOMPARE(control.height(), 29);
}

void SegmentedControlTest::setValueSelectsWithoutSignal()
{
    SegmentedControl control;
    fill(control);
    QSignalSpy changed(&control, &SegmentedControl::valueChanged);
    control.setValue(QStringLiteral("strict"));
    QCOMPARE(control.currentIndex(), 2);
    control.setValue(QStringLiteral("unknown"));
    QCOMPARE(control.currentIndex(), 2);
    control.setValue(QStringLiteral("Loose")); // values match case-sensitively
    QCOMPARE(control.currentIndex(), 2);
    control.setValue(QStringLiteral("loose"));
    QCOMPARE(control.value(), QStringLiteral("loose"));
    QCOMPARE(changed.count(), 0);
}

void SegmentedControlTest::clicksEmitOnlyForANewSegment()
{
    SegmentedControl control;
    fill(control);
    control.resize(control.sizeHint().width() + 50, 29); // stretched beyond the hit areas
    control.show();
    QSignalSpy changed(&control, &SegmentedControl::valueChanged);

    QTest::mouseClick(&control, Qt::LeftButton, {}, inside(control, 0)); // already selected
    QCOMPARE(changed.count(), 0);

    QTest::mouseClick(&control, Qt::LeftButton, {}, inside(control, 2));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.takeFirst().at(0).toString(), QStringLiteral("strict"));
    QCOMPARE(control.currentIndex(), 2);

    QTest::mouseClick(&control, Qt::RightButton, {}, inside(control, 1));
    QCOMPARE(changed.count(), 0);

    // Right of the last segment's hit area: painted as the last segment but not a hit.
    QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(control.width() - 5, 14));
    QCOMPARE(changed.count(), 0);

    // The left edge of a segment belongs to it.
    QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(control.segments().at(1).x, 14));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.takeFirst().at(0).toString(), QStringLiteral("loose"));
}

void SegmentedControlTest::paintsSelectionAndAccent()
{
    SegmentedControl control;
    fill(control);
    control.resize(control.sizeHint());
    QImage image = control.grab().toImage();
    QCOMPARE(image.pixel(control.segments().at(0).x + 3, 3), token("primary"));
    QCOMPARE(image.pixel(control.segments().at(1).x + 3, 3), token("white"));
    QCOMPARE(image.pixel(control.segments().at(1).x, 14), token("border")); // divider line

    control.setValue(QStringLiteral("loose"));
    image = control.grab().toImage();
    QCOMPARE(image.pixel(control.segments().at(1).x + 3, 3), QColor(180, 183, 82).rgb());
    QCOMPARE(image.pixel(control.segments().at(0).x + 3, 3), token("white"));
}

void SegmentedControlTest::disabledLook()
{
    SegmentedControl control;
    fill(control);
    control.resize(control.sizeHint());
    control.show();
    control.setEnabled(false);
    QCOMPARE(control.cursor().shape(), Qt::ArrowCursor);
    const QImage image = control.grab().toImage();
    QCOMPARE(image.pixel(control.segments().at(0).x + 3, 3), token("border"));
    QCOMPARE(image.pixel(control.segments().at(2).x + 3, 3), token("overlayBg"));

    // Unselected labels are drawn in textFaint: some pixel of the label is that colour
    // (or close to it, where antialiased against the fill).
    bool faintLabel = false;
    const SegmentedControl::Segment &last = control.segments().at(2);
    for (int x = last.x + 1; x < last.x + last.width - 1 && !faintLabel; ++x)
        for (int y = 1; y < 28 && !faintLabel; ++y)
            faintLabel = image.pixel(x, y) == token("textFaint");
    QVERIFY(faintLabel);

    QSignalSpy changed(&control, &SegmentedControl::valueChanged);
    QTest::mouseClick(&control, Qt::LeftButton, {}, inside(control, 2));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(control.currentIndex(), 0);

    control.setEnabled(true);
    QCOMPARE(control.cursor().shape(), Qt::PointingHandCursor);
}

KESTOVA_TEST_MAIN(SegmentedControlTest)
#include "test_segmented_control.moc"
