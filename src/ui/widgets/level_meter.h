#pragma once

#include <QWidget>

// A horizontal signal-level bar over -60 to 0 dBFS: a green-yellow-red gradient revealed
// from the left up to the level. Shows the value it is given as it is; any smoothing or
// decay belongs to whoever feeds it.
class LevelMeter : public QWidget
{
    Q_OBJECT
public:
    explicit LevelMeter(QWidget *parent = nullptr);

    void setLevel(double db);
    double level() const { return levelDb; }

    // The width in pixels that the gradient covers for a level and a widget width.
    static int filledWidth(double db, int width);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double levelDb = -120.0;
};
