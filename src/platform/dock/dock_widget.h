#pragma once

#include <QFrame>
#include <QPointer>

namespace ads {

class CDockAreaWidget;
class CDockContainerWidget;
class CDockManager;
class CDockWidgetTab;

// One dockable view: a content widget, a title and the tab that stands for it in its
// dock area. A closed dock keeps its area but shows neither tab nor content.
class CDockWidget : public QFrame
{
    Q_OBJECT
public:
    enum eInsertMode {
        AutoScrollArea = 0, // a scroll area unless the content already scrolls
        ForceScrollArea = 1,
        ForceNoScrollArea = 2,
    };
    Q_ENUM(eInsertMode)

    enum eMinimumSizeHintMode {
        MinimumSizeHintFromDockWidget = 0,
        MinimumSizeHintFromContent = 1,
    };
    Q_ENUM(eMinimumSizeHintMode)

    explicit CDockWidget(const QString &title, QWidget *parent = nullptr);
    ~CDockWidget() override;

    // Replaces the content; the previous content is deleted.
    void setWidget(QWidget *widget, eInsertMode insertMode = AutoScrollArea);
    QWidget *widget() const { return content; }
    void setMinimumSizeHintMode(eMinimumSizeHintMode mode);
    eMinimumSizeHintMode minimumSizeHintMode() const { return sizeHintMode; }

    CDockWidgetTab *tabWidget() const;
    CDockAreaWidget *dockAreaWidget() const { return area; }
    CDockContainerWidget *dockContainer() const;
    CDockManager *dockManager() const { return manager; }

    bool isClosed() const { return closed; }
    bool isFloating() const;
    // Opens (true) or closes (false) the dock; nothing when it already is.
    void toggleView(bool open = true);
    // Makes this dock the current tab of its area.
    void setAsCurrentTab();
    // Brings the dock's window forward and makes the dock current.
    void raise();
    // Moves the dock into a new floating container of its manager.
    void setFloating();

    QSize minimumSizeHint() const override;

signals:
    void viewToggled(bool open);

private:
    friend class CDockAreaWidget;
    friend class CDockManager;

    CDockManager *manager = nullptr;
    CDockAreaWidget *area = nullptr;
    QPointer<CDockWidgetTab> tab; // in its area's tab bar while open, so the area may take it first
    QWidget *content = nullptr;
    QWidget *holder = nullptr; // the content itself or the scroll area around it
    eMinimumSizeHintMode sizeHintMode = MinimumSizeHintFromDockWidget;
    bool closed = false;
};

} // namespace ads
