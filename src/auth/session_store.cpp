#include "auth/session_store.h"

#include "auth/auth_log.h"
#include "auth/json_seconds.h"
#include "storage/data_root.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <qt6keychain/keychain.h>

namespace {
const QLatin1String kUserIdKey("userId");
const QLatin1String kRefreshTokenKey("refreshToken");
const QLatin1String kRefreshExpiresAtKey("refreshExpiresAt");
} // namespace

SessionStore::SessionStore(QObject *parent)
    : QObject(parent)
    , clock([] { return QDateTime::currentSecsSinceEpoch(); })
{}

QString SessionStore::serviceName()
{
    return QStringLiteral("Kestova");
}

QString SessionStore::sessionKey()
{
    return QStringLiteral("session_") + installId();
}

void SessionStore::setClock(std::function<qint64()> secondsNow)
{
    clock = std::move(secondsNow);
}

bool SessionStore::hasUsableRefresh(int marginSec) const
{
    if (!hasRefreshToken())
        return false;
    if (refreshExpiresAt <= 0)
        return true;
    return refreshExpiresAt > clock() + qint64(marginSec);
}

qint64 SessionStore::expiryFor(int refreshExpiresInSec) const
{
    return refreshExpiresInSec <= 0 ? 0 : clock() + refreshExpiresInSec;
}

void SessionStore::load(std::function<void()> done)
{
    auto *job = new QKeychain::ReadPasswordJob(serviceName(), this);
    job->setKey(sessionKey());
    const quint64 changeCountAtStart = changeCount;
    connect(job, &QKeychain::Job::finished, this,
            [this, done = std::move(done), changeCountAtStart](QKeychain::Job *finished) {
                applyRead(finished, changeCountAtStart);
                if (done)
                    done();
            });
    job->start();
}

void SessionStore::applyRead(QKeychain::Job *finished, quint64 changeCountAtStart)
{
    auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(finished);
    if (!read) {
        qCWarning(lcAuthSession) << "keychain read failed: not a read job";
        return;
    }
    if (read->error() == QKeychain::EntryNotFound) {
        qCInfo(lcAuthSession) << "no session in keychain (fresh install or logged out)";
        return;
    }
    if (read->error() != QKeychain::NoError) {
        qCWarning(lcAuthSession).noquote() << "keychain read failed:" << read->errorString();
        return;
    }
    if (changeCount != changeCountAtStart) {
        // A login, refresh or logout happened while the item was read: it is newer.
        qCInfo(lcAuthSession) << "keychain read outdated, newer session kept";
        return;
    }
    const QJsonObject item = QJsonDocument::fromJson(read->textData().toUtf8()).object();
    heldUserId = item.value(kUserIdKey).toString();
    heldRefreshToken = item.value(kRefreshTokenKey).toString();
    refreshExpiresAt = secondsFromJson(item.value(kRefreshExpiresAtKey));
    qCInfo(lcAuthSession).nospace() << "session loaded from keychain, has_refresh=" << hasRefreshToken();
}

void SessionStore::saveLogin(const QString &userId, const QString &accessToken, const QString &refreshToken,
                             int refreshExpiresInSec)
{
    ++changeCount;
    heldUserId = userId;
    heldAccessToken = accessToken;
    heldRefreshToken = refreshToken;
    refreshExpiresAt = expiryFor(refreshExpiresInSec);
    writeItem();
    qCInfo(lcAuthSession).nospace().noquote()
        << "session saved (login), user_id=" << userId << " refresh_expires_in=" << refreshExpiresInSec;
}

void SessionStore::saveRefresh(const QString &accessToken, const QString &refreshToken, int refreshExpiresInSec)
{
    ++changeCount;
    heldAccessToken = accessToken;
    heldRefreshToken = refreshToken;
    refreshExpiresAt = expiryFor(refreshExpiresInSec);
    writeItem();
    qCInfo(lcAuthSession).nospace() << "session saved (refresh), refresh_expires_in=" << refreshExpiresInSec;
}

void SessionStore::clear()
{
    ++changeCount;
    heldAccessToken.clear();
    heldUserId.clear();
    heldRefreshToken.clear();
    refreshExpiresAt = 0;
    deleteItem();
    qCInfo(lcAuthSession) << "session cleared";
}

void SessionStore::writeItem()
{
    const QJsonObject item{
        {kUserIdKey, heldUserId},
        {kRefreshTokenKey, heldRefreshToken},
        {kRefreshExpiresAtKey, double(refreshExpiresAt)},
    };
    auto *job = new QKeychain::WritePasswordJob(serviceName(), this);
    job->setKey(sessionKey());
    job->setTextData(QString::fromUtf8(QJsonDocument(item).toJson(QJsonDocument::Compact)));
    connect(job, &QKeychain::Job::finished, this, [](QKeychain::Job *finished) {
        if (finished->error() != QKeychain::NoError)
            qCWarning(lcAuthSession).noquote() << "keychain write failed:" << finished->errorString();
    });
    job->start();
}

void SessionStore::deleteItem()
{
    auto *job = new QKeychain::DeletePasswordJob(serviceName(), this);
    job->setKey(sessionKey());
    connect(job, &QKeychain::Job::finished, this, [](QKeychain::Job *finished) {
        if (finished->error() != QKeychain::NoError && finished->error() != QKeychain::EntryNotFound)
            qCWarning(lcAuthSession).noquote() << "keychain delete failed:" << finished->errorString();
    });
    job->start();
}
