#pragma once

#include <QMenu>
#include <QPointer>
#include <QString>

#include <functional>

class QAction;
class QPoint;
class QWidget;

// The owner of one right-click menu for the duration of one showing. Separators are
// added lazily: none at the top, none at the bottom, never two in a row; a menu without
// entries does not open. GUI thread only.
class PopupMenu
{
public:
    // The menu's parent is the anchor's top-level window (none without an anchor).
    explicit PopupMenu(QWidget *anchor);
    ~PopupMenu();

    PopupMenu(const PopupMenu &) = delete;
    PopupMenu &operator=(const PopupMenu &) = delete;

    // The returned action may be made checkable or disabled by the caller.
    QAction *addAction(const QString &text, std::function<void()> callback);
    // The menu takes the widget over as the default widget of a new widget action.
    void addWidget(QWidget *widget);
    void addSeparator();
    // Runs the menu modally at the point when it has an entry; returns when it closes.
    void exec(const QPoint &globalPos);

    QMenu *menu() const { return popup; }

private:
    void placePendingSeparator();

    // Guarded: the parent window may take the menu with it while it is open.
    QPointer<QMenu> popup;
    bool separatorPending = false;
};
