#pragma once

#include <QWidget>

#include <functional>

// One row of the connection tab's lists: 40 px high, tinted while hovered; a left double
// click runs its action (when it has one). GUI thread.
class ConnectListRow : public QWidget
{
public:
    explicit ConnectListRow(QWidget *parent = nullptr);

    std::function<void()> action;

    void setHovered(bool hovered);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
