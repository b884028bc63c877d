#include "ui/chat/chat_tab_bar.h"

#include "theme/hairline.h"
#include "theme/theme_palette.h"
#include "ui/panels/popup_menu.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

namespace {

constexpr int kHeight = 32;
constexpr int kToggleHeight = 22;
constexpr int kHoverMerged = -2;
constexpr int kHoverNone = -1;

} // namespace

QString ChatTabBar::mixedFeedId()
{
    return QStringLiteral("__mixed__");
}

QString ChatTabBar::mergedTabTitle()
{
    return QStringLiteral("默认");
}

ChatTabBar::ChatTabBar(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(kHeight);
    setMouseTracking(true);
    toggle = new QPushButton(QStringLiteral("视图：平铺"), this);
    toggle->setFixedHeight(kToggleHeight);
    toggle->setCursor(Qt::PointingHandCursor);
    connect(toggle, &QPushButton::clicked, this, &ChatTabBar::viewToggleRequested);
    overflow = new QPushButton(QStringLiteral("»"), this);
    overflow->setProperty("compact", true);
    overflow->setFixedHeight(kToggleHeight);
    overflow->setCursor(Qt::PointingHandCursor);
    overflow->setToolTip(QStringLiteral("更多"));
    overflow->hide();
    connect(overflow, &QPushButton::clicked, this, &ChatTabBar::showOverflowMenu);
    placeViewToggle();
}

QSize ChatTabBar::sizeHint() const
{
    return {200, kHeight};
}

// Measured with the widget's own font (not the bold painting font), so that the layout
// does not shift when a tab becomes current.
QList<QRect> ChatTabBar::tabRects() const
{
    const QFontMetrics metrics(font());
    const int mergedAdvance = metrics.horizontalAdvance(mergedTabTitle());
    QList<QRect> rects;
    rects.reserve(tabs.size() + 1);
    rects.append(QRect(8, 0, mergedAdvance + 22, kHeight));
    int x = mergedAdvance + 42;
    for (const Tab &tab : tabs) {
        const int width = metrics.horizontalAdvance(tab.title) + 22;
        rects.append(QRect(x, 0, width, kHeight));
        x += width + 2;
    }
    return rects;
}

QRect ChatTabBar::mergedTabRect() const
{
    return tabRects().first();
}

QRect ChatTabBar::roomTabRect(int index) const
{
    const QList<QRect> rects = tabRects();
    if (index < 0 || index + 1 >= rects.size())
        return {};
    return rects.at(index + 1);
}

int ChatTabBar::tabsRight() const
{
    return (overflow->isHidden() ? toggle->x() : overflow->x()) - 8;
}

int ChatTabBar::shownTabCount() const
{
    const QList<QRect> rects = tabRects();
    const int right = tabsRight();
    int count = 0;
    while (count + 1 < rects.size() && rects.at(count + 1).right() <= right)
        ++count;
    return count;
}

QMenu *ChatTabBar::buildOverflowMenu()
{
    const int shown = shownTabCount();
    if (shown >= tabs.size())
        return nullptr;
    // Parented to the window: the bar may be rebuilt while the menu runs.
    auto *menu = new QMenu(window());
    QPointer<ChatTabBar> self(this);
    for (int i = shown; i < tabs.size(); ++i) {
        const QString id = tabs.at(i).id;
        QAction *action = menu->addAction(tabs.at(i).title, menu, [self, id] {
            if (self)
                self->setCurrentFeed(id);
        });
        action->setCheckable(true);
        action->setChecked(id == current);
    }
    return menu;
}

void ChatTabBar::showOverflowMenu()
{
    QMenu *menu = buildOverflowMenu();
    if (!menu)
        return;
    QPointer<QMenu> guard(menu);
    menu->exec(overflow->mapToGlobal(QPoint(0, overflow->height())));
    delete guard.data();
}

int ChatTabBar::hitTest(const QPoint &pos) const
{
    const QList<QRect> rects = tabRects();
    if (rects.first().contains(pos))
        return kHoverMerged;
    const int shown = shownTabCount();
    for (int i = 1; i <= shown; ++i) {
        if (rects.at(i).contains(pos))
            return i - 1;
    }
    return kHoverNone;
}

void ChatTabBar::setTabs(const QList<Tab> &newTabs)
{
    tabs = newTabs;
    placeViewToggle();
    const bool stillListed = std::any_of(tabs.cbegin(), tabs.cend(), [this](const Tab &t) { return t.id == current; });
    if (stillListed || current == mixedFeedId()) {
        update();
        return;
    }
    const QString next = tabs.isEmpty() ? mixedFeedId() : tabs.first().id;
    if (next != current) {
        current = next;
        emit currentChanged(current);
    }
    update();
}

