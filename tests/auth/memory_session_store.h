#pragma once

#include "auth/i_session_store.h"

#include <functional>

// An ISessionStore in memory. A load waits until the test completes it.
class MemorySessionStore : public ISessionStore
{
public:
    void load(std::function<void()> done) override
    {
        pendingLoad = std::move(done);
        revisionAtLoad = changes;
    }
    QString userId() const override { return user; }
    QString accessToken() const override { return access; }
    QString refreshToken() const override { return refresh; }
    bool hasRefreshToken() const override { return !refresh.isEmpty(); }
    bool hasUsableRefresh(int marginSec) const override
    {
        return hasRefreshToken() && (expiresAt <= 0 || expiresAt > now + marginSec);
    }
    void saveLogin(const QString &userId, const QString &accessToken, const QString &refreshToken,
                   int refreshExpiresInSec) override
    {
        ++saveLoginCount;
        ++changes;
        user = userId;
        saveTokens(accessToken, refreshToken, refreshExpiresInSec);
    }
    void saveRefresh(const QString &accessToken, const QString &refreshToken, int refreshExpiresInSec) override
    {
        ++saveRefreshCount;
        ++changes;
        saveTokens(accessToken, refreshToken, refreshExpiresInSec);
    }
    void clear() override
    {
        ++clearCount;
        ++changes;
        user.clear();
        access.clear();
        refresh.clear();
        expiresAt = 0;
    }

    quint64 revision() const override { return changes; }

    // Finishes the outstanding load as if the credential store held these values; like
    // the real store, a read overtaken by a save or clear leaves the newer values.
    void completeLoad(const QString &userId, const QString &refreshToken, qint64 refreshExpiresAt)
    {
        if (changes == revisionAtLoad) {
            user = userId;
            refresh = refreshToken;
            expiresAt = refreshExpiresAt;
        }
        if (auto done = std::exchange(pendingLoad, {}))
            done();
    }

    QString user;
    QString access;
    QString refresh;
    qint64 expiresAt = 0;
    qint64 now = 1'700'000'000;
    int saveLoginCount = 0;
    int saveRefreshCount = 0;
    int clearCount = 0;
    std::function<void()> pendingLoad;
    quint64 changes = 0;
    quint64 revisionAtLoad = 0;

private:
    void saveTokens(const QString &accessToken, const QString &refreshToken, int refreshExpiresInSec)
    {
        access = accessToken;
        refresh = refreshToken;
        expiresAt = refreshExpiresInSec <= 0 ? 0 : now + refreshExpiresInSec;
    }
};
