#pragma once

#include <QString>
#include <QWidget>

// A small centred caption between two hairlines, for section headings in lists and
// dialogs. The lines are left out when the caption leaves no room for them.
class SectionDivider : public QWidget
{
    Q_OBJECT
public:
    explicit SectionDivider(const QString &caption, QWidget *parent = nullptr);

    QString caption() const { return text; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const QString text;
};
