#pragma once

#include <QList>
#include <QObject>

#include <functional>

class IHttpClient;
class ISessionStore;
struct HttpResponse;

// Whether the JWT's "exp" lies more than `marginSec` after `nowSec`. A token that
// is not three dot-separated parts, or whose payload has no "exp", counts as fresh.
bool isTokenFresh(const QString &token, int marginSec, qint64 nowSec);
// The same against the current time.
bool isTokenFresh(const QString &token, int marginSec);

// Owns the life of a session once it exists: resume at start, one token refresh
// at a time however many parts ask, logout. GUI thread only.
class SessionService : public QObject
{
    Q_OBJECT
public:
    enum class RefreshOutcome {
        Success = 0,   // new tokens received and saved
        Invalid = 1,   // the refresh token was refused, or the reply lacked a token; store cleared
        Transient = 2, // no usable answer (network, time-out, 5xx); tokens kept
    };

    SessionService(IHttpClient *api, ISessionStore *store, QObject *parent = nullptr);

    // Replaces the source of "now" in seconds since the epoch (tests).
    void setClock(std::function<qint64()> secondsNow);

    // Loads the stored session and, when its refresh token is usable, refreshes;
    // may end in sessionResumed. Ends without effect when a login or logout changed the
    // session while the stored one was being read.
    void tryResume();
    // Calls back with an access token good for more than 30 seconds (at once when
    // the held one is), or with an empty string when none could be had.
    void ensureFreshAccessToken(std::function<void(const QString &)> callback);
    // Runs or joins a refresh; `done` gets true on success. sessionExpired goes
    // out first when the refresh token was refused.
    void refreshAccessToken(std::function<void(bool)> done);
    // Ends the session locally at once, then asks the server to revoke the refresh token.
    void logout();

signals:
    void sessionResumed(QString userId);
    void sessionExpired();
    void loggedOut();

private:
    struct Waiter
    {
        std::function<void(RefreshOutcome)> callback;
        // Asked through refreshAccessToken: a refusal expires the session.
        bool expiresSession = false;
    };

    void doRefresh(std::function<void(RefreshOutcome)> callback, bool expiresSession = false);
    RefreshOutcome outcomeOf(const HttpResponse &response);
    void finishRefresh(RefreshOutcome outcome);

    IHttpClient *api;
    ISessionStore *store;
    bool refreshing = false;
    QList<Waiter> waiters;
    // Raised by logout: a refresh answer for an older session is dropped.
    quint64 sessionGeneration = 0;
    std::function<qint64()> clock;
};
