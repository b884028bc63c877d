#include "match/preference_service.h"

#include "match/i_pref_storage.h"

PreferenceService::PreferenceService(IPrefStorage *storage_, QObject *parent)
    : QObject(parent)
    , storage(storage_)
    , list(storage_->load())
{}

void PreferenceService::addConfig()
{
    list.append(PrefConfig{QStringLiteral("新配置"), {}});
    commit();
}

void PreferenceService::renameConfig(int index, const QString &name)
{
    const QString trimmed = name.trimmed();
    if (!validIndex(index) || trimmed.isEmpty() || trimmed == list.at(index).name)
        return;
    list[index].name = trimmed;
    commit();
}

void PreferenceService::removeConfig(int index)
{
    if (!validIndex(index))
        return;
    list.removeAt(index);
    commit();
}

void PreferenceService::addMember(int index, const QString &userId)
{
    if (!validIndex(index) || userId.isEmpty() || list.at(index).memberIds.contains(userId))
        return;
    list[index].memberIds.append(userId);
    commit();
}

void PreferenceService::removeMember(int index, const QString &userId)
{
    if (!validIndex(index))
        return;
    if (list[index].memberIds.removeAll(userId) == 0)
        return;
    commit();
}

void PreferenceService::commit()
{
    // Saved before the announcement, so a receiver that reads the file sees the change.
    storage->save(list);
    emit configsChanged();
}