void ChatTabBar::setCurrentFeed(const QString &id)
{
    if (id == current)
        return;
    if (id != mixedFeedId() && std::none_of(tabs.cbegin(), tabs.cend(), [&id](const Tab &t) { return t.id == id; }))
        return;
    current = id;
    update();
    emit currentChanged(id);
}

void ChatTabBar::setViewToggleText(const QString &text)
{
    toggle->setText(text);
    toggle->adjustSize();
    toggle->setFixedHeight(kToggleHeight);
    placeViewToggle();
}

void ChatTabBar::setViewToggleEnabled(bool enabled)
{
    toggle->setEnabled(enabled);
}

void ChatTabBar::setCanUnsubscribePredicate(std::function<bool(const QString &roomId)> predicate)
{
    canUnsubscribe = std::move(predicate);
}

void ChatTabBar::placeViewToggle()
{
    const int w = toggle->sizeHint().width();
    toggle->resize(w, kToggleHeight);
    toggle->move(width() - w - 8, 5);
    // The overflow button shows when the room tabs run past the toggle.
    const QList<QRect> rects = tabRects();
    const bool overflowing = rects.size() > 1 && rects.last().right() > toggle->x() - 8;
    const int ow = overflow->sizeHint().width();
    overflow->resize(ow, kToggleHeight);
    overflow->move(toggle->x() - ow - 6, 5);
    overflow->setVisible(overflowing);
}

void ChatTabBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeViewToggle();
}

void ChatTabBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintHairlineH(painter, 31, 0, width(), ThemePalette::color("border"));

    QFont bold = font();
    bold.setWeight(QFont::Bold);
    painter.setFont(bold);

    const QList<QRect> rects = tabRects();
    const QColor primary = ThemePalette::color("primary");
    auto drawTab = [&](const QRect &rect, const QString &caption, bool isCurrent, bool isHovered) {
        const char *token = isCurrent ? "primaryText" : (isHovered ? "text" : "textSub");
        painter.setPen(ThemePalette::color(token));
        painter.drawText(rect, Qt::AlignCenter, caption);
        if (isCurrent)
            painter.fillRect(QRect(rect.x(), 30, rect.width(), 2), primary);
    };

    const QRect merged = rects.first();
    drawTab(merged, mergedTabTitle(), current == mixedFeedId(), hovered == kHoverMerged);
    painter.fillRect(QRect(merged.x() + merged.width() - 1 + 5, 8, 2, 16), ThemePalette::color("border"));
    const int shown = shownTabCount();
    for (int i = 0; i < shown; ++i)
        drawTab(rects.at(i + 1), tabs.at(i).title, tabs.at(i).id == current, hovered == i);
}

void ChatTabBar::mouseMoveEvent(QMouseEvent *event)
{
    const int hit = hitTest(event->position().toPoint());
    if (hit != hovered) {
        hovered = hit;
        update();
    }
    setCursor(hit == kHoverNone ? Qt::ArrowCursor : Qt::PointingHandCursor);
    QWidget::mouseMoveEvent(event);
}

void ChatTabBar::leaveEvent(QEvent *event)
{
    if (hovered != kHoverNone) {
        hovered = kHoverNone;
        update();
    }
    QWidget::leaveEvent(event);
}

void ChatTabBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int hit = hitTest(event->position().toPoint());
    if (hit == kHoverMerged)
        setCurrentFeed(mixedFeedId());
    else if (hit >= 0)
        setCurrentFeed(tabs.at(hit).id);
}

void ChatTabBar::contextMenuEvent(QContextMenuEvent *event)
{
    const int hit = hitTest(event->pos());
    if (hit == kHoverMerged) {
        emit mixedMenuRequested(event->globalPos());
        return;
    }
    if (hit < 0)
        return;
    // The id is taken now: the tabs may change while the menu is open.
    const QString roomId = tabs.at(hit).id;
    PopupMenu menu(this);
    QPointer<ChatTabBar> self(this);
    QAction *action = menu.addAction(QStringLiteral("取消订阅"), [self, roomId] {
        if (self)
            emit self->unsubscribeRequested(roomId);
    });
    action->setEnabled(canUnsubscribe && canUnsubscribe(roomId));
    menu.exec(event->globalPos());
}
