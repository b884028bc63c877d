#include "ui/widgets/underline_tab_bar.h"

#include "theme/hairline.h"
#include "theme/theme_palette.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int kHeight = 38;

} // namespace

UnderlineTabBar::UnderlineTabBar(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(kHeight);
    setAttribute(Qt::WA_MouseTracking);
    setCursor(Qt::PointingHandCursor);
}

int UnderlineTabBar::addTab(const QString &text, bool danger)
{
    tabs.append(Tab{text, danger, true});
    update();
    return int(tabs.size()) - 1;
}

void UnderlineTabBar::setCurrentIndex(int index)
{
    if (index < 0 || index >= tabs.size() || index == current)
        return;
    current = index;
    update();
    emit currentChanged(index);
}

void UnderlineTabBar::setTabText(int index, const QString &text)
{
    if (index < 0 || index >= tabs.size() || tabs.at(index).text == text)
        return;
    tabs[index].text = text;
    update();
}

void UnderlineTabBar::setTabVisible(int index, bool visible)
{
    if (index < 0 || index >= tabs.size() || tabs.at(index).visible == visible)
        return;
    tabs[index].visible = visible;
    if (!visible && index == current) {
        for (int i = 0; i < tabs.size(); ++i) {
            if (tabs.at(i).visible) {
                setCurrentIndex(i);
                break;
            }
        }
    }
    update();
}

QSize UnderlineTabBar::sizeHint() const
{
    return {200, kHeight};
}

QList<QRect> UnderlineTabBar::layoutTabs() const
{
    const QFontMetrics metrics(font());
    QList<QRect> rects(tabs.size());
    int left = 10;
    int right = width() - 10;
    bool firstOrdinary = true;
    for (int i = 0; i < tabs.size(); ++i) {
        const Tab &t = tabs.at(i);
        if (!t.visible)
            continue;
        const int w = metrics.horizontalAdvance(t.text) + 24;
        if (t.danger) {
            right -= w;
            rects[i] = QRect(right, 0, w, kHeight);
        } else {
            if (!firstOrdinary)
                left += 2;
            rects[i] = QRect(left, 0, w, kHeight);
            left += w;
            firstOrdinary = false;
        }
    }
    return rects;
}

QRect UnderlineTabBar::tabRect(int index) const
{
    if (index < 0 || index >= tabs.size())
        return {};
    return layoutTabs().at(index);
}

int UnderlineTabBar::hitTest(const QPoint &point) const
{
    const QList<QRect> rects = layoutTabs();
    for (int i = 0; i < tabs.size(); ++i)
        if (tabs.at(i).visible && rects.at(i).contains(point))
            return i;
    return -1;
}

void UnderlineTabBar::mouseMoveEvent(QMouseEvent *event)
{
    const int hit = hitTest(event->position().toPoint());
    if (hit != hoverIndex) {
        hoverIndex = hit;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void UnderlineTabBar::leaveEvent(QEvent *event)
{
    if (hoverIndex != -1) {
        hoverIndex = -1;
        update();
    }
    QWidget::leaveEvent(event);
}

void UnderlineTabBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int hit = hitTest(event->position().toPoint());
    if (hit >= 0 && hit != current)
        setCurrentIndex(hit);
}

void UnderlineTabBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintHairlineH(painter, 37, 0, width(), ThemePalette::color("border"));

    const QList<QRect> rects = layoutTabs();
    QFont bold = font();
    bold.setWeight(QFont::Bold);
    painter.setFont(bold);
    for (int i = 0; i < tabs.size(); ++i) {
        const Tab &t = tabs.at(i);
        if (!t.visible)
            continue;
        const char *token =
            t.danger ? "dangerText" : (i == current ? "primaryText" : (i == hoverIndex ? "text" : "textSub"));
        painter.setPen(ThemePalette::color(token));
        painter.drawText(rects.at(i), Qt::AlignCenter, t.text);
    }
    if (current >= 0 && current < tabs.size() && tabs.at(current).visible) {
        const QRect r = rects.at(current);
        painter.fillRect(QRect(r.x(), 36, r.width(), 2),
                         ThemePalette::color(tabs.at(current).danger ? "danger" : "primary"));
    }
}
