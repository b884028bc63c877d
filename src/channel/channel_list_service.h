#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

class ChannelEntityStore;
struct HttpResponse;
class IHttpClient;
class QJsonObject;
class QTimer;
class WatchRegistry;

// The channels the signed-in user belongs to: loaded after login, kept current from
// the user's own membership events, and for each listed channel one reference in the
// channel store and one watch on "channel:<id>". GUI thread only.
class ChannelListService : public QObject
{
    Q_OBJECT

public:
    // Neither the transport nor the store is owned; both must outlive the service.
    ChannelListService(IHttpClient *http, ChannelEntityStore *store, QObject *parent = nullptr);
    ~ChannelListService() override;

    // The signed-in user's id, used to recognise the user's own membership events.
    void setUserIdProvider(std::function<QString()> provider);
    // From then on each listed channel is watched there; not owned.
    void setWatchRegistry(WatchRegistry *registry);

    // The user's channel ids in server order, without empty ids or repeats.
    QStringList channelIds() const { return ids; }

    // Fetches the list; a reply to an older request is ignored, a reply without status
    // or with status 500 or more is retried with a growing delay.
    void bootstrap();
    // Entry for GatewayService::eventReceived; the version is not used.
    void handleGatewayEvent(const QString &name, const QJsonObject &payload, qint64 version);
    // Entry for GatewayService::resyncRequired.
    void onResync();
    // Logout: drops any reply in flight and a pending retry, empties the list and gives
    // up the channels' references and watches.
    void reset();

    // Back-off unit; the delays are 1, 2, 4, 8, 16 and at most 30 units. 1000 ms
    // unless a test shortens it.
    void setRetryUnitMs(int unitMs);
    // The delay of the pending retry, or nothing when none is pending.
    std::optional<int> pendingRetryDelayMs() const;

signals:
    void listChanged();
    void membershipLost(QString channelId, QString reason);
    void membershipGained(QString channelId);

private:
    void onListReply(int requestGeneration, const HttpResponse &response);
    void addChannel(const QString &channelId);
    void removeChannel(const QString &channelId, const QString &reason);
    void reconcileWatches();
    void onStoreChanged(const QString &channelId);

    IHttpClient *http = nullptr;
    ChannelEntityStore *store = nullptr;
    std::function<QString()> userIdProvider;
    WatchRegistry *watchRegistry = nullptr;
    QStringList ids;
    QStringList heldChannelIds;
    int generation = 0;
    // Membership changes announced by events while a list request is in flight, in order
    // (true: joined). The reply may have been read on the server before them, so they are
    // applied on top of it instead of being lost until the next load.
    bool listInFlight = false;
    QList<std::pair<QString, bool>> changesSinceRequest;
    QTimer *retryTimer = nullptr;
    int retryAttempt = 0;
    int retryUnitMs = 1000;
};
