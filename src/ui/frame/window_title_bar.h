#pragma once

#include <QAbstractButton>
#include <QWidget>

class QLabel;
class QMenuBar;

// The 40 px strip that replaces the system frame: the program's name, optionally the
// window's menu bar, and painted minimise, maximise/restore and close buttons. The rest
// of the strip drags the window. GUI thread.
class WindowTitleBar : public QWidget
{
    Q_OBJECT
public:
    class SysButton : public QAbstractButton
    {
    public:
        enum Kind {
            Minimize = 0,
            Maximize = 1,
            Restore = 2,
            Close = 3,
        };

        explicit SysButton(Kind kind, QWidget *parent = nullptr);

        Kind kind() const { return buttonKind; }
        // Repaints only when the kind changes.
        void setKind(Kind kind);
        QSize sizeHint() const override;

    protected:
        void paintEvent(QPaintEvent *event) override;

    private:
        Kind buttonKind;
    };

    explicit WindowTitleBar(QMenuBar *menuBar, QWidget *parent = nullptr);

    void setTitle(const QString &text);
    QString title() const;

    QMenuBar *menuBar() const { return menu; }
    SysButton *minimizeButton() const { return minButton; }
    SysButton *maximizeButton() const { return maxButton; }
    SysButton *closeButton() const { return closeBtn; }

    // Follows the window's maximised state; installed on the window.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *brandLabel = nullptr;
    QMenuBar *menu = nullptr;
    SysButton *minButton = nullptr;
    SysButton *maxButton = nullptr;
    SysButton *closeBtn = nullptr;
};

// Makes the window frameless with this title bar: the drag area moves it, the menu bar
// and the three buttons stay clickable, and the buttons minimise, maximise or restore,
// and close the window. Call before the window is first shown.
void installFramelessAgent(QWidget *window, WindowTitleBar *titleBar);
