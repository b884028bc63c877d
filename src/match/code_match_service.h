#pragma once

#include "match/match_error_code.h"

#include <QObject>
#include <QString>

#include <functional>

class IHttpClient;
struct HttpResponse;

// Joins by a code somebody gave the user: the server resolves it to a room (the user is
// then entering it, or must apply first) or to a channel (the user has joined it). Keeps
// no state between calls; every call ends in exactly one result signal. GUI thread only.
class CodeMatchService : public QObject
{
    Q_OBJECT
public:
    // Returns the realtime gateway's current session id; empty while there is none.
    using SessionIdProvider = std::function<QString()>;

    explicit CodeMatchService(IHttpClient *http, QObject *parent = nullptr);

    // Installed by the wiring. Without one the request carries an empty session id.
    void setSessionIdProvider(SessionIdProvider provider);

public slots:
    // Sends the code unchanged, without trimming or checks: the server judges it.
    void joinByCode(const QString &code);
    // Sign-out: an answer to a join sent before is dropped.
    void reset();

signals:
    void roomEntering(const QString &roomId);
    void channelJoined();
    void joinNeedsApply(const QString &roomId);
    // msg is the server's "message", possibly empty.
    void joinByCodeFailed(MatchErrorCode code, const QString &msg);

private:
    void onJoinReply(const HttpResponse &response);
    quint64 generation = 0;

    IHttpClient *http;
    SessionIdProvider sessionIdProvider;
};
