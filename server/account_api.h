#pragma once

#include <QHash>

#include "api_router.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace localservice {

class GatewayHub;
class TokenIssuer;
struct Account;
struct ServiceState;

// Lifetimes and limits of the account area.
struct AccountPolicy
{
    int accessTokenTtlSec = 900;
    int refreshTokenTtlSec = 30 * 24 * 3600;
    int codeTtlSec = 300;
    int codeResendSec = 60;
    int maxCodeAttempts = 5;
};

// The account endpoints: "/v1/auth/send-code", "/v1/auth/login", "/v1/auth/refresh",
// "/v1/auth/logout", "/v1/users/me" (GET, PATCH; DELETE deactivates) and
// "/v1/users/batch-get". Verification codes are not sent anywhere: `codeSent` carries
// them, and the service prints them. Every handler checks all of its input before it
// changes anything. GUI thread only.
class AccountApi : public QObject
{
    Q_OBJECT
public:
    AccountApi(ServiceState *state, TokenIssuer *tokens, GatewayHub *gateway, AccountPolicy policy,
               QObject *parent = nullptr);

    void setClock(std::function<qint64()> nowMs);
    void addRoutes(ApiRouter &router);

    // Who a bearer token speaks for: a valid, unexpired access token of a sign-in that
    // still exists, for an account that is active.
    std::optional<AccessGrant> authorize(const QString &accessToken) const;

signals:
    void codeSent(const QString &phone, const QString &code);
    // Something that the state file keeps has changed.
    void stateChanged();

private:
    ApiReply sendCode(const ApiRequest &request);
    ApiReply login(const ApiRequest &request);
    ApiReply refresh(const ApiRequest &request);
    ApiReply logout(const ApiRequest &request);
    ApiReply profile(const ApiRequest &request) const;
    ApiReply updateProfile(const ApiRequest &request);
    ApiReply deactivate(const ApiRequest &request);
    ApiReply batchGet(const ApiRequest &request) const;

    // A new sign-in (or a rotated one, when `signInId` is given) with fresh tokens.
    QJsonObject issueTokens(const QString &userId, const QString &deviceId, const QString &signInId);
    void forgetOldRefreshes();
    qint64 nowSec() const { return clock() / 1000; }

    ServiceState *state;
    TokenIssuer *tokens;
    GatewayHub *gateway;
    AccountPolicy policy;
    std::function<qint64()> clock;

    // A refresh whose reply was lost may reach us again with the same (already rotated)
    // token, e.g. when the HTTP layer resends it on a new connection. For a few seconds
    // the same token gets the same new pair instead of a refusal that would sign the user
    // out. Kept in memory only, keyed by the used token's digest.
    struct RecentRefresh
    {
        QString signInId;
        QByteArray issuedDigest; // digest of the refresh token handed out in `reply`
        QJsonObject reply;
        qint64 atMs = 0;
    };
    static constexpr qint64 kRefreshRepeatWindowMs = 5000;
    QHash<QByteArray, RecentRefresh> recentRefreshes;
};

// The profile as "/v1/users/me" answers it.
QJsonObject profileJson(const Account &account);

} // namespace localservice
