#pragma once

#include "match/match_error_code.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

class IHttpClient;
struct HttpResponse;

// Asks the server which rooms the members of a preference group are in. Keeps no
// state between calls; every call ends in exactly one signal. GUI thread only.
class PrefMatchService : public QObject
{
    Q_OBJECT
public:
    // One member of the group and the room that member is in.
    struct Candidate
    {
        QString userId;
        QString roomId;
    };

    explicit PrefMatchService(IHttpClient *http, QObject *parent = nullptr);

public slots:
    // Sends the ids in the given order; an empty list is sent as an empty array.
    void start(const QList<QString> &memberIds);

signals:
    // In the order of the reply's array; may be empty, never de-duplicated.
    void candidatesReady(const QList<PrefMatchService::Candidate> &candidates);
    // msg is the server's "message", possibly empty.
    void matchFailed(MatchErrorCode code, const QString &msg);

private:
    void onMatchReply(const HttpResponse &response);

    IHttpClient *http;
};

Q_DECLARE_METATYPE(PrefMatchService::Candidate)
