#pragma once

#include "room/room_acl_role.h"
#include "room/room_pending_requests.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class RoomAdapterRegistry;
class RoomEntityStore;
struct RoomEntity;

// A read-only view of one room of the store. It keeps no copy: every question looks
// the record up again, so answers are always current, and a room that is not (or no
// longer) in the store answers with fixed defaults. The four setting flags read
// true, true, false, true when absent, like a record that nothing has filled yet;
// available() tells the two apart. GUI thread only; must not outlive the store.
class RoomViewModel : public QObject
{
    Q_OBJECT

public:
    // Listens to the store itself. The registry builds its view models another way, so
    // that a change reaches only the view model of its room (see RoomAdapterRegistry).
    RoomViewModel(QString roomId, RoomEntityStore *store, QObject *parent);
    ~RoomViewModel() override;

    QString roomId() const { return id; }

    QString accessMode() const;
    QString allowSubRoom() const;
    bool allowSubRoomBroadcast() const;
    bool allowSubRoomChat() const;
    QString attachedModule() const;
    // A public or a private snapshot of the room has been applied.
    bool available() const;
    int bitrate() const;
    QString channelId() const;
    bool codeDirectEntry() const;
    QString followCode() const;
    qint64 followCodeExpiresAtMs() const;
    bool hasTextMute(const QString &userId) const;
    bool hasVoiceMute(const QString &userId) const;
    bool isPersistent() const;
    // False for an absent room, although a present but unfilled room blocks everybody.
    bool isSpeechBlocked(const QString &userId) const;
    QHash<QString, qint64> memberRoles() const;
    QString parentRoomId() const;
    QList<roomdata::PendingJoinRequest> pendingJoinRequests() const;
    QList<roomdata::PendingSubroomRequest> pendingSubrooms() const;
    QStringList prefMembers() const;
    bool requireApproval() const;
    QList<RoomAclRole> roles() const;
    QString roomCode() const;
    bool roomCodeEnabled() const;
    QString roomName() const;
    bool userHasPermission(const QString &userId, const QString &key, bool cascade) const;

signals:
    // Something about the room may have changed: read again.
    void roomChanged();
    // available() may give another answer; always emitted before roomChanged().
    void availableChanged();

private:
    friend class RoomAdapterRegistry;
    struct RoutedByRegistry
    {};
    // Connects to nothing: the registry hands it the changes of its own room.
    RoomViewModel(QString roomId, RoomEntityStore *store, QObject *parent, RoutedByRegistry);

    void onStoreChanged(const QString &changedRoomId, uint fieldMask);
    void onStoreRemoved(const QString &removedRoomId);
    const RoomEntity *record() const;

    QString id;
    RoomEntityStore *store = nullptr;
};
