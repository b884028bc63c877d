#include "auth/session_service.h"

#include "auth/auth_error_code.h"
#include "auth/auth_log.h"
#include "auth/i_session_store.h"
#include "auth/json_seconds.h"
#include "net/i_http_client.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace {
constexpr int kFreshMarginSec = 30;
constexpr int kResumeMarginSec = 60;

HttpOptions authCallOptions()
{
    HttpOptions options;
    options.skipAuth = true;
    return options;
}
} // namespace

bool isTokenFresh(const QString &token, int marginSec, qint64 nowSec)
{
    const QStringList parts = token.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 3)
        return true;
    const QByteArray payload = QByteArray::fromBase64(parts.at(1).toLatin1(), QByteArray::Base64UrlEncoding);
    const QJsonObject claims = QJsonDocument::fromJson(payload).object();
    const auto exp = claims.constFind(QLatin1String("exp"));
    if (exp == claims.constEnd())
        return true;
    // Compared as a sum of small values, so that no expiry can overflow the difference.
    return secondsFromJson(*exp) > nowSec + qint64(marginSec);
}

bool isTokenFresh(const QString &token, int marginSec)
{
    return isTokenFresh(token, marginSec, QDateTime::currentSecsSinceEpoch());
}

SessionService::SessionService(IHttpClient *api_, ISessionStore *store_, QObject *parent)
    : QObject(parent)
    , api(api_)
    , store(store_)
    , clock([] { return QDateTime::currentSecsSinceEpoch(); })
{}

void SessionService::setClock(std::function<qint64()> secondsNow)
{
    clock = std::move(secondsNow);
}

void SessionService::tryResume()
{
    store->load([self = QPointer<SessionService>(this), revisionAtStart = store->revision()] {
        if (!self)
            return;
        if (self->store->revision() != revisionAtStart) {
            // A login or logout happened while the stored session was read: that decision
            // is newer, and resuming now would sign in a second time or revive a session
            // the user has ended.
            qCInfo(lcAuthSession) << "resume abandoned, session changed while the stored one was read";
            return;
        }
        if (!self->store->hasUsableRefresh(kResumeMarginSec)) {
            qCInfo(lcAuthSession) << "no resumable session, staying on login";
            return;
        }
        qCInfo(lcAuthSession) << "resumable session found, refreshing";
        self->doRefresh([service = self.data()](RefreshOutcome outcome) {
            if (outcome != RefreshOutcome::Success)
                return;
            const QString userId = service->store->userId();
            qCInfo(lcAuthSession).nospace().noquote() << "session resumed, user_id=" << userId;
            emit service->sessionResumed(userId);
        });
    });
}

void SessionService::ensureFreshAccessToken(std::function<void(const QString &)> callback)
{
    const QString token = store->accessToken();
    if (!token.isEmpty() && isTokenFresh(token, kFreshMarginSec, clock())) {
        callback(token);
        return;
    }
    refreshAccessToken(
        [this, callback = std::move(callback)](bool ok) { callback(ok ? store->accessToken() : QString()); });
}

void SessionService::refreshAccessToken(std::function<void(bool)> done)
{
    doRefresh(
        [done = std::move(done)](RefreshOutcome outcome) {
            if (done)
                done(outcome == RefreshOutcome::Success);
        },
        true);
}

void SessionService::logout()
{
    const QString refreshToken = store->refreshToken();
    store->clear();
    ++sessionGeneration;
    qCInfo(lcAuthSession) << "logout, session cleared locally";
    emit loggedOut();

    // A refresh still on its way belongs to the ended session: its waiters hear a
    // failure now, and its answer will be dropped when it arrives.
    if (refreshing) {
        qCInfo(lcAuthSession) << "refresh abandoned by logout";
        finishRefresh(RefreshOutcome::Transient);
    }

    if (refreshToken.isEmpty())
        return;
    api->post(
        QStringLiteral("/v1/auth/logout"), QJsonObject{{QStringLiteral("refreshToken"), refreshToken}},
        [](const HttpResponse &response) {
            if (!response.isSuccess())
                qCWarning(lcAuthSession).nospace()
                    << "logout server revoke failed (local already cleared) status=" << response.status;
        },
        authCallOptions());
}

void SessionService::doRefresh(std::function<void(RefreshOutcome)> callback, bool expiresSession)
{
    waiters.append(Waiter{std::move(callback), expiresSession});
    if (refreshing)
        return;
    refreshing = true;
    const QString sentToken = store->refreshToken();
    api->post(
        QStringLiteral("/v1/auth/refresh"), QJsonObject{{QStringLiteral("refreshToken"), sentToken}},
        [self = QPointer<SessionService>(this), generation = sessionGeneration,
         sentToken](const HttpResponse &response) {
            if (!self)
                return;
            if (generation != self->sessionGeneration) {
                qCInfo(lcAuthSession) << "refresh answer dropped after logout";
                return;
            }
            if (self->store->refreshToken() != sentToken) {
                // A login replaced the session meanwhile: this answer must neither
                // overwrite nor clear it, nor resume the old one.
                qCInfo(lcAuthSession) << "refresh answer dropped, session replaced meanwhile";
                self->finishRefresh(RefreshOutcome::Transient);
                return;
            }
            self->finishRefresh(self->outcomeOf(response));
        },
        authCallOptions());
}

SessionService::RefreshOutcome SessionService::outcomeOf(const HttpResponse &response)
{
    if (response.isSuccess()) {
        const QString accessToken = response.json.value(QLatin1String("accessToken")).toString();
        const QString refreshToken = response.json.value(QLatin1String("refreshToken")).toString();
        if (accessToken.isEmpty() || refreshToken.isEmpty()) {
            qCWarning(lcAuthSession) << "refresh response malformed (token cleared)";
            store->clear();
            return RefreshOutcome::Invalid;
        }
        store->saveRefresh(accessToken, refreshToken, response.json.value(QLatin1String("refreshExpiresIn")).toInt());
        qCInfo(lcAuthSession) << "access token refreshed";
        return RefreshOutcome::Success;
    }
    if (response.networkError && response.status == 0) {
        // No reply at all: the server may have taken the refresh token, and the network
        // layer sends a request again on a new connection when one closes unanswered, so
        // the server may have seen it twice. It must answer a repeat with the same pair;
        // noted here once per refresh, since the client cannot tell.
        qCWarning(lcAuthSession)
            << "refresh got no reply, the server may have received the refresh token more than once";
    }
    if (response.networkError || response.timedOut || (response.status >= 500 && response.status <= 599)) {
        qCWarning(lcAuthSession).nospace()
            << "refresh transient failure (token kept) status=" << response.status
            << " is_timeout=" << response.timedOut << " net_err=" << response.networkError;
        return RefreshOutcome::Transient;
    }
    qCWarning(lcAuthSession).nospace().noquote()
        << "refresh invalid (token cleared) status=" << response.status << " code=" << errorCodeOf(response);
    store->clear();
    return RefreshOutcome::Invalid;
}

void SessionService::finishRefresh(RefreshOutcome outcome)
{
    refreshing = false;
    const QList<Waiter> finished = std::exchange(waiters, {});
    // One refused refresh expires the session once, before any waiter hears of it,
    // however many callers joined it.
    const bool expires =
        std::any_of(finished.cbegin(), finished.cend(), [](const Waiter &w) { return w.expiresSession; });
    if (outcome == RefreshOutcome::Invalid && expires)
        emit sessionExpired();
    for (const Waiter &waiter : finished)
        waiter.callback(outcome);
}
