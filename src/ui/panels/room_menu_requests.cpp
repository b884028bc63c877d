#include "ui/panels/room_menu_requests.h"

#include <QMessageBox>
#include <QPointer>

namespace panels {

bool confirm(QWidget *parent, const QString &text)
{
    // The box belongs to the window, not to the row or panel that asked: a refresh may
    // delete those while the question is open. Should the window go too, the answer is no.
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Question, QStringLiteral("确认"), text,
                                                QMessageBox::Yes | QMessageBox::No,
                                                parent != nullptr ? parent->window() : nullptr);
    box->setTextFormat(Qt::PlainText);
    const int answer = box->exec();
    if (!box)
        return false;
    delete box.data();
    return answer == QMessageBox::Yes;
}

} // namespace panels
