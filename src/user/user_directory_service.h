#pragma once

#include "user/abstract_user_resolver.h"
#include "user/cached_profile.h"

#include <QHash>
#include <QSet>
#include <QTimer>

class IHttpClient;
class QJsonObject;
struct HttpResponse;

// Other users' names: a bounded, least-recently-used cache filled by batched
// fetches and kept current through the gateway's profile subscriptions. Every
// cached user is subscribed. GUI thread only.
class UserDirectoryService : public AbstractUserResolver
{
    Q_OBJECT
public:
    static constexpr int kCapacity = 500;
    static constexpr int kBatchDelayMs = 100;
    static constexpr int kMaxBatchSize = 500;

    explicit UserDirectoryService(IHttpClient *http, QObject *parent = nullptr);

    // How long requests are gathered into one batch; kBatchDelayMs unless a test
    // shortens it.
    void setBatchDelayMs(int delayMs);

    void request(const QString &userId) override;
    void requestMany(const QStringList &userIds) override;
    QString nickname(const QString &userId) const override;
    QString username(const QString &userId) const override;
    bool isKnown(const QString &userId) const override;

public slots:
    void onProfileUpdatedEvent(const QString &name, const QJsonObject &payload);
    void onResync();
    // Sign-out: forgets everything, without unsubscribing (the gateway stops too).
    void clear();

signals:
    void profileSubscribeRequested(const QStringList &userIds);
    void profileUnsubscribeRequested(const QStringList &userIds);

private:
    void flush();
    void fetchBatch(const QStringList &ids, bool subscribeNew);
    void onBatchFinished(quint64 forGeneration, bool subscribeNew, const HttpResponse &response);
    bool upsert(const QString &userId, const QString &nickname, const QString &username, qint64 updatedAtMs);
    void touch(const QString &userId);
    void evict();
    // Takes copies: the slots may change the strings a caller passed in.
    void announce(QString userId, QString nickname);

    IHttpClient *http;
    QHash<QString, CachedProfile> cache;
    QStringList recency;
    QSet<QString> pending;
    QTimer batchTimer;
    // Ids whose userInfoReady is being delivered right now; a request for one of
    // them from a connected slot is already being answered.
    QSet<QString> announcing;
    // Counts clear() calls; a batch reply from before the last one is dropped.
    quint64 generation = 0;
};
