#pragma once

#include <QObject>
#include <QString>

class IHttpClient;
class UserState;
struct HttpResponse;

// Changes the signed-in user's nickname on the server. GUI thread only.
class NicknameService : public QObject
{
    Q_OBJECT
public:
    NicknameService(IHttpClient *http, UserState *state, QObject *parent = nullptr);

public slots:
    // Sends the text as given; the account dialog validates the input.
    void updateNickname(const QString &nickname);

signals:
    void updateSucceeded();
    // msg is the server's "message", possibly empty.
    void updateFailed(const QString &msg);

private:
    void onUpdateFinished(quint64 generation, const HttpResponse &response);

    IHttpClient *http;
    UserState *state;
};
