#include "ui/widgets/level_meter.h"

#include "theme/theme_palette.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

LevelMeter::LevelMeter(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(6);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LevelMeter::setLevel(double db)
{
    levelDb = db;
    update();
}

QSize LevelMeter::sizeHint() const
{
    return {120, 6};
}

int LevelMeter::filledWidth(double db, int width)
{
    if (std::isnan(db))
        return 0; // a broken reading shows as silence, not as an undefined width
    const double fraction = std::clamp((db + 60.0) / 60.0, 0.0, 1.0);
    return int(std::lround(width * fraction));
}

void LevelMeter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient gradient(0, 0, width(), 0);
    const QColor success = ThemePalette::color("success");
    const QColor warning = ThemePalette::color("warning");
    const QColor danger = ThemePalette::color("danger");
    gradient.setColorAt(0.0, success);
    gradient.setColorAt(0.62, success);
    gradient.setColorAt(0.71, warning);
    gradient.setColorAt(0.80, warning);
    gradient.setColorAt(0.90, danger);
    gradient.setColorAt(1.0, danger);
    painter.fillRect(rect(), gradient);

    const int filled = filledWidth(levelDb, width());
    if (filled < width())
        painter.fillRect(QRect(filled, 0, width() - filled, height()), ThemePalette::color("controlBg"));
}
