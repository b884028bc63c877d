#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class IHttpClient;
class QJsonObject;
class UserState;
struct HttpResponse;

// Loads the signed-in user's profile into UserState, retries with back-off while
// the server is unreachable, and follows own nickname changes from realtime
// events. GUI thread only.
class ProfileService : public QObject
{
    Q_OBJECT
public:
    ProfileService(IHttpClient *http, UserState *state, QObject *parent = nullptr);

    // Back-off unit; the delays are 1, 2, 4, 8, 16 and at most 30 units. 1000 ms
    // unless a test shortens it.
    void setRetryUnitMs(int unitMs);
    // The delay of the pending retry, or nothing when none is pending.
    std::optional<int> pendingRetryDelayMs() const;

public slots:
    void fetchProfile();
    void onProfileUpdatedEvent(const QString &name, const QJsonObject &payload);

signals:
    void profileFetched();

private:
    void onFetchFinished(quint64 generation, const HttpResponse &response);
    void stopRetrying();

    IHttpClient *http;
    UserState *state;
    QTimer retryTimer;
    int attempt = 0;
    int retryUnitMs = 1000;
};
