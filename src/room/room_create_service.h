#pragma once

#include "room/room_error.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>

class IHttpClient;
struct HttpResponse;

// Creates rooms on the server. A temporary room is created from a saved configuration's
// settings and joined at once with the user's realtime session; a persistent room is only
// created. Keeps no state between calls but a sign-out counter; every call ends in exactly
// one result signal unless a sign-out came first.
// GUI thread only.
class RoomCreateService : public QObject
{
    Q_OBJECT
public:
    // Returns the realtime gateway's current session id; empty while there is none.
    using SessionIdProvider = std::function<QString()>;
    // Returns the settings object of the saved configuration at an index; empty for
    // -1 and for any index out of range.
    using ConfigProvider = std::function<QJsonObject(int)>;

    explicit RoomCreateService(IHttpClient *http, QObject *parent = nullptr);

    // Installed by the wiring. Without one the join carries an empty session id.
    void setSessionIdProvider(SessionIdProvider provider);
    // Installed by the room assembly. Without one every request body is empty.
    void setConfigProvider(ConfigProvider provider);

public slots:
    // Creates a temporary room from configuration `index` (-1: none) and joins it.
    void createTempRoom(int index);
    // Creates a persistent room from the settings of no configuration; it is not entered.
    void createPersistentRoom();
    // Sign-out: answers to requests sent before are dropped, their rooms not entered.
    void reset();

signals:
    void tempRoomEntering(const QString &roomId);
    // msg is the server's "message", possibly empty.
    void createTempRoomFailed(RoomErrorCode code, const QString &msg);
    void persistentRoomCreated(const QString &roomId, const QString &name);
    void createPersistentRoomFailed(RoomErrorCode code, const QString &msg);

private:
    QJsonObject configObject(int index) const;
    void onTempCreated(const HttpResponse &response);
    void joinCreatedRoom(const QString &roomId);
    void onCreatedRoomJoined(const QString &roomId, const HttpResponse &response);
    // Whether a reply sent under that generation still belongs to the session.
    bool current(quint64 forGeneration) const;

    IHttpClient *http;
    SessionIdProvider sessionIdProvider;
    ConfigProvider configProvider;
    quint64 generation = 0;
};
