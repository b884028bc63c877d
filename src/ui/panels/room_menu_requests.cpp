#include "ui/panels/room_menu_requests.h"

#include <QMessageBox>

namespace panels {

bool confirm(QWidget *parent, const QString &text)
{
    return QMessageBox::question(parent, QStringLiteral("确认"), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::NoButton)
           == QMessageBox::Yes;
}

} // namespace panels
