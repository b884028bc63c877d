#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

// A row of mutually exclusive segments, each carrying a string value. The first segment
// added becomes selected; segments are never removed.
class SegmentedControl : public QWidget
{
    Q_OBJECT
public:
    struct Segment
    {
        QString label;
        QString value;
        QColor accent; // fill while selected; invalid means the theme's primary colour
        int x = 0;     // computed left edge
        int width = 0; // computed width
    };

    explicit SegmentedControl(QWidget *parent = nullptr);

    void addSegment(const QString &label, const QString &value, const QColor &accent = QColor());
    // The selected segment's value, empty while there is none.
    QString value() const;
    // Selects the first segment with exactly this value, without emitting; an unknown
    // value keeps the selection.
    void setValue(const QString &value);

    int currentIndex() const { return current; }
    const QList<Segment> &segments() const { return items; }
    QSize sizeHint() const override;

signals:
    // Only when the user clicks a segment other than the selected one.
    void valueChanged(const QString &value);

protected:
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void relayout();

    QList<Segment> items;
    int current = -1;
};
