#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QListWidget;

// One candidate of the user picker.
struct PickEntry
{
    QString userId;
    QString displayName;
    QString username;
    QString roleName; // the wiring's text, "成员" when the role is unknown
    bool picked = false;
};

// The candidates of the user picker: a row per user with an add or remove button,
// filtered by a search text. Passive: a click disables its button and leaves as a signal;
// the row changes only when the owner passes fresh entries. GUI thread.
class RoomMemberPickView : public QWidget
{
    Q_OBJECT

public:
    explicit RoomMemberPickView(QWidget *parent = nullptr);

    void setMembers(const QList<PickEntry> &members);
    void setFilter(const QString &text);

    const QList<PickEntry> &members() const { return entries; }
    QString filter() const { return filterText; }
    QListWidget *listWidget() const { return list; }

signals:
    void addRequested(const QString &userId);
    void removeRequested(const QString &userId);

private:
    void rebuild();
    void applyFilter();

    QList<PickEntry> entries;
    QString filterText;
    QListWidget *list = nullptr;
};
