#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

struct HttpResponse;
class IHttpClient;
class RoomEntityStore;
class WatchRegistry;

// One user of a room as the room lists show it.
struct MyRoomMember
{
    QString userId;
    bool disconnected = false; // in the room's disconnected set

    bool operator==(const MyRoomMember &) const = default;
};

// One room of the user's list, filled from the room store when asked for.
struct MyRoomEntry
{
    QString roomId;
    QString name;                // empty when the store does not hold the room
    bool temporary = false;      // not persistent; false when not held
    bool loaded = false;         // at least the public snapshot was applied; false when not held
    QList<MyRoomMember> members; // present users, in the store's order
    QString parentRoomId;
    QSet<QString> childRoomIds;

    bool operator==(const MyRoomEntry &) const = default;
};

// The rooms the signed-in user belongs to, and the room the server places the user
// in. Loads both after login and resume, reloads on resync and membership events,
// retries failed loads with back-off, and keeps every listed room (and the active
// one) retained in the room store and watched on the gateway. GUI thread only.
class RoomListService : public QObject
{
    Q_OBJECT

public:
    using IdProvider = std::function<QString()>;

    // Nothing is owned; both must outlive the service.
    RoomListService(IHttpClient *http, RoomEntityStore *store, QObject *parent = nullptr);
    ~RoomListService() override;

    // Set by the wiring; the registry before the first load.
    void setUserIdProvider(IdProvider provider);
    void setWatchRegistry(WatchRegistry *registry);

    // The back-off of failed loads: first, doubled per attempt up to five times, at
    // most max. Tests shorten it; the defaults are 1000 and 30000 ms.
    void setRetryDelays(int firstMs, int maxMs);

    // One entry per listed room, in the server's order, read from the store now.
    QList<MyRoomEntry> entries() const;
    // The server's active room of the last successful load; empty when none.
    QString activeRoomId() const { return activeId; }
    bool isActiveRoomLoaded() const;
    bool isDisconnectedInActiveRoom(const QString &userId) const;
    // Whether a failed load has a retry waiting on its back-off.
    bool isRetryScheduled() const { return retryTimer.isActive(); }

public slots:
    // Starts a load; replies of earlier loads are dropped and a pending retry is cancelled.
    void bootstrap();
    // Entry for GatewayService::eventReceived; the version is not used.
    void handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64 version = 0);
    // Entry for GatewayService::resyncRequired.
    void onResync();
    // Logout or session expiry: stops loading and retrying, empties the list and
    // releases every room reference and watch that the list held.
    void reset();

signals:
    void listChanged();

private:
    void onLoadReply(int loadGeneration, const HttpResponse &response);
    void onStoreChanged(const QString &roomId, uint fieldMask);
    void removeRoom(const QString &roomId);
    void reconcile();

    IHttpClient *http = nullptr;
    RoomEntityStore *store = nullptr;
    IdProvider userIdProvider;
    WatchRegistry *watchRegistry = nullptr;
    QStringList roomIds;
    QStringList heldRoomIds;
    QString activeId;
    int generation = 0;
    QTimer retryTimer;
    int retryAttempt = 0;
    int retryFirstMs = 1000;
    int retryMaxMs = 30000;
};
