#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <cmath>

namespace {

// A second, deliberately plain OKLCH -> sRGB conversion (no gamut search), written
// separately from the palette's, for colours that are inside the sRGB gamut.
QColor referenceOklch(double l, double c, double hDegrees)
{
    const double h = hDegrees * M_PI / 180.0;
    const double a = c * std::cos(h);
    const double b = c * std::sin(h);
    const double lms[3] = {std::pow(l + 0.3963377774 * a + 0.2158037573 * b, 3),
                           std::pow(l - 0.1055613458 * a - 0.0638541728 * b, 3),
                           std::pow(l - 0.0894841775 * a - 1.2914855480 * b, 3)};
    const double m[3][3] = {{4.0767416621, -3.3077115913, 0.2309699292},
                            {-1.2684380046, 2.6097574011, -0.3413193965},
                            {-0.0041960863, -0.7034186147, 1.7076147010}};
    int out[3];
    for (int i = 0; i < 3; ++i) {
        double x = m[i][0] * lms[0] + m[i][1] * lms[1] + m[i][2] * lms[2];
        x = std::min(std::max(x, 0.0), 1.0);
        x = x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
        out[i] = int(std::lround(x * 255));
    }
    return QColor(out[0], out[1], out[2]);
}

bool near(const QColor &a, const QColor &b, int tolerance = 1)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

double lightness(const char *token)
{
    return colorToOklch(ThemePalette::color(token)).l;
}

} // namespace

class ThemePaletteTest : public QObject
{
    Q_OBJECT

private slots:
    void tokens_data();
    void tokens();
    void exactlyFortyTokens();
    void seedDerivedTokensMatchIndependentConversion_data();
    void seedDerivedTokensMatchIndependentConversion();
    void tonesAreOrdered();
    void lookups();
    void outOfGamutKeepsLightnessAndHue();
    void roundTrip_data();
    void roundTrip();
    void hexPointerIsStable();
};

void ThemePaletteTest::tokens_data()
{
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<QString>("hex");
    const QList<QPair<const char *, const char *>> table{
        {"primary", "#52b788"},     {"primaryHover", "#3da476"},  {"primaryPressed", "#208e62"},
        {"primaryText", "#006945"}, {"selectBg", "#cff2de"},      {"primaryFaint", "#acdfc3"},
        {"onPrimary", "#ffffff"},   {"danger", "#ff0000"},        {"dangerText", "#a80000"},
        {"dangerHover", "#df0000"}, {"dangerPressed", "#bb0000"}, {"success", "#00ff00"},
        {"successText", "#006c00"}, {"successHover", "#00e800"},  {"successPressed", "#00ce00"},
        {"warning", "#ff8000"},     {"warningText", "#894100"},   {"dangerFaint", "#ffe0da"},
        {"stateMid", "#b4b752"},    {"stateStrict", "#b75552"},   {"text", "#3d413f"},
        {"textSub", "#696d6b"},     {"textMuted", "#939694"},     {"textFaint", "#939694"},
        {"border", "#bbbfbd"},      {"statusIdle", "#bbbfbd"},    {"borderFaint", "#dcdfdd"},
        {"divider", "#dcdfdd"},     {"fillHover", "#dbdddc"},     {"fillPressed", "#cfd1d0"},
        {"surface", "#e6e8e7"},     {"controlBg", "#e6e8e7"},     {"overlayBg", "#e6e8e7"},
        {"tooltipBg", "#e6e8e7"},   {"panel", "#f2f4f3"},         {"panelBg", "#f2f4f3"},
        {"base", "#fbfcfb"},        {"inputBg", "#fbfcfb"},       {"white", "#ffffff"},
        {"black", "#000000"},
    };
    for (const auto &[token, hex] : table)
        QTest::newRow(token) << QByteArray(token) << QString::fromLatin1(hex);
}

void ThemePaletteTest::tokens()
{
    QFETCH(QByteArray, token);
    QFETCH(QString, hex);
    QCOMPARE(QString::fromLatin1(ThemePalette::hex(token.constData())), hex);
    QCOMPARE(ThemePalette::color(token.constData()).name(), hex);
}

