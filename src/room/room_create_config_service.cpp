#include "room/room_create_config_service.h"

#include "room/i_room_storage.h"
#include "room/room_logging.h"

#include <QJsonObject>

RoomCreateConfigService::RoomCreateConfigService(IRoomStorage *storage_, QObject *parent)
    : QObject(parent)
    , storage(storage_)
    , list(storage_->load())
{}

QJsonObject RoomCreateConfigService::toJson(int index) const
{
    if (!validIndex(index))
        return {};
    const RoomCreateConfig &config = list.at(index);
    // The request spells the sub-room keys with a capital "R"; the label is never sent.
    QJsonObject json{
        {QStringLiteral("bitrate"), config.bitrate},
        {QStringLiteral("accessMode"), config.accessMode},
        {QStringLiteral("requireApproval"), config.requireApproval},
        {QStringLiteral("codeDirectEntry"), config.codeDirectEntry},
        {QStringLiteral("allowSubRoom"), config.allowSubRoom},
        {QStringLiteral("allowSubRoomBroadcast"), config.allowSubRoomBroadcast},
        {QStringLiteral("allowSubRoomChat"), config.allowSubRoomChat},
    };
    const QString roomName = config.roomName.trimmed();
    if (!roomName.isEmpty())
        json.insert(QStringLiteral("roomName"), roomName);
    return json;
}

void RoomCreateConfigService::addConfig()
{
    list.append(RoomCreateConfig{});
    storage->save(list);
    qCInfo(lcRoomCreate).nospace() << "create config added index=" << list.size() - 1;
    emit configsChanged();
}

void RoomCreateConfigService::removeConfig(int index)
{
    if (!validIndex(index))
        return;
    list.removeAt(index);
    storage->save(list);
    qCInfo(lcRoomCreate).nospace() << "create config deleted index=" << index;
    emit configsChanged();
}

void RoomCreateConfigService::renameConfig(int index, const QString &name)
{
    const QString trimmed = name.trimmed();
    if (!validIndex(index) || trimmed.isEmpty() || trimmed == list.at(index).name)
        return;
    list[index].name = trimmed;
    commit();
}

void RoomCreateConfigService::updateConfig(int index, const RoomCreateConfig &config)
{
    if (!validIndex(index))
        return;
    RoomCreateConfig updated = config;
    updated.name = list.at(index).name;
    list[index] = updated;
    commit();
}

void RoomCreateConfigService::commit()
{
    storage->save(list);
    emit configsChanged();
}
