#pragma once

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QList>

#include <array>

// The seeds every colour of the interface is derived from. Only one theme exists, so
// they are compiled in.
struct ThemeSeed
{
    const char *name;
    double primaryL;
    double primaryC;
    double primaryH;
    const char *stateMidHex;
    const char *stateStrictHex;
    double neutralC;
    double neutralH;
    const char *onPrimaryHex;
};

// Offsets and factors that turn a seed into its hover, pressed, text and faint tones.
struct ThemeParams
{
    double hoverDeltaL;
    double pressedDeltaL;
    double textL;
    double textChromaFactor;
    double selectL;
    double selectChromaFactor;
    double faintL;
    double faintChromaFactor;
    double fillHoverDeltaL;
    double fillPressedDeltaL;
};

// One step of the grey ladder: its lightness and the factor applied to the neutral chroma.
struct NeutralStep
{
    double lightness;
    double chromaFactor;
};
using NeutralLadder = std::array<NeutralStep, 8>;

inline constexpr ThemeSeed kThemeSeed{"minimal", 0.7064, 0.1182, 160.89,   "#B4B752",
                                      "#B75552", 0.006,  160.89, "#ffffff"};
inline constexpr ThemeParams kThemeParams{-0.06, -0.13, 0.46, 0.9, 0.93, 0.38, 0.86, 0.55, -0.035, -0.07};
inline constexpr NeutralLadder kNeutralLadder{
    {{0.37, 1.0}, {0.53, 0.95}, {0.67, 0.85}, {0.8, 0.75}, {0.9, 0.55}, {0.93, 0.5}, {0.965, 0.4}, {0.99, 0.3}}};

struct Oklch
{
    double l = 0.0;
    double c = 0.0;
    double h = 0.0; // degrees, [0, 360)
};

// OKLCH to an sRGB colour; out-of-gamut chroma is reduced at fixed lightness and hue.
QColor oklchToColor(double l, double c, double h);
Oklch colorToOklch(const QColor &color);

// Every colour of the interface by token name ("primary", "textMuted", ...). Built once
// on first use and never changed afterwards; lookups are by case-sensitive byte string.
// Built thread-safely; all users are on the GUI thread.
class ThemePalette
{
public:
    static const ThemePalette &instance();

    // The token's colour as "#rrggbb" (lower case), valid for the life of the process;
    // "#ff00ff" for a token the palette lacks, so the miss shows on screen.
    static const char *hex(const char *token);
    // The token's colour; an invalid colour for a token the palette lacks.
    static QColor color(const char *token);

    const QHash<QByteArray, QColor> &colors() const { return colorMap; }
    const QHash<QByteArray, QByteArray> &hexes() const { return hexMap; }
    // Token names in the order they were derived.
    const QList<QByteArray> &tokens() const { return order; }

    ThemePalette(const ThemePalette &) = delete;
    ThemePalette &operator=(const ThemePalette &) = delete;

private:
    ThemePalette();
    void buildPalette();
    void set(const QByteArray &token, const QColor &color);
    void addTone(const char *token, const char *seedHex, bool withStates);

    QHash<QByteArray, QColor> colorMap;
    QHash<QByteArray, QByteArray> hexMap;
    QList<QByteArray> order;
};

QColor themeBorderColor();
QColor themeTextColor();
QColor themePrimaryColor();
QColor themePrimaryTextColor();
QColor themeTextSubColor();
QColor themeSelectBgColor();
