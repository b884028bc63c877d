#include "room/room_create_service.h"

#include "net/api_path.h"
#include "net/http_reply.h"
#include "net/i_http_client.h"
#include "room/room_logging.h"

#include <QDebug>
#include <QPointer>

namespace {

// The tail of a failure line: ` status=<n> code="<c>" net_err="<e>" body="<first 512 bytes>"`,
// strings quoted as the log stream quotes them.
QString failedReplySuffix(const HttpResponse &response)
{
    QString out;
    QDebug(&out).nospace() << " status=" << response.status << " code=" << errorCodeOf(response)
                           << " net_err=" << response.error << " body=" << loggedBodyOf(response);
    return out;
}

const QString kRoomIdKey = QStringLiteral("roomId");

} // namespace

RoomCreateService::RoomCreateService(IHttpClient *http, QObject *parent)
    : QObject(parent)
    , http(http)
{
}

void RoomCreateService::setSessionIdProvider(SessionIdProvider provider)
{
    sessionIdProvider = std::move(provider);
}

void RoomCreateService::setConfigProvider(ConfigProvider provider)
{
    configProvider = std::move(provider);
}

QJsonObject RoomCreateService::configObject(int index) const
{
    return configProvider ? configProvider(index) : QJsonObject();
}

void RoomCreateService::createTempRoom(int index)
{
    // The creation carries the settings only; the session id goes with the join that follows.
    QPointer<RoomCreateService> self(this);
    http->post(QStringLiteral("/v1/rooms"), configObject(index), [self](const HttpResponse &response) {
        if (self)
            self->onTempCreated(response);
    });
}

void RoomCreateService::onTempCreated(const HttpResponse &response)
{
    if (!response.isSuccess()) {
        qCWarning(lcRoomCreate).nospace().noquote() << "temp room create failed" << failedReplySuffix(response);
        emit createTempRoomFailed(classifyRoomError(errorCodeOf(response)), errorMessageOf(response));
        return;
    }
    const QString roomId = response.json.value(kRoomIdKey).toString();
    if (roomId.isEmpty()) {
        // Without an id there is no room to join; reporting it beats a join of "/v1/rooms//join".
        qCWarning(lcRoomCreate).nospace() << "temp room created without room id body=" << loggedBodyOf(response);
        emit createTempRoomFailed(RoomErrorCode::Other, QString());
        return;
    }
    qCInfo(lcRoomCreate).nospace() << "temp room created room_id=" << roomId << ", joining";
    joinCreatedRoom(roomId);
}

void RoomCreateService::joinCreatedRoom(const QString &roomId)
{
    const QString sessionId = sessionIdProvider ? sessionIdProvider() : QString();
    QPointer<RoomCreateService> self(this);
    http->post(apiPath(QStringLiteral("/v1/rooms/%1/join"), {roomId}), QJsonObject{{QStringLiteral("sessionId"), sessionId}},
               [self, roomId](const HttpResponse &response) {
                   if (self)
                       self->onCreatedRoomJoined(roomId, response);
               });
}

void RoomCreateService::onCreatedRoomJoined(const QString &roomId, const HttpResponse &response)
{
    if (!response.isSuccess()) {
        qCWarning(lcRoomCreate).nospace() << "created room join failed room_id=" << roomId
                                          << qUtf8Printable(failedReplySuffix(response));
        emit createTempRoomFailed(classifyRoomError(errorCodeOf(response)), errorMessageOf(response));
        return;
    }
    const QString outcome = response.json.value(QLatin1String("outcome")).toString();
    if (outcome == QLatin1String("joined")) {
        qCInfo(lcRoomCreate).nospace() << "entering created room room_id=" << roomId;
        emit tempRoomEntering(roomId);
        return;
    }
    // A created room that would need an approval is not applied for.
    qCWarning(lcRoomCreate).nospace() << "created room join unexpected outcome room_id=" << roomId
                                      << " outcome=" << outcome;
    emit createTempRoomFailed(RoomErrorCode::Other, QString());
}

void RoomCreateService::createPersistentRoom()
{
    const QJsonObject settings = configObject(-1);
    const QString name = settings.value(QLatin1String("roomName")).toString();
    QPointer<RoomCreateService> self(this);
    http->post(QStringLiteral("/v1/rooms/persistent"), settings, [self, name](const HttpResponse &response) {
        if (self)
            self->onPersistentCreated(name, response);
    });
}

void RoomCreateService::onPersistentCreated(const QString &name, const HttpResponse &response)
{
    if (!response.isSuccess()) {
        qCWarning(lcRoomCreate).nospace().noquote() << "persistent room create failed" << failedReplySuffix(response);
        emit createPersistentRoomFailed(classifyRoomError(errorCodeOf(response)), errorMessageOf(response));
        return;
    }
    const QString roomId = response.json.value(kRoomIdKey).toString();
    qCInfo(lcRoomCreate).nospace() << "persistent room created room_id=" << roomId;
    emit persistentRoomCreated(roomId, name);
}
