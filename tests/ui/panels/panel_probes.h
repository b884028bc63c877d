#pragma once

#include <QEvent>
#include <QMessageBox>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QMenu;
class QWidget;

// Helpers that answer the nested event loops of menus and question boxes from 0 ms
// timers, the way a user would, and that send mouse events to rows.
namespace panelstest {

// A menu's entries as text: "-" for a separator, "<row>" for an embedded widget,
// "(text)" for a disabled entry, "[x]text" and "[ ]text" for checkable ones.
QStringList describeMenu(const QMenu *menu);

// Watches for the next menu that opens: records its entries, runs `during` while it is
// open, then chooses the entry with the text `choose` (or closes the menu when empty).
class MenuProbe
{
public:
    struct Result
    {
        bool opened = false;
        QStringList entries;
    };

    void arm(const QString &choose = {}, std::function<void(QMenu *)> during = {});
    // Lets a pending probe see that no menu opened.
    static void settle();

    bool opened() const { return result->opened; }
    QStringList entries() const { return result->entries; }

private:
    std::shared_ptr<Result> result = std::make_shared<Result>();
};

// Answers the next question box with a button and records what it asked.
class QuestionProbe
{
public:
    struct Result
    {
        bool asked = false;
        QString title;
        QString text;
        bool hasDefaultButton = false;
    };

    void arm(QMessageBox::StandardButton answer);

    bool asked() const { return result->asked; }
    QString title() const { return result->title; }
    QString text() const { return result->text; }
    bool hasDefaultButton() const { return result->hasDefaultButton; }

private:
    std::shared_ptr<Result> result = std::make_shared<Result>();
};

// Sends one mouse event at a local point of the widget, through the application so that
// it propagates to the parents as a real one does.
void sendMouse(QWidget *widget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons);

} // namespace panelstest
