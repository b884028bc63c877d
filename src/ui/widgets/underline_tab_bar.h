#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

// A flat strip of bold tab labels with an underline under the current tab. Danger tabs
// (such as a deletion page) sit at the right end in the danger colours.
class UnderlineTabBar : public QWidget
{
    Q_OBJECT
public:
    struct Tab
    {
        QString text;
        bool danger = false;
        bool visible = true;
    };

    explicit UnderlineTabBar(QWidget *parent = nullptr);

    // Appends a tab; the current index stays (0 at first) and nothing is emitted.
    int addTab(const QString &text, bool danger = false);
    // Ignores an index outside the list or equal to the current one.
    void setCurrentIndex(int index);
    void setTabText(int index, const QString &text);
    // Hiding the current tab makes the first visible tab current.
    void setTabVisible(int index, bool visible);

    int currentIndex() const { return current; }
    int count() const { return int(tabs.size()); }
    const Tab &tab(int index) const { return tabs.at(index); }
    // The tab's rectangle in the current layout; empty while hidden.
    QRect tabRect(int index) const;
    QSize sizeHint() const override;

signals:
    void currentChanged(int index);

protected:
    void leaveEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QList<QRect> layoutTabs() const;
    int hitTest(const QPoint &point) const;

    QList<Tab> tabs;
    int current = 0;
    int hoverIndex = -1;
};
