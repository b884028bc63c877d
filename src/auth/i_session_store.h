#pragma once

#include <QString>

#include <functional>

// The session as the auth services see it: user id, access token (memory only),
// refresh token and its expiry. GUI thread only.
class ISessionStore
{
public:
    virtual ~ISessionStore() = default;
    // Reads the stored session asynchronously; `done` runs once, whatever the outcome.
    virtual void load(std::function<void()> done) = 0;
    virtual QString userId() const = 0;
    virtual QString accessToken() const = 0;
    virtual QString refreshToken() const = 0;
    virtual bool hasRefreshToken() const = 0;
    // A refresh token is held and lives more than `marginSec` longer (or its expiry is unknown).
    virtual bool hasUsableRefresh(int marginSec) const = 0;
    virtual void saveLogin(const QString &userId, const QString &accessToken, const QString &refreshToken,
                           int refreshExpiresInSec) = 0;
    virtual void saveRefresh(const QString &accessToken, const QString &refreshToken, int refreshExpiresInSec) = 0;
    virtual void clear() = 0;
    // Raised by every save and clear, never by a load: a caller that notes it before a
    // load can tell afterwards whether a login, refresh or logout overtook the read.
    virtual quint64 revision() const = 0;
};
