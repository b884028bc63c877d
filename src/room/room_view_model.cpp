#include "room/room_view_model.h"

#include "room/room_entity_store.h"
#include "room/room_field_flag.h"

RoomViewModel::RoomViewModel(QString roomId, RoomEntityStore *store_, QObject *parent)
    : RoomViewModel(std::move(roomId), store_, parent, RoutedByRegistry{})
{
    connect(store, &RoomEntityStore::changed, this, &RoomViewModel::onStoreChanged);
    connect(store, &RoomEntityStore::removed, this, &RoomViewModel::onStoreRemoved);
}

RoomViewModel::RoomViewModel(QString roomId, RoomEntityStore *store_, QObject *parent, RoutedByRegistry)
    : QObject(parent)
    , id(std::move(roomId))
    , store(store_)
{}

RoomViewModel::~RoomViewModel() = default;

const RoomEntity *RoomViewModel::record() const
{
    return store->find(id);
}

void RoomViewModel::onStoreChanged(const QString &changedRoomId, uint fieldMask)
{
    if (changedRoomId != id)
        return;
    if (fieldMask & RoomFieldFlag::Availability)
        emit availableChanged();
    emit roomChanged();
}

void RoomViewModel::onStoreRemoved(const QString &removedRoomId)
{
    if (removedRoomId != id)
        return;
    emit availableChanged();
    emit roomChanged();
}

QString RoomViewModel::accessMode() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.accessMode : QString();
}

QString RoomViewModel::allowSubRoom() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.allowSubRoom : QString();
}

bool RoomViewModel::allowSubRoomBroadcast() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.allowSubRoomBroadcast : true;
}

bool RoomViewModel::allowSubRoomChat() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.allowSubRoomChat : true;
}

QString RoomViewModel::attachedModule() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.attachedModule : QString();
}

bool RoomViewModel::available() const
{
    const RoomEntity *room = record();
    return room && room->populated != 0;
}

int RoomViewModel::bitrate() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.bitrate : 0;
}

QString RoomViewModel::channelId() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.channelId : QString();
}

bool RoomViewModel::codeDirectEntry() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.codeDirectEntry : true;
}

QString RoomViewModel::followCode() const
{
    const RoomEntity *room = record();
    return room ? room->privateState.followCode : QString();
}

qint64 RoomViewModel::followCodeExpiresAtMs() const
{
    const RoomEntity *room = record();
    return room ? room->privateState.followCodeExpiresAtMs : 0;
}

bool RoomViewModel::hasTextMute(const QString &userId) const
{
    const RoomEntity *room = record();
    return room && room->publicState.textMuted.contains(userId);
}

bool RoomViewModel::hasVoiceMute(const QString &userId) const
{
    const RoomEntity *room = record();
    return room && room->publicState.voiceMuted.contains(userId);
}

bool RoomViewModel::isPersistent() const
{
    const RoomEntity *room = record();
    return room && room->publicState.isPersistent;
}

bool RoomViewModel::isSpeechBlocked(const QString &userId) const
{
    const RoomEntity *room = record();
    return room && room->isSpeechBlocked(userId);
}

QHash<QString, qint64> RoomViewModel::memberRoles() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.memberRoles : QHash<QString, qint64>();
}

QString RoomViewModel::parentRoomId() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.parentRoomId : QString();
}

QList<roomdata::PendingJoinRequest> RoomViewModel::pendingJoinRequests() const
{
    const RoomEntity *room = record();
    return room ? room->privateState.pendingJoinRequests : QList<roomdata::PendingJoinRequest>();
}

QList<roomdata::PendingSubroomRequest> RoomViewModel::pendingSubrooms() const
{
    const RoomEntity *room = record();
    return room ? room->privateState.pendingSubrooms : QList<roomdata::PendingSubroomRequest>();
}

QStringList RoomViewModel::prefMembers() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.prefMembers : QStringList();
}

bool RoomViewModel::requireApproval() const
{
    const RoomEntity *room = record();
    return room && room->publicState.requireApproval;
}

QList<RoomAclRole> RoomViewModel::roles() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.roles : QList<RoomAclRole>();
}

QString RoomViewModel::roomCode() const
{
    const RoomEntity *room = record();
    return room ? room->publicState.roomCode : QString();
}

bool RoomViewModel::roomCodeEnabled() const
{
    const RoomEntity *room = record();
    return room && room->publicState.roomCodeEnabled;
}

QString RoomViewModel::roomName() const
{
    const RoomEntity *room = record();
    return room ? room->name : QString();
}

bool RoomViewModel::userHasPermission(const QString &userId, const QString &key, bool cascade) const
{
    const RoomEntity *room = record();
    return room && room->userHasPermission(userId, key, cascade);
}
