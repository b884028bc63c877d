#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// One room offered after a preference match.
struct PrefCandidateRoom
{
    QString roomId;
    QString roomName;         // empty when the room is not in the local room store
    bool directEntry = false; // the room admits without a join request
    QStringList memberNames;  // the group's members found in the room, in the caller's order
};

// The result of a preference match: the rooms a group's members are in, and who is in no
// room. It shows what it is given and reports the user's choice; joining and creating do
// not close it (the caller accepts it). Every list item carries the id of its room under
// the role Qt::UserRole + 1, an empty string for rows that stand for no room. GUI thread.
class PrefCandidateDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int RoomIdRole = Qt::UserRole + 1;

    explicit PrefCandidateDialog(QWidget *parent = nullptr);

    void setCandidates(const QString &groupName, int memberCount, const QStringList &namesInNoRoom,
                       const QList<PrefCandidateRoom> &rooms);

    QLabel *hintLabel() const { return hint; }
    QListWidget *roomList() const { return list; }
    QPushButton *cancelButton() const { return cancel; }
    QPushButton *connectButton() const { return connectBtn; }
    QPushButton *createButton() const { return create; }

signals:
    // Never emitted with an empty id.
    void joinRequested(const QString &roomId);
    void createRoomRequested();

private:
    void addRoomRow(const QString &title, const QString &titleRole, const QString &badge, bool strongBadge,
                    const QString &detail, const QString &roomId);
    void addSeparator();
    void addPlaceholder();
    void updateConnectButton();
    QString currentRoomId() const;

    QLabel *hint = nullptr;
    QListWidget *list = nullptr;
    QPushButton *cancel = nullptr;
    QPushButton *connectBtn = nullptr;
    QPushButton *create = nullptr;
};
