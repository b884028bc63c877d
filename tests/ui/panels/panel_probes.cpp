#include "panel_probes.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidgetAction>

namespace panelstest {

QStringList describeMenu(const QMenu *menu)
{
    QStringList out;
    for (const QAction *action : menu->actions()) {
        if (action->isSeparator()) {
            out << QStringLiteral("-");
        } else if (qobject_cast<const QWidgetAction *>(action)) {
            out << QStringLiteral("<row>");
        } else {
            QString text = action->text();
            if (action->isCheckable())
                text.prepend(action->isChecked() ? QStringLiteral("[x]") : QStringLiteral("[ ]"));
            if (!action->isEnabled())
                text = QLatin1Char('(') + text + QLatin1Char(')');
            out << text;
        }
    }
    return out;
}

void MenuProbe::arm(const QString &choose, std::function<void(QMenu *)> during)
{
    *result = Result();
    const auto shared = result;
    QTimer::singleShot(0, qApp, [shared, choose, during] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        shared->opened = true;
        shared->entries = describeMenu(menu);
        if (during)
            during(menu);
        QAction *chosen = nullptr;
        for (QAction *action : menu->actions())
            if (!choose.isEmpty() && action->text() == choose)
                chosen = action;
        if (chosen) {
            menu->setActiveAction(chosen);
            QTest::keyClick(menu, Qt::Key_Return);
        }
        if (menu->isVisible())
            menu->close();
    });
}

void MenuProbe::settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

namespace {

// Looks for the question box until it shows: a probe armed before a menu opens fires
// inside the menu's loop, before the entry that asks was chosen.
void answerWhenAsked(std::shared_ptr<QuestionProbe::Result> shared, QMessageBox::StandardButton answer, int triesLeft)
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box) {
        if (triesLeft > 0)
            QTimer::singleShot(5, qApp,
                               [shared, answer, triesLeft] { answerWhenAsked(shared, answer, triesLeft - 1); });
        return;
    }
    shared->asked = true;
    shared->title = box->windowTitle();
    shared->text = box->text();
    shared->hasDefaultButton = box->defaultButton() != nullptr;
    if (QAbstractButton *button = box->button(answer))
        button->click();
}

} // namespace

void QuestionProbe::arm(QMessageBox::StandardButton answer)
{
    *result = Result();
    const auto shared = result;
    QTimer::singleShot(0, qApp, [shared, answer] { answerWhenAsked(shared, answer, 100); });
}

void sendMouse(QWidget *widget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(widget->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace panelstest
