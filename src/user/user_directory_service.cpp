#include "user/user_directory_service.h"

#include "net/http_reply.h"
#include "net/i_http_client.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>

#include <cmath>

Q_LOGGING_CATEGORY(lcDirectory, "user.directory", QtInfoMsg)

namespace {

// A JSON number truncated to milliseconds; 0 when absent, not a number or out of range.
qint64 millisOf(const QJsonValue &value)
{
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::fabs(number) >= 9.2e18)
        return 0;
    return static_cast<qint64>(number);
}

} // namespace

UserDirectoryService::UserDirectoryService(IHttpClient *http_, QObject *parent)
    : AbstractUserResolver(parent)
    , http(http_)
{
    batchTimer.setSingleShot(true);
    batchTimer.setInterval(kBatchDelayMs);
    connect(&batchTimer, &QTimer::timeout, this, &UserDirectoryService::flush);
}

void UserDirectoryService::setBatchDelayMs(int delayMs)
{
    batchTimer.setInterval(delayMs);
}

void UserDirectoryService::request(const QString &userId)
{
    if (userId.isEmpty())
        return;
    const auto it = cache.constFind(userId);
    if (it != cache.constEnd()) {
        const QString cachedNickname = it->nickname;
        touch(userId);
        // Called from a slot that is being told about this very user: that
        // answer is already on its way, and repeating it would recurse forever.
        if (!announcing.contains(userId))
            announce(userId, cachedNickname);
        return;
    }
    pending.insert(userId);
    if (!batchTimer.isActive())
        batchTimer.start();
}

void UserDirectoryService::requestMany(const QStringList &userIds)
{
    // Walked over a copy: a slot answering one id may change the caller's list.
    const QStringList ids = userIds;
    for (const QString &userId : ids)
        request(userId);
}

QString UserDirectoryService::nickname(const QString &userId) const
{
    return cache.value(userId).nickname;
}

QString UserDirectoryService::username(const QString &userId) const
{
    return cache.value(userId).username;
}

bool UserDirectoryService::isKnown(const QString &userId) const
{
    return cache.contains(userId);
}

void UserDirectoryService::flush()
{
    if (pending.isEmpty())
        return;
    const QStringList ids(pending.cbegin(), pending.cend());
    pending.clear();
    for (qsizetype from = 0; from < ids.size(); from += kMaxBatchSize)
        fetchBatch(ids.mid(from, kMaxBatchSize), true);
}

void UserDirectoryService::fetchBatch(const QStringList &ids, bool subscribeNew)
{
    if (ids.isEmpty())
        return;
    const QJsonObject body{{QStringLiteral("userIds"), QJsonArray::fromStringList(ids)}};
    const quint64 forGeneration = generation;
    QPointer<UserDirectoryService> self(this);
    http->post(QStringLiteral("/v1/users/batch-get"), body,
               [self, forGeneration, subscribeNew](const HttpResponse &response) {
                   if (self)
                       self->onBatchFinished(forGeneration, subscribeNew, response);
               });
}

void UserDirectoryService::onBatchFinished(quint64 forGeneration, bool subscribeNew, const HttpResponse &response)
{
    // Asked for before a sign-out: those users belong to the ended session.
    if (forGeneration != generation) {
        qCDebug(lcDirectory) << "batch-get reply dropped after clear";
        return;
    }
    if (!response.isSuccess()) {
        qCWarning(lcDirectory).noquote().nospace()
            << "batch-get failed status=" << response.status << " code=" << errorCodeOf(response)
            << " net_err=" << response.error;
        return;
    }

    QStringList added;
    const QJsonArray users = response.json.value(QLatin1String("users")).toArray();
    for (const QJsonValue &item : users) {
        const QJsonObject user = item.toObject();
        const QString userId = user.value(QLatin1String("userId")).toString();
        if (userId.isEmpty())
            continue;
        const bool isNew = upsert(userId, user.value(QLatin1String("nickname")).toString(),
                                  user.value(QLatin1String("username")).toString(),
                                  millisOf(user.value(QLatin1String("updatedAtMs"))));
        if (isNew && subscribeNew)
            added << userId;
        announce(userId, cache.value(userId).nickname);
        // A slot cleared the directory (sign-out): the rest of the reply is stale.
        if (forGeneration != generation)
            return;
    }

    // A reply longer than the cache can evict some of its own users again;
    // subscribe only to those still held.
    added.removeIf([this](const QString &userId) { return !cache.contains(userId); });
    if (!added.isEmpty())
        emit profileSubscribeRequested(added);
}

bool UserDirectoryService::upsert(const QString &userId, const QString &nickname, const QString &username,
                                  qint64 updatedAtMs)
{
    const auto it = cache.find(userId);
    if (it != cache.end()) {
        touch(userId);
        if (it->updatedAtMs != 0 && updatedAtMs < it->updatedAtMs)
            return false;
        it->nickname = nickname;
        it->username = username;
        it->updatedAtMs = updatedAtMs;
        return false;
    }
    cache.insert(userId, CachedProfile{nickname, username, updatedAtMs});
    recency.append(userId);
    evict();
    return true;
}

void UserDirectoryService::touch(const QString &userId)
{
    recency.removeOne(userId);
    recency.append(userId);
}

void UserDirectoryService::evict()
{
    QStringList evicted;
    while (recency.size() > kCapacity) {
        const QString userId = recency.takeFirst();
        cache.remove(userId);
        evicted << userId;
    }
    if (evicted.isEmpty())
        return;
    qCDebug(lcDirectory).nospace() << "evict count=" << evicted.size();
    emit profileUnsubscribeRequested(evicted);
}

void UserDirectoryService::announce(QString userId, QString nickname)
{
    const bool outermost = !announcing.contains(userId);
    if (outermost)
        announcing.insert(userId);
    emit userInfoReady(userId, nickname);
    if (outermost)
        announcing.remove(userId);
}

void UserDirectoryService::onProfileUpdatedEvent(const QString &name, const QJsonObject &payload)
{
    if (name != QLatin1String("user.profile-updated"))
        return;
    const QString userId = payload.value(QLatin1String("userId")).toString();
    const auto it = cache.find(userId);
    if (it == cache.end())
        return;
    const qint64 delta = millisOf(payload.value(QLatin1String("updatedAtMs")));
    if (it->updatedAtMs != 0 && delta < it->updatedAtMs) {
        qCDebug(lcDirectory).noquote().nospace()
            << "profile delta stale user_id=" << userId << " delta_ms=" << delta << " cached_ms=" << it->updatedAtMs;
        return;
    }
    const QString nickname = payload.value(QLatin1String("nickname")).toString();
    const bool changed = nickname != it->nickname;
    it->nickname = nickname;
    it->updatedAtMs = delta;
    if (changed)
        announce(userId, nickname);
}

void UserDirectoryService::onResync()
{
    if (recency.isEmpty())
        return;
    qCInfo(lcDirectory).nospace() << "resync replay held=" << recency.size();
    // Copied: a slot of the signal may change the cache.
    const QStringList held = recency;
    emit profileSubscribeRequested(held);
    fetchBatch(held, false);
}

void UserDirectoryService::clear()
{
    cache.clear();
    recency.clear();
    pending.clear();
    batchTimer.stop();
    ++generation;
}
