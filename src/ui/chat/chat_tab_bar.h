#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>

class QMenu;
class QPushButton;

// The hand-painted strip above the chat feeds: a fixed first tab for the merged feed, a
// short separator, one tab per followed room, an accent underline under the current
// tab, and a push button at the right end that toggles the current room's view between
// its flat and forum pages. Tabs are known by string id (a room id, or the merged id).
// Room tabs that do not fit before the toggle are not drawn; an overflow button ("»")
// then appears left of the toggle and lists them in a menu. GUI thread only.
class ChatTabBar : public QWidget
{
    Q_OBJECT
public:
    struct Tab
    {
        QString id;
        QString title;
    };

    static QString mixedFeedId();
    static QString mergedTabTitle();

    explicit ChatTabBar(QWidget *parent = nullptr);

    void setTabs(const QList<Tab> &newTabs);
    void setCurrentFeed(const QString &id);
    QString currentId() const { return current; }
    void setViewToggleText(const QString &text);
    void setViewToggleEnabled(bool enabled);
    void setCanUnsubscribePredicate(std::function<bool(const QString &roomId)> predicate);

    QSize sizeHint() const override;

    // Read access for the owner's tests.
    const QList<Tab> &tabList() const { return tabs; }
    int hoveredIndex() const { return hovered; }
    QPushButton *viewToggle() const { return toggle; }
    QPushButton *overflowButton() const { return overflow; }
    // How many room tabs are drawn; the others are in the overflow menu.
    int shownTabCount() const;
    // The overflow menu: one entry per room tab that is not drawn, choosing it makes that
    // tab current. The caller owns and runs it; the overflow button does both.
    QMenu *buildOverflowMenu();
    // Geometry of the merged tab and of room tab i, as drawn now.
    QRect mergedTabRect() const;
    QRect roomTabRect(int index) const;

signals:
    void currentChanged(const QString &id);
    void viewToggleRequested();
    void unsubscribeRequested(const QString &roomId);
    void mixedMenuRequested(const QPoint &globalPos);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // -2 the merged tab, 0.. a room tab, -1 nothing.
    int hitTest(const QPoint &pos) const;
    QList<QRect> tabRects() const;
    void placeViewToggle();
    int tabsRight() const; // right edge of the room tabs' area
    void showOverflowMenu();

    QList<Tab> tabs;
    QString current;
    int hovered = -1;
    QPushButton *toggle = nullptr;
    QPushButton *overflow = nullptr;
    std::function<bool(const QString &roomId)> canUnsubscribe;
};
