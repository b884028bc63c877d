#include "theme/theme_palette.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

struct LinearRgb
{
    double r;
    double g;
    double b;
};

LinearRgb oklabToLinear(double l, double a, double b)
{
    const double lp = l + 0.3963377774 * a + 0.2158037573 * b;
    const double mp = l - 0.1055613458 * a - 0.0638541728 * b;
    const double sp = l - 0.0894841775 * a - 1.2914855480 * b;
    const double lc = lp * lp * lp;
    const double mc = mp * mp * mp;
    const double sc = sp * sp * sp;
    return {4.0767416621 * lc - 3.3077115913 * mc + 0.2309699292 * sc,
            -1.2684380046 * lc + 2.6097574011 * mc - 0.3413193965 * sc,
            -0.0041960863 * lc - 0.7034186147 * mc + 1.7076147010 * sc};
}

LinearRgb oklchToLinear(double l, double c, double h)
{
    const double radians = h * std::numbers::pi / 180.0;
    return oklabToLinear(l, c * std::cos(radians), c * std::sin(radians));
}

bool inGamut(const LinearRgb &rgb)
{
    const auto ok = [](double x) { return x >= -0.0001 && x <= 1.0001; };
    return ok(rgb.r) && ok(rgb.g) && ok(rgb.b);
}

double encodeSrgb(double linear)
{
    const double x = std::clamp(linear, 0.0, 1.0);
    const double encoded = x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1.0 / 2.4) - 0.055;
    return std::clamp(encoded, 0.0, 1.0);
}

double decodeSrgb(double x)
{
    return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}

double clampL(double l)
{
    return std::clamp(l, 0.0, 1.0);
}

} // namespace

QColor oklchToColor(double l, double c, double h)
{
    LinearRgb rgb = oklchToLinear(l, c, h);
    if (!inGamut(rgb)) {
        // Keep lightness and hue; find the largest chroma that still fits.
        double low = 0.0;
        double high = c;
        for (int i = 0; i < 24; ++i) {
            const double mid = (low + high) / 2.0;
            if (inGamut(oklchToLinear(l, mid, h)))
                low = mid;
            else
                high = mid;
        }
        rgb = oklchToLinear(l, low, h);
    }
    return QColor::fromRgbF(float(encodeSrgb(rgb.r)), float(encodeSrgb(rgb.g)), float(encodeSrgb(rgb.b)), 1.0f);
}

Oklch colorToOklch(const QColor &color)
{
    const double r = decodeSrgb(color.redF());
    const double g = decodeSrgb(color.greenF());
    const double b = decodeSrgb(color.blueF());
    const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
    const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
    const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
    const double okL = 0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s;
    const double okA = 1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s;
    const double okB = 0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s;
    double hue = std::atan2(okB, okA) * 180.0 / std::numbers::pi;
    if (hue < 0.0)
        hue += 360.0;
    return {okL, std::hypot(okA, okB), hue};
}

ThemePalette::ThemePalette()
{
    buildPalette();
}

const ThemePalette &ThemePalette::instance()
{
    static const ThemePalette palette;
    return palette;
}

const char *ThemePalette::hex(const char *token)
{
    const auto &map = instance().hexMap;
    const auto it = map.constFind(QByteArray::fromRawData(token, qsizetype(std::strlen(token))));
    return it == map.cend() ? "#ff00ff" : it->constData();
}

QColor ThemePalette::color(const char *token)
{
    const auto &map = instance().colorMap;
    const auto it = map.constFind(QByteArray::fromRawData(token, qsizetype(std::strlen(token))));
    return it == map.cend() ? QColor() : *it;
}

void ThemePalette::set(const QByteArray &token, const QColor &color)
{
    if (!colorMap.contains(token))
        order.append(token);
    colorMap.insert(token, color);
    hexMap.insert(token, color.name().toLatin1());
}

void ThemePalette::addTone(const char *token, const char *seedHex, bool withStates)
{
    const ThemeParams &p = kThemeParams;
    const Oklch seed = colorToOklch(QColor(QLatin1String(seedHex)));
    const QByteArray name(token);
    set(name, oklchToColor(seed.l, seed.c, seed.h));
    set(name + "Text", oklchToColor(clampL(p.textL), seed.c * p.textChromaFactor, seed.h));
    if (withStates) {
        set(name + "Hover", oklchToColor(clampL(seed.l + p.hoverDeltaL), seed.c, seed.h));
        set(name + "Pressed", oklchToColor(clampL(seed.l + p.pressedDeltaL), seed.c, seed.h));
    }
}

void ThemePalette::buildPalette()
{
    const ThemeSeed &s = kThemeSeed;
    const ThemeParams &p = kThemeParams;

    set("primary", oklchToColor(s.primaryL, s.primaryC, s.primaryH));
    set("primaryHover", oklchToColor(clampL(s.primaryL + p.hoverDeltaL), s.primaryC, s.primaryH));
    set("primaryPressed", oklchToColor(clampL(s.primaryL + p.pressedDeltaL), s.primaryC, s.primaryH));
    set("primaryText", oklchToColor(clampL(p.textL), s.primaryC * p.textChromaFactor, s.primaryH));
    set("selectBg", oklchToColor(clampL(p.selectL), s.primaryC * p.selectChromaFactor, s.primaryH));
    set("primaryFaint", oklchToColor(clampL(p.faintL), s.primaryC * p.faintChromaFactor, s.primaryH));
    set("onPrimary", QColor(QLatin1String(s.onPrimaryHex)));

    addTone("danger", "#FF0000", true);
    addTone("success", "#00FF00", true);
    addTone("warning", "#FF8000", false);
    const Oklch red = colorToOklch(QColor(QLatin1String("#FF0000")));
    set("dangerFaint", oklchToColor(clampL(p.selectL), red.c * p.selectChromaFactor, red.h));

    set("stateMid", QColor(QLatin1String(s.stateMidHex)));
    set("stateStrict", QColor(QLatin1String(s.stateStrictHex)));

    const auto neutral = [&](int step) {
        const NeutralStep &n = kNeutralLadder[size_t(step - 1)];
        return oklchToColor(clampL(n.lightness), s.neutralC * n.chromaFactor, s.neutralH);
    };
    set("text", neutral(1));
    set("textSub", neutral(2));
    set("textMuted", neutral(3));
    set("textFaint", neutral(3));
    set("border", neutral(4));
    set("statusIdle", neutral(4));
    set("borderFaint", neutral(5));
    set("divider", neutral(5));
    set("fillHover", oklchToColor(clampL(0.93 + p.fillHoverDeltaL), s.neutralC * 0.5, s.neutralH));
    set("fillPressed", oklchToColor(clampL(0.93 + p.fillPressedDeltaL), s.neutralC * 0.5, s.neutralH));
    set("surface", neutral(6));
    set("controlBg", neutral(6));
    set("overlayBg", neutral(6));
    set("tooltipBg", neutral(6));
    set("panel", neutral(7));
    set("panelBg", neutral(7));
    set("base", neutral(8));
    set("inputBg", neutral(8));

    set("white", QColor(Qt::white));
    set("black", QColor(Qt::black));
}

QColor themeBorderColor()
{
    return ThemePalette::color("border");
}

QColor themeTextColor()
{
    return ThemePalette::color("text");
}

QColor themePrimaryColor()
{
    return ThemePalette::color("primary");
}

QColor themePrimaryTextColor()
{
    return ThemePalette::color("primaryText");
}

QColor themeTextSubColor()
{
    return ThemePalette::color("textSub");
}

QColor themeSelectBgColor()
{
    return ThemePalette::color("selectBg");
}
