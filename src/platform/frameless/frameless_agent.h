#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>

class QAbstractButton;
class QMouseEvent;
class QWidget;

// Removes a top-level widget's system frame and gives back what the frame did, through
// the window system's own move and resize: a press on the title bar's drag area moves
// the window, a double click there toggles maximised, and a press in the band along the
// edges resizes it. Parts of the title bar that are buttons or menus are declared
// clickable and never start a move. Owned by the window. GUI thread.
class FramelessAgent : public QObject
{
    Q_OBJECT
public:
    enum SystemButton {
        Minimize = 3,
        Maximize = 4,
        Close = 5,
    };
    Q_ENUM(SystemButton)

    explicit FramelessAgent(QWidget *window);

    // Makes the window frameless; call before it is first shown.
    void setup(QWidget *window);
    void setTitleBar(QWidget *titleBar);
    void setHitTestVisible(QWidget *widget, bool visible);
    void setSystemButton(SystemButton role, QAbstractButton *button);

    QAbstractButton *systemButton(SystemButton role) const;
    // Width in pixels of the resize band along the window's edges.
    static constexpr int kResizeBand = 6;

signals:
    // Raised as the window system is asked to move or resize the window (an offscreen
    // or headless platform may refuse; the request is raised all the same).
    void systemMoveRequested();
    void systemResizeRequested(Qt::Edges edges);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isClickable(const QPoint &titleBarPos) const;
    Qt::Edges edgesAt(const QPoint &windowPos) const;
    bool onWindowEvent(QEvent *event);
    bool onTitleBarEvent(QEvent *event);

    QPointer<QWidget> window;
    QPointer<QWidget> titleBar;
    QSet<QWidget *> clickable;
    QPointer<QAbstractButton> minimizeButton;
    QPointer<QAbstractButton> maximizeButton;
    QPointer<QAbstractButton> closeButton;
};
