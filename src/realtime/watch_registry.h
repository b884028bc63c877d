#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class GatewayService;

enum class WatchState { Pending = 0, Ready = 1, Denied = 2 };

struct WatchEntry
{
    int refCount = 0;
    WatchState state = WatchState::Pending;
    // The watch went out on the session that is established now; cleared when it drops.
    bool sentOnSession = false;
};

// Counts the holders of each stream target ("room:<id>", "room:<id>:private",
// "channel:<id>") so that a target is watched once for its first holder and
// unwatched once after its last, and remembers the server's answer for late holders.
// GUI thread only.
class WatchRegistry : public QObject
{
    Q_OBJECT
public:
    explicit WatchRegistry(QObject *parent = nullptr);
    ~WatchRegistry() override;

    // Makes the connections to the gateway: watch and unwatch requests, watch results,
    // re-watching on resync and re-sending unanswered watches on every new session.
    // Connect it before the room services' own resync handlers.
    void connectGateway(GatewayService *gateway);

    void acquire(const QStringList &targets);
    void release(const QStringList &targets);
    // Asks the server again for those of `targets` that are held.
    void rewatch(const QStringList &targets);
    // Re-announces, on a later turn of the event loop, the known answers of held targets.
    void resolve(const QStringList &targets);

public slots:
    void onWatchResult(const QString &target, bool ok);
    // Every held target back to Pending and watched again.
    void rewatchAll();
    // Sends the unwatches of targets released while disconnected, then again the watches
    // that are still unanswered and did not go out on this session.
    void onSessionReady();
    void onSessionLost();

signals:
    void watchNeeded(const QStringList &targets);
    void unwatchNeeded(const QStringList &targets);
    void streamReady(const QString &target);
    void streamDenied(const QString &target);

private:
    void announce(const QStringList &targets);
    void emitKnownStates(const QStringList &targets);

    QHash<QString, WatchEntry> entries;
    // Released while no session was established: the server may still stream them on
    // the session it resumes, so their unwatch goes out when it does. A fresh session
    // starts without watches and drops the list.
    QStringList releasedOffline;
    QPointer<GatewayService> gateway;
};