void ThemePaletteTest::exactlyFortyTokens()
{
    const ThemePalette &palette = ThemePalette::instance();
    QCOMPARE(palette.colors().size(), 40);
    QCOMPARE(palette.hexes().size(), 40);
    QCOMPARE(palette.tokens().size(), 40);
    QCOMPARE(palette.tokens().first(), QByteArray("primary"));
    QCOMPARE(palette.tokens().last(), QByteArray("black"));
    for (const QByteArray &token : palette.tokens())
        QCOMPARE(palette.hexes().value(token), palette.colors().value(token).name().toLatin1());
}

void ThemePaletteTest::seedDerivedTokensMatchIndependentConversion_data()
{
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<double>("l");
    QTest::addColumn<double>("c");
    QTest::addColumn<double>("h");
    const double pL = 0.7064, pC = 0.1182, pH = 160.89, nC = 0.006, nH = 160.89;
    QTest::newRow("primary") << QByteArray("primary") << pL << pC << pH;
    QTest::newRow("primaryHover") << QByteArray("primaryHover") << pL - 0.06 << pC << pH;
    QTest::newRow("primaryPressed") << QByteArray("primaryPressed") << pL - 0.13 << pC << pH;
    QTest::newRow("primaryText") << QByteArray("primaryText") << 0.46 << pC * 0.9 << pH;
    QTest::newRow("selectBg") << QByteArray("selectBg") << 0.93 << pC * 0.38 << pH;
    QTest::newRow("primaryFaint") << QByteArray("primaryFaint") << 0.86 << pC * 0.55 << pH;
    QTest::newRow("text") << QByteArray("text") << 0.37 << nC << nH;
    QTest::newRow("textSub") << QByteArray("textSub") << 0.53 << nC * 0.95 << nH;
    QTest::newRow("textMuted") << QByteArray("textMuted") << 0.67 << nC * 0.85 << nH;
    QTest::newRow("border") << QByteArray("border") << 0.8 << nC * 0.75 << nH;
    QTest::newRow("divider") << QByteArray("divider") << 0.9 << nC * 0.55 << nH;
    QTest::newRow("fillHover") << QByteArray("fillHover") << 0.93 - 0.035 << nC * 0.5 << nH;
    QTest::newRow("fillPressed") << QByteArray("fillPressed") << 0.93 - 0.07 << nC * 0.5 << nH;
    QTest::newRow("controlBg") << QByteArray("controlBg") << 0.93 << nC * 0.5 << nH;
    QTest::newRow("panelBg") << QByteArray("panelBg") << 0.965 << nC * 0.4 << nH;
    QTest::newRow("inputBg") << QByteArray("inputBg") << 0.99 << nC * 0.3 << nH;
}

void ThemePaletteTest::seedDerivedTokensMatchIndependentConversion()
{
    QFETCH(QByteArray, token);
    QFETCH(double, l);
    QFETCH(double, c);
    QFETCH(double, h);
    const QColor expected = referenceOklch(l, c, h);
    const QColor actual = ThemePalette::color(token.constData());
    QVERIFY2(near(actual, expected), qPrintable(actual.name() + QStringLiteral(" vs ") + expected.name()));
}

