#pragma once

#include "auth/i_session_store.h"

#include <QObject>

#include <functional>

namespace QKeychain {
class Job;
}

// Holds the session for the life of the process and mirrors its long-lived part
// (user id, refresh token, refresh expiry) into one credential-store item, so the
// next start can resume it. The access token is never written anywhere.
// GUI thread only.
class SessionStore : public QObject, public ISessionStore
{
public:
    explicit SessionStore(QObject *parent = nullptr);

    // The credential-store item: service "Kestova", key "session_" plus the install id.
    static QString serviceName();
    static QString sessionKey();

    // Replaces the source of "now" in seconds since the epoch (tests).
    void setClock(std::function<qint64()> secondsNow);

    void load(std::function<void()> done) override;
    QString userId() const override { return heldUserId; }
    QString accessToken() const override { return heldAccessToken; }
    QString refreshToken() const override { return heldRefreshToken; }
    bool hasRefreshToken() const override { return !heldRefreshToken.isEmpty(); }
    bool hasUsableRefresh(int marginSec) const override;
    void saveLogin(const QString &userId, const QString &accessToken, const QString &refreshToken,
                   int refreshExpiresInSec) override;
    void saveRefresh(const QString &accessToken, const QString &refreshToken, int refreshExpiresInSec) override;
    void clear() override;
    quint64 revision() const override { return changeCount; }

private:
    void applyRead(QKeychain::Job *finished, quint64 changeCountAtStart);
    qint64 expiryFor(int refreshExpiresInSec) const;
    void writeItem();
    void deleteItem();

    QString heldUserId;
    QString heldAccessToken;
    QString heldRefreshToken;
    qint64 refreshExpiresAt = 0;
    // Raised by every save and clear, so that a read started earlier cannot
    // overwrite what was decided while it was on its way.
    quint64 changeCount = 0;
    std::function<qint64()> clock;
};
