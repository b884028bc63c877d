#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

// One member of a preference group.
struct PrefMemberEntry
{
    QString userId;
    QString displayName;
    QString username;

    bool operator==(const PrefMemberEntry &) const = default;
};

// A 26 x 26 square holding the first character of the name ("?" for an empty name).
QLabel *makeInitialBadge(const QString &name, QWidget *parent);

// The members of a preference group, with add and remove requests when editable. Passive:
// setters never emit, and clicks never change the shown entries.
class PrefMemberListView : public QWidget
{
    Q_OBJECT

public:
    explicit PrefMemberListView(QWidget *parent = nullptr);

    // An empty hint hides the hint line.
    void setGroup(const QString &name, const QString &hint);
    void setEditable(bool editable);
    void setMembers(const QList<PrefMemberEntry> &members);
    // Shows the status badge; it stays visible from then on.
    void setStatus(const QString &text, bool active);

    const QList<PrefMemberEntry> &members() const { return entries; }
    bool isEditable() const { return editable; }

signals:
    void addRequested();
    void removeRequested(const QString &userId);

private:
    void rebuild();

    QList<PrefMemberEntry> entries;
    bool editable = false;
    QString groupName;
    QLabel *headerLabel = nullptr;
    QLabel *statusBadge = nullptr;
    QPushButton *addButton = nullptr;
    QLabel *hintLabel = nullptr;
    QListWidget *list = nullptr;
};
