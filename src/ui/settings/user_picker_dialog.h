#pragma once

#include "ui/settings/room_member_pick_view.h"

#include <QDialog>
#include <QList>

class QLineEdit;
class QStackedWidget;
class UnderlineTabBar;

// The dialog in which people are added to or removed from a preference group. Of its
// three sources only the room members work; friends and call history show a notice.
// Holds no service: the owner fills the members and refills them after each change.
// GUI thread.
class UserPickerDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UserPickerDialog(QWidget *parent = nullptr);

    void setRoomMembers(const QList<PickEntry> &members);

    UnderlineTabBar *tabBar() const { return tabs; }
    QLineEdit *searchField() const { return search; }
    QStackedWidget *pages() const { return stack; }
    RoomMemberPickView *memberView() const { return pickView; }

signals:
    void addRequested(const QString &userId);
    void removeRequested(const QString &userId);

private:
    UnderlineTabBar *tabs = nullptr;
    QLineEdit *search = nullptr;
    QStackedWidget *stack = nullptr;
    RoomMemberPickView *pickView = nullptr;
    bool membersFilled = false;
};
