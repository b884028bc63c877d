#include "ui/widgets/section_divider.h"

#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QImage>

namespace {

bool rowHasColour(const QImage &image, int y, int x1, int x2, QRgb colour)
{
    for (int x = x1; x < x2; ++x)
        if (image.pixel(x, y) == colour)
            return true;
    return false;
}

} // namespace

class SectionDividerTest : public QObject
{
    Q_OBJECT

private slots:
    void geometry();
    void linesBesideTheCaption();
    void tooWideCaptionHasNoLines();
};

void SectionDividerTest::geometry()
{
    SectionDivider divider(QStringLiteral("临时房间"));
    QCOMPARE(divider.sizeHint(), QSize(120, 18));
    QCOMPARE(divider.minimumHeight(), 18);
    QCOMPARE(divider.maximumHeight(), 18);
    QCOMPARE(divider.caption(), QStringLiteral("临时房间"));
}

void SectionDividerTest::linesBesideTheCaption()
{
    SectionDivider divider(QStringLiteral("ROOMS"));
    divider.resize(240, 18);
    const QImage image = divider.grab().toImage();
    const QRgb border = ThemePalette::color("border").rgb();
    // Both lines run at half height from 4 px in from each edge.
    QCOMPARE(image.pixel(4, 9), border);
    QCOMPARE(image.pixel(235, 9), border);
    QVERIFY(image.pixel(3, 9) != border);
    QVERIFY(image.pixel(236, 9) != border);
    QVERIFY(!rowHasColour(image, 8, 0, 240, border)); // one pixel thick
    QVERIFY(!rowHasColour(image, 10, 0, 240, border));
    // The caption sits in the gap between them.
    QVERIFY(!rowHasColour(image, 9, 100, 140, border));
}

void SectionDividerTest::tooWideCaptionHasNoLines()
{
    SectionDivider divider(QStringLiteral("A CAPTION FAR TOO WIDE FOR THE GAPS"));
    divider.resize(60, 18);
    const QImage image = divider.grab().toImage();
    const QRgb border = ThemePalette::color("border").rgb();
    for (int y = 0; y < image.height(); ++y)
        QVERIFY(!rowHasColour(image, y, 0, image.width(), border));
}

KESTOVA_TEST_MAIN(SectionDividerTest)
#include "test_section_divider.moc"
