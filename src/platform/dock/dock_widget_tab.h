#pragma once

#include <QFrame>

class QLabel;

namespace ads {

class CDockWidget;

// The tab of one dock widget in its area's title bar. Its dynamic property "activeTab"
// says whether its dock is the area's current one. A left click makes it current.
class CDockWidgetTab : public QFrame
{
    Q_OBJECT
public:
    explicit CDockWidgetTab(CDockWidget *dockWidget, QWidget *parent = nullptr);

    CDockWidget *dockWidget() const { return dock; }
    bool isActiveTab() const;
    // Sets "activeTab" and re-polishes when it changes.
    void setActiveTab(bool active);
    void setText(const QString &text);
    QString text() const;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    CDockWidget *dock = nullptr;
    QLabel *titleLabel = nullptr;
};

} // namespace ads
