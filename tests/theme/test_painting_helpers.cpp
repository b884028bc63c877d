#include "theme/hairline.h"
#include "theme/tinted_icon.h"

#include "support/test_main.h"

#include <QImage>
#include <QPainter>
#include <QPicture>

namespace {

const QColor kInk(200, 30, 40);

// A transparent image of `logical` x `logical` logical pixels at the given ratio.
QImage canvas(int logical, qreal ratio)
{
    QImage image(int(std::lround(logical * ratio)), int(std::lround(logical * ratio)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    return image;
}

bool inked(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y) == kInk;
}

// Rows (or columns) of the image that hold any ink.
QList<int> inkedRows(const QImage &image)
{
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).alpha() != 0) {
                rows.append(y);
                break;
            }
    return rows;
}

QList<int> inkedColumns(const QImage &image)
{
    QList<int> columns;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(x, y).alpha() != 0) {
                columns.append(x);
                break;
            }
    return columns;
}

} // namespace

class PaintingHelpersTest : public QObject
{
    Q_OBJECT

private slots:
    void hairlineCoversOneDevicePixel_data();
    void hairlineCoversOneDevicePixel();
    void hairlineRect_data();
    void hairlineRect();
    void hairlineKeepsPainterState();
    void thicknessWithoutDevice();
    void tintedIconSizesAndColours();
};

void PaintingHelpersTest::hairlineCoversOneDevicePixel_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("physicalRow");
    // A line at logical y = 4 lands on physical row 4 * ratio.
    QTest::newRow("ratio 1") << qreal(1.0) << 4;
    QTest::newRow("ratio 1.5") << qreal(1.5) << 6;
    QTest::newRow("ratio 2") << qreal(2.0) << 8;
}

void PaintingHelpersTest::hairlineCoversOneDevicePixel()
{
    QFETCH(qreal, ratio);
    QFETCH(int, physicalRow);

    QImage horizontal = canvas(10, ratio);
    {
        QPainter painter(&horizontal);
        QCOMPARE(hairlineThickness(painter), 1.0 / ratio);
        paintHairlineH(painter, 4, 2, 8, kInk);
    }
    QCOMPARE(inkedRows(horizontal), QList<int>{physicalRow});
    QVERIFY(inked(horizontal, int(2 * ratio), physicalRow));
    QVERIFY(inked(horizontal, int(8 * ratio) - 1, physicalRow));
    QVERIFY(!inked(horizontal, int(8 * ratio), physicalRow));
    QVERIFY(!inked(horizontal, int(2 * ratio) - 1, physicalRow));

    QImage vertical = canvas(10, ratio);
    {
        QPainter painter(&vertical);
        paintHairlineV(painter, 4, 2, 8, kInk);
    }
    QCOMPARE(inkedColumns(vertical), QList<int>{physicalRow});
    QVERIFY(inked(vertical, physicalRow, int(2 * ratio)));
    QVERIFY(inked(vertical, physicalRow, int(8 * ratio) - 1));
    QVERIFY(!inked(vertical, physicalRow, int(8 * ratio)));
}

void PaintingHelpersTest::hairlineRect_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("ratio 1") << qreal(1.0);
    QTest::newRow("ratio 2") << qreal(2.0);
}

void PaintingHelpersTest::hairlineRect()
{
    QFETCH(qreal, ratio);
    QImage image = canvas(12, ratio);
    {
        QPainter painter(&image);
        paintHairlineRect(painter, QRect(1, 2, 9, 8), kInk);
    }
    const int left = int(1 * ratio);
    const int top = int(2 * ratio);
    const int right = int(10 * ratio) - 1; // the last physical column inside the rectangle
    const int bottom = int(10 * ratio) - 1;
    QCOMPARE(inkedRows(image).first(), top);
    QCOMPARE(inkedRows(image).last(), bottom);
    QCOMPARE(inkedColumns(image).first(), left);
    QCOMPARE(inkedColumns(image).last(), right);
    for (int x = left; x <= right; ++x) {
        QVERIFY(inked(image, x, top));
        QVERIFY(inked(image, x, bottom));
    }
    for (int y = top; y <= bottom; ++y) {
        QVERIFY(inked(image, left, y));
        QVERIFY(inked(image, right, y));
    }
    // One device pixel thick: the pixels just inside stay empty.
    for (int x = left + 1; x < right; ++x) {
        QCOMPARE(image.pixelColor(x, top + 1).alpha(), 0);
        QCOMPARE(image.pixelColor(x, bottom - 1).alpha(), 0);
    }
}

void PaintingHelpersTest::hairlineKeepsPainterState()
{
    QImage image = canvas(10, 1.0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(Qt::blue, 3));
    paintHairlineH(painter, 1.5, 0, 10, kInk);
    paintHairlineRect(painter, QRect(0, 0, 10, 10), kInk);
    QVERIFY(painter.testRenderHint(QPainter::Antialiasing));
    QCOMPARE(painter.pen().color(), QColor(Qt::blue));
    QCOMPARE(painter.pen().widthF(), 3.0);
}

void PaintingHelpersTest::thicknessWithoutDevice()
{
    QPainter inactive;
    QCOMPARE(hairlineThickness(inactive), 1.0);
    QPicture picture;
    QPainter recording(&picture);
    QCOMPARE(hairlineThickness(recording), 1.0);
}

void PaintingHelpersTest::tintedIconSizesAndColours()
{
    const QColor normal(10, 120, 200);
    const QColor disabled(180, 180, 180);
    const QIcon icon = makeTintedIcon(QStringLiteral(":/icons/plus.svg"), normal, disabled, 16);
    const QList<QSize> expected{QSize(16, 16), QSize(20, 20), QSize(24, 24), QSize(32, 32)};
    QCOMPARE(icon.availableSizes(QIcon::Normal, QIcon::Off), expected);
    QCOMPARE(icon.availableSizes(QIcon::Disabled, QIcon::Off), expected);

    for (const auto &[mode, tint] : {std::pair{QIcon::Normal, normal}, std::pair{QIcon::Disabled, disabled}}) {
        for (const qreal ratio : {1.0, 2.0}) {
            const QPixmap pixmap = icon.pixmap(QSize(16, 16), ratio, mode);
            QCOMPARE(pixmap.size(), QSize(16, 16) * ratio);
            const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
            int opaque = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.alpha() < 96)
                        continue;
                    ++opaque;
                    // Premultiplied storage rounds a little at partial coverage.
                    QVERIFY(std::abs(c.red() - tint.red()) <= 3 && std::abs(c.green() - tint.green()) <= 3
                            && std::abs(c.blue() - tint.blue()) <= 3);
                }
            }
            QVERIFY(opaque > 8 * ratio * ratio);
        }
    }
}

KESTOVA_TEST_MAIN(PaintingHelpersTest)
#include "test_painting_helpers.moc"
