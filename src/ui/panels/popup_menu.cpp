#include "ui/panels/popup_menu.h"

#include <QAction>
#include <QMenu>
#include <QWidget>
#include <QWidgetAction>

PopupMenu::PopupMenu(QWidget *anchor)
    : popup(new QMenu(anchor ? anchor->window() : nullptr))
{}

PopupMenu::~PopupMenu()
{
    delete popup.data();
}

void PopupMenu::placePendingSeparator()
{
    if (separatorPending && !popup->actions().isEmpty())
        popup->addSeparator();
    separatorPending = false;
}

QAction *PopupMenu::addAction(const QString &text, std::function<void()> callback)
{
    placePendingSeparator();
    QAction *action = popup->addAction(text);
    QObject::connect(action, &QAction::triggered, popup.data(), [callback = std::move(callback)] {
        if (callback)
            callback();
    });
    return action;
}

void PopupMenu::addWidget(QWidget *widget)
{
    placePendingSeparator();
    auto *action = new QWidgetAction(popup.data());
    action->setDefaultWidget(widget);
    popup->addAction(action);
}

void PopupMenu::addSeparator()
{
    separatorPending = true;
}

void PopupMenu::exec(const QPoint &globalPos)
{
    if (popup && !popup->actions().isEmpty())
        popup->exec(globalPos);
}
