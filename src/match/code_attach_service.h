#pragma once

#include "match/match_error_code.h"

#include <QObject>
#include <QString>

class IHttpClient;
struct HttpResponse;

// Attaches the user's current room, as a sub-room, under the room that a code names:
// at once, or after that room accepts. Keeps no state between calls; every call ends
// in exactly one result signal. GUI thread only.
class CodeAttachService : public QObject
{
    Q_OBJECT
public:
    explicit CodeAttachService(IHttpClient *http, QObject *parent = nullptr);

public slots:
    void attachByCode(const QString &code, const QString &childRoomId);

signals:
    void attached(const QString &parentRoomId);
    void attachPending(const QString &requestId, const QString &parentRoomId, const QString &childRoomId,
                       qlonglong expiresAtMs, const QString &parentRoomName);
    // msg is the server's "message", possibly empty.
    void attachFailed(MatchErrorCode code, const QString &msg);

private:
    void onAttachReply(const QString &childRoomId, const HttpResponse &response);

    IHttpClient *http;
};
