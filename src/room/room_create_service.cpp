#include "room/room_create_service.h"

#include "net/api_path.h"
#include "net/http_reply.h"
#include "room/room_logging.h"
#include "room/room_request.h"

namespace {
const QString kRoomIdKey = QStringLiteral("roomId");
}

RoomCreateService::RoomCreateService(IHttpClient *http_, QObject *parent)
    : QObject(parent)
    , http(http_)
{}

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

void RoomCreateService::reset()
{
    ++generation;
}

bool RoomCreateService::current(quint64 forGeneration) const
{
    if (forGeneration == generation)
        return true;
    qCInfo(lcRoomCreate) << "create reply dropped after reset";
    return false;
}

void RoomCreateService::createTempRoom(int index)
{
    // The creation carries the settings only; the session id goes with the join that follows.
    RoomRequest request;
    request.path = QStringLiteral("/v1/rooms");
    request.body = configObject(index);
    request.failureLead = QStringLiteral("temp room create failed");
    const quint64 g = generation;
    sendRoomRequest(
        http, lcRoomCreate, this, std::move(request),
        [this, g](const HttpResponse &response) {
            if (current(g))
                onTempCreated(response);
        },
        [this, g](const RoomRequestError &error) {
            if (current(g))
                emit createTempRoomFailed(error.code, error.message);
        });
}

void RoomCreateService::onTempCreated(const HttpResponse &response)
{
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
    RoomRequest request;
    request.path = apiPath(QStringLiteral("/v1/rooms/%1/join"), {roomId});
    request.body = QJsonObject{{QStringLiteral("sessionId"), sessionIdProvider ? sessionIdProvider() : QString()}};
    request.failureLead = logText("created room join failed room_id=", roomId);
    const quint64 g = generation;
    sendRoomRequest(
        http, lcRoomCreate, this, std::move(request),
        [this, g, roomId](const HttpResponse &response) {
            if (current(g))
                onCreatedRoomJoined(roomId, response);
        },
        [this, g](const RoomRequestError &error) {
            if (current(g))
                emit createTempRoomFailed(error.code, error.message);
        });
}

void RoomCreateService::onCreatedRoomJoined(const QString &roomId, const HttpResponse &response)
{
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
    RoomRequest request;
    request.path = QStringLiteral("/v1/rooms/persistent");
    request.body = configObject(-1);
    request.failureLead = QStringLiteral("persistent room create failed");
    const QString name = request.body.value(QLatin1String("roomName")).toString();
    const quint64 g = generation;
    sendRoomRequest(
        http, lcRoomCreate, this, std::move(request),
        [this, g, name](const HttpResponse &response) {
            if (!current(g))
                return;
            const QString roomId = response.json.value(kRoomIdKey).toString();
            qCInfo(lcRoomCreate).nospace() << "persistent room created room_id=" << roomId;
            emit persistentRoomCreated(roomId, name);
        },
        [this, g](const RoomRequestError &error) {
            if (current(g))
                emit createPersistentRoomFailed(error.code, error.message);
        });
}