void ThemePaletteTest::tonesAreOrdered()
{
    // The grey ladder runs from dark text to the brightest input background.
    const char *ladder[] = {"text", "textSub", "textMuted", "border", "divider", "controlBg", "panelBg", "inputBg"};
    for (size_t i = 1; i < std::size(ladder); ++i)
        QVERIFY2(lightness(ladder[i - 1]) < lightness(ladder[i]), ladder[i]);
    QVERIFY(lightness("fillPressed") < lightness("fillHover"));
    QVERIFY(lightness("fillHover") < lightness("controlBg"));

    // Hover darkens, pressing darkens more; text tones are darker still and keep the hue.
    for (const char *tone : {"primary", "danger", "success"}) {
        const QByteArray base(tone);
        QVERIFY(lightness((base + "Pressed").constData()) < lightness((base + "Hover").constData()));
        QVERIFY(lightness((base + "Hover").constData()) < lightness(tone));
        const Oklch seed = colorToOklch(ThemePalette::color(tone));
        const Oklch text = colorToOklch(ThemePalette::color((base + "Text").constData()));
        QVERIFY(std::abs(text.l - 0.46) < 0.01);
        QVERIFY2(std::abs(text.h - seed.h) < 3.0, tone);
    }
    QVERIFY(lightness("warningText") < lightness("warning"));
    QVERIFY(!ThemePalette::instance().colors().contains("warningHover"));
    QVERIFY(lightness("selectBg") > lightness("primaryFaint"));
    QVERIFY(lightness("primaryFaint") > lightness("primary"));

    for (const QColor &colour : ThemePalette::instance().colors()) {
        QVERIFY(colour.isValid());
        QCOMPARE(colour.alpha(), 255);
    }
}

void ThemePaletteTest::lookups()
{
    QCOMPARE(QByteArray(ThemePalette::hex("primary")), QByteArray("#52b788"));
    QCOMPARE(QByteArray(ThemePalette::hex("Primary")), QByteArray("#ff00ff"));
    QCOMPARE(QByteArray(ThemePalette::hex("nope")), QByteArray("#ff00ff"));
    QCOMPARE(QByteArray(ThemePalette::hex("")), QByteArray("#ff00ff"));
    QVERIFY(!ThemePalette::color("Primary").isValid());
    QVERIFY(!ThemePalette::color("primary ").isValid());

    QCOMPARE(themeBorderColor(), ThemePalette::color("border"));
    QCOMPARE(themeTextColor(), ThemePalette::color("text"));
    QCOMPARE(themePrimaryColor(), ThemePalette::color("primary"));
    QCOMPARE(themePrimaryTextColor(), ThemePalette::color("primaryText"));
    QCOMPARE(themeTextSubColor(), ThemePalette::color("textSub"));
    QCOMPARE(themeSelectBgColor(), ThemePalette::color("selectBg"));
}

void ThemePaletteTest::outOfGamutKeepsLightnessAndHue()
{
    const QColor green = oklchToColor(0.7, 0.4, 150.0);
    QVERIFY(green.isValid());
    const Oklch back = colorToOklch(green);
    QVERIFY2(std::abs(back.l - 0.7) < 0.005, qPrintable(QString::number(back.l)));
    QVERIFY2(std::abs(back.h - 150.0) < 1.5, qPrintable(QString::number(back.h)));
    QVERIFY(back.c < 0.4);
    QVERIFY(back.c > 0.15); // reduced to the gamut edge, not to grey
    QCOMPARE(green.name(), QStringLiteral("#00be58"));
}

void ThemePaletteTest::roundTrip_data()
{
    QTest::addColumn<QString>("hex");
    for (const char *hex : {"#ff0000", "#00ff00", "#0000ff", "#ff8000", "#b4b752", "#ffffff", "#000000", "#3d413f"})
        QTest::newRow(hex) << QString::fromLatin1(hex);
}

void ThemePaletteTest::roundTrip()
{
    QFETCH(QString, hex);
    const Oklch lch = colorToOklch(QColor(hex));
    QVERIFY(lch.h >= 0.0 && lch.h < 360.0);
    QCOMPARE(oklchToColor(lch.l, lch.c, lch.h).name(), hex);
}

void ThemePaletteTest::hexPointerIsStable()
{
    const char *first = ThemePalette::hex("divider");
    const char *second = ThemePalette::hex("divider");
    QCOMPARE(static_cast<const void *>(first), static_cast<const void *>(second));
    QCOMPARE(&ThemePalette::instance(), &ThemePalette::instance());
}

KESTOVA_TEST_MAIN(ThemePaletteTest)
#include "test_theme_palette.moc"
