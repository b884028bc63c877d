#pragma once

#include "match/pref_config.h"

#include <QList>
#include <QObject>

class IPrefStorage;

// The user's preference groups: held in memory, edited here, saved whole after every
// change and announced by configsChanged(). Groups are addressed by their index in
// the list; requests that would change nothing (index out of range, empty or present
// member, empty or unchanged name) do nothing and emit nothing. GUI thread only.
class PreferenceService : public QObject
{
    Q_OBJECT
public:
    // Loads the list once from the storage, which must outlive the service.
    explicit PreferenceService(IPrefStorage *storage, QObject *parent = nullptr);

    QList<PrefConfig> configs() const { return list; }

public slots:
    // Appends a group named "新配置" with no members.
    void addConfig();
    // Sets the trimmed name.
    void renameConfig(int index, const QString &name);
    void removeConfig(int index);
    // Appends the id unless the group already holds it (exact comparison).
    void addMember(int index, const QString &userId);
    // Removes every occurrence of the id.
    void removeMember(int index, const QString &userId);

signals:
    void configsChanged();

private:
    bool validIndex(int index) const { return index >= 0 && index < list.size(); }
    void commit();

    IPrefStorage *storage;
    QList<PrefConfig> list;
};
