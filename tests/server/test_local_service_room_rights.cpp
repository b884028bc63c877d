// Every room, chat and media request is checked against the caller's rights: what the
// caller's role, a ban or a mute does not allow is refused with 403, bad input with 400,
// and neither changes anything.
#include "client_language.h"
#include "local_service_rig.h"

#include "server/api_types.h"
#include "server/rooms_api.h"
#include "server/service_state.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

using servertest::isChinese;
using servertest::ServiceRig;

namespace {

struct Answer
{
    int status = 0;
    QJsonObject json;
};

} // namespace

class LocalServiceRoomRightsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void refusedRequestsChangeNothing_data();
    void refusedRequestsChangeNothing();
    void moderatorActsBelowItsRankOnly();
    void historyPagesAndUnreadCounts();
    void roleKeeperManagesRolesBelowItsOwnOnly();
    void channelRoleKeeperManagesRolesBelowItsOwnOnly();

private:
    Answer call(const QString &actor, const QByteArray &method, const QString &path, const QJsonObject &body = {},
                const QByteArray &rawBody = {});
    QString signUp(const QString &phone);
    QString fill(QString text) const;
    QByteArray snapshotOfState() const;

    ServiceRig *rig = nullptr;
    QHash<QString, QString> tokens; // actor name -> access token
    QHash<QString, QString> ids;    // actor name -> user id, and named things -> ids
};

Answer LocalServiceRoomRightsTest::call(const QString &actor, const QByteArray &method, const QString &path,
                                        const QJsonObject &body, const QByteArray &rawBody)
{
    localservice::ApiRequest request;
    request.method = method;
    const QUrl url(path);
    request.path = url.path();
    request.query = QUrlQuery(url);
    request.body = rawBody.isEmpty() ? QJsonDocument(body).toJson(QJsonDocument::Compact) : rawBody;
    if (!actor.isEmpty())
        request.headers.append({"Authorization", "Bearer " + tokens.value(actor).toLatin1()});
    const localservice::ApiReply reply = rig->service->handle(request);
    return Answer{reply.status, QJsonDocument::fromJson(reply.body).object()};
}

QString LocalServiceRoomRightsTest::signUp(const QString &phone)
{
    QSignalSpy codes(rig->service.get(), &localservice::LocalService::codeSent);
    call(QString(), "POST", QStringLiteral("/v1/auth/send-code"), {{"phone", phone}});
    const Answer login = call(QString(), "POST", QStringLiteral("/v1/auth/login"),
                              {{"phone", phone},
                               {"code", codes.value(0).value(1).toString()},
                               {"deviceId", "d"},
                               {"agreedLegalVersion", "terms@local-1+privacy@local-1"}});
    tokens.insert(phone, login.json.value("accessToken").toString());
    return login.json.value("userId").toString();
}

QString LocalServiceRoomRightsTest::fill(QString text) const
{
    for (auto it = ids.begin(); it != ids.end(); ++it)
        text.replace(QLatin1Char('{') + it.key() + QLatin1Char('}'), it.value());
    return text;
}

QByteArray LocalServiceRoomRightsTest::snapshotOfState() const
{
    QJsonObject all = rig->service->state().world.toJson();
    QJsonObject presence;
    for (const localservice::Room &room : rig->service->state().world.rooms)
        presence.insert(room.id, QJsonArray::fromStringList(room.present));
    all.insert("presence", presence);
    return QJsonDocument(all).toJson(QJsonDocument::Compact);
}

void LocalServiceRoomRightsTest::initTestCase()
{
    rig = new ServiceRig;
    QVERIFY(rig->start());
    // Actors are named by their phone numbers' role: owner, moderator, member, banned,
    // outsider, muted.
    const QStringList actors{"owner", "moderator", "member", "banned", "outsider", "muted"};
    for (int i = 0; i < actors.size(); ++i) {
        const QString phone = QStringLiteral("1390013900%1").arg(i);
        ids.insert(actors.at(i), signUp(phone));
        tokens.insert(actors.at(i), tokens.take(phone));
        QVERIFY(!ids.value(actors.at(i)).isEmpty());
    }
    const Answer created = call("owner", "POST", "/v1/rooms/persistent");
    QCOMPARE(created.status, 200);
    ids.insert("room", created.json.value("roomId").toString());
    const Answer channel = call("owner", "POST", "/v1/channels", {{"name", "rights"}});
    QCOMPARE(channel.status, 200);
    ids.insert("channel", channel.json.value("channelId").toString());
    QCOMPARE(call("owner", "POST", fill("/v1/rooms/{room}/join"), {{"sessionId", "s-owner"}}).status, 200);
    for (const char *who : {"moderator", "member", "banned", "muted"})
        QCOMPARE(
            call(who, "POST", fill("/v1/rooms/{room}/join"), {{"sessionId", "s"}}).json.value("outcome").toString(),
            QStringLiteral("joined"));
    QCOMPARE(call("owner", "PUT", fill("/v1/rooms/{room}/members/{moderator}/role"), {{"roleId", 2}}).status, 200);
    QCOMPARE(call("owner", "PUT", fill("/v1/rooms/{room}/bans/{banned}")).status, 200);
    QCOMPARE(call("owner", "PUT", fill("/v1/rooms/{room}/members/{muted}/mutes/text")).status, 200);
    const Answer ownerMessage = call("owner", "POST", fill("/v1/im/rooms/{room}/messages"), {{"content", "rules"}});
    QCOMPARE(ownerMessage.status, 200);
    ids.insert("ownerMessage", ownerMessage.json.value("messageId").toString());
    const Answer memberMessage = call("member", "POST", fill("/v1/im/rooms/{room}/messages"), {{"content", "hi"}});
    QCOMPARE(memberMessage.status, 200);
    ids.insert("memberMessage", memberMessage.json.value("messageId").toString());
    const Answer request = call("outsider", "POST", fill("/v1/rooms/{room}/join-requests"));
    QCOMPARE(request.status, 200);
    ids.insert("request", request.json.value("requestId").toString());
    // An image of the owner's, announced for this room.
    const Answer ticket =
        call("owner", "POST", fill("/v1/im/rooms/{room}/attachments"),
             {{"fileName", "a.png"}, {"contentType", "image/png"}, {"sizeBytes", 4}, {"width", 1}, {"height", 1}});
    QCOMPARE(ticket.status, 200);
    ids.insert("ownerImage", ticket.json.value("attachmentId").toString());
    const QUrl upload(ticket.json.value("uploadUrl").toString());
    QCOMPARE(call(QString(), "PUT", upload.path() + "?" + upload.query(), {}, QByteArray("\x89PNG", 4)).status, 200);
}

void LocalServiceRoomRightsTest::cleanupTestCase()
{
    delete rig;
}

void LocalServiceRoomRightsTest::refusedRequestsChangeNothing_data()
{
    QTest::addColumn<QString>("actor");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code");

    const QString forbidden = QStringLiteral("room.forbidden");
    // A member's role offers no moderation, no role or settings changes.
    QTest::newRow("member kicks the owner")
        << "member" << QByteArray("DELETE") << "/v1/rooms/{room}/members/{owner}" << QByteArray() << 403 << forbidden;
    QTest::newRow("member kicks a member")
        << "member" << QByteArray("DELETE") << "/v1/rooms/{room}/members/{muted}" << QByteArray() << 403 << forbidden;
    QTest::newRow("member bans") << "member" << QByteArray("PUT") << "/v1/rooms/{room}/bans/{muted}" << QByteArray()
                                 << 403 << forbidden;
    QTest::newRow("member lifts a ban") << "member" << QByteArray("DELETE") << "/v1/rooms/{room}/bans/{banned}"
                                        << QByteArray() << 403 << forbidden;
    QTest::newRow("member mutes voice") << "member" << QByteArray("PUT")
                                        << "/v1/rooms/{room}/members/{muted}/mutes/voice" << QByteArray() << 403
                                        << forbidden;
    QTest::newRow("member lifts a text mute")
        << "member" << QByteArray("DELETE") << "/v1/rooms/{room}/members/{muted}/mutes/text" << QByteArray() << 403
        << forbidden;
    QTest::newRow("member gives itself a role")
        << "member" << QByteArray("PUT") << "/v1/rooms/{room}/members/{member}/role" << QByteArray(R"({"roleId":-1})")
        << 403 << forbidden;
    QTest::newRow("member changes the bitrate") << "member" << QByteArray("PATCH") << "/v1/rooms/{room}/settings"
                                                << QByteArray(R"({"bitrate":128000})") << 403 << forbidden;
    QTest::newRow("member renames the room") << "member" << QByteArray("PATCH") << "/v1/rooms/{room}/settings"
                                             << QByteArray(R"({"roomName":"mine"})") << 403 << forbidden;
    QTest::newRow("member creates a role") << "member" << QByteArray("POST") << "/v1/rooms/{room}/roles"
                                           << QByteArray(R"({"name":"vip","permissions":{}})") << 403 << forbidden;
    QTest::newRow("member switches the room code") << "member" << QByteArray("PATCH") << "/v1/rooms/{room}/room-code"
                                                   << QByteArray(R"({"enabled":false})") << 403 << forbidden;
    QTest::newRow("member deletes the room")
        << "member" << QByteArray("DELETE") << "/v1/rooms/{room}" << QByteArray() << 403 << forbidden;
    QTest::newRow("member approves a request")
        << "member" << QByteArray("POST") << "/v1/rooms/{room}/join-requests/{request}/approve" << QByteArray() << 403
        << forbidden;
    QTest::newRow("member cancels another's request")
        << "member" << QByteArray("DELETE") << "/v1/rooms/{room}/join-requests/{request}" << QByteArray() << 403
        << forbidden;
    QTest::newRow("member switches tags") << "member" << QByteArray("PUT") << "/v1/im/rooms/{room}/tag-config"
                                          << QByteArray(R"({"enabled":true})") << 403 << forbidden;
    // Other users' messages.
    QTest::newRow("member hides the owner's message")
        << "member" << QByteArray("PATCH") << "/v1/im/rooms/{room}/messages/{ownerMessage}"
        << QByteArray(R"({"hidden":true})") << 403 << forbidden;
    QTest::newRow("member retags the owner's message")
        << "member" << QByteArray("PATCH") << "/v1/im/rooms/{room}/messages/{ownerMessage}/tag"
        << QByteArray(R"({"tagId":0})") << 403 << forbidden;
    QTest::newRow("moderator hides the owner's message")
        << "moderator" << QByteArray("PATCH") << "/v1/im/rooms/{room}/messages/{ownerMessage}"
        << QByteArray(R"({"hidden":true})") << 403 << forbidden;
    QTest::newRow("member sends the owner's image")
        << "member" << QByteArray("POST") << "/v1/im/rooms/{room}/messages"
        << QByteArray(R"({"content":"x","attachmentIds":["{ownerImage}"]})") << 400 << "chat.invalid_attachment";
    // A moderator acts below its own rank only.
    QTest::newRow("moderator kicks the owner")
        << "moderator" << QByteArray("DELETE") << "/v1/rooms/{room}/members/{owner}" << QByteArray() << 403
        << forbidden;
    QTest::newRow("moderator makes a member owner")
        << "moderator" << QByteArray("PUT") << "/v1/rooms/{room}/members/{member}/role"
        << QByteArray(R"({"roleId":-1})") << 403 << forbidden;
    // The owner's role is the owner's alone, and a reorder names each other role once.
    QTest::newRow("member reorders roles") << "member" << QByteArray("POST") << "/v1/rooms/{room}/roles/reorder"
                                           << QByteArray(R"({"roleIds":[2,3]})") << 403 << forbidden;
    QTest::newRow("owner hands out the owner's role")
        << "owner" << QByteArray("PUT") << "/v1/rooms/{room}/members/{member}/role" << QByteArray(R"({"roleId":-1})")
        << 403 << forbidden;
    QTest::newRow("owner's role in a reorder") << "owner" << QByteArray("POST") << "/v1/rooms/{room}/roles/reorder"
                                               << QByteArray(R"({"roleIds":[3,-1]})") << 400 << "room.invalid_order";
    QTest::newRow("role named twice in a reorder") << "owner" << QByteArray("POST") << "/v1/rooms/{room}/roles/reorder"
                                                   << QByteArray(R"({"roleIds":[3,3]})") << 400 << "room.invalid_order";
    QTest::newRow("empty reorder") << "owner" << QByteArray("POST") << "/v1/rooms/{room}/roles/reorder"
                                   << QByteArray(R"({"roleIds":[]})") << 400 << "room.invalid_order";
    QTest::newRow("owner's role deleted")
        << "owner" << QByteArray("DELETE") << "/v1/rooms/{room}/roles/-1" << QByteArray() << 400 << "room.role_in_use";
    QTest::newRow("members moved into the owner's role")
        << "owner" << QByteArray("POST") << "/v1/rooms/{room}/roles/reassign"
        << QByteArray(R"({"fromRoleId":3,"toRoleId":-1})") << 400 << "room.role_not_found";
    // A ban shuts every door of the room.
    QTest::newRow("banned joins") << "banned" << QByteArray("POST") << "/v1/rooms/{room}/join"
                                  << QByteArray(R"({"sessionId":"s"})") << 403 << "room.banned";
    QTest::newRow("banned writes") << "banned" << QByteArray("POST") << "/v1/im/rooms/{room}/messages"
                                   << QByteArray(R"({"content":"back"})") << 403 << "room.banned";
    QTest::newRow("banned reads history")
        << "banned" << QByteArray("GET") << "/v1/im/rooms/{room}/messages" << QByteArray() << 403 << "room.banned";
    QTest::newRow("banned follows the chat")
        << "banned" << QByteArray("PUT") << "/v1/users/me/chat-subscriptions/{room}" << QByteArray("{}") << 403
        << "room.banned";
    QTest::newRow("banned asks to join") << "banned" << QByteArray("POST") << "/v1/rooms/{room}/join-requests"
                                         << QByteArray() << 403 << "room.banned";
    QTest::newRow("banned asks for a media token") << "banned" << QByteArray("POST") << "/v1/rooms/{room}/livekit-token"
                                                   << QByteArray("{}") << 403 << "room.banned";
    // Somebody who is not in the room.
    QTest::newRow("outsider writes") << "outsider" << QByteArray("POST") << "/v1/im/rooms/{room}/messages"
                                     << QByteArray(R"({"content":"hey"})") << 403 << "room.not_in_room";
    QTest::newRow("outsider asks for a media token")
        << "outsider" << QByteArray("POST") << "/v1/rooms/{room}/livekit-token" << QByteArray("{}") << 403
        << "room.not_in_room";
    QTest::newRow("outsider leaves") << "outsider" << QByteArray("DELETE") << "/v1/rooms/{room}/members/me"
                                     << QByteArray() << 403 << "room.not_in_room";
    // A text mute silences the chat.
    QTest::newRow("muted writes") << "muted" << QByteArray("POST") << "/v1/im/rooms/{room}/messages"
                                  << QByteArray(R"({"content":"psst"})") << 403 << "room.text_muted";
    QTest::newRow("muted announces an image")
        << "muted" << QByteArray("POST") << "/v1/im/rooms/{room}/attachments"
        << QByteArray(R"({"fileName":"b.png","contentType":"image/png","sizeBytes":4,"width":1,"height":1})") << 403
        << "room.text_muted";
    // Bad input, even from the owner, changes nothing.
    QTest::newRow("bitrate not offered") << "owner" << QByteArray("PATCH") << "/v1/rooms/{room}/settings"
                                         << QByteArray(R"({"bitrate":12345})") << 400 << "room.invalid_settings";
    QTest::newRow("one bad setting among good ones")
        << "owner" << QByteArray("PATCH") << "/v1/rooms/{room}/settings"
        << QByteArray(R"({"roomName":"new","accessMode":"secret"})") << 400 << "room.invalid_settings";
    QTest::newRow("unknown permission") << "owner" << QByteArray("POST") << "/v1/rooms/{room}/roles"
                                        << QByteArray(R"({"name":"x","permissions":{"core.room.everything":true}})")
                                        << 400 << "room.invalid_role";
    QTest::newRow("role that does not exist")
        << "owner" << QByteArray("PUT") << "/v1/rooms/{room}/members/{member}/role" << QByteArray(R"({"roleId":99})")
        << 400 << "room.role_not_found";
    QTest::newRow("empty message") << "owner" << QByteArray("POST") << "/v1/im/rooms/{room}/messages"
                                   << QByteArray(R"({"content":"   "})") << 400 << "chat.empty_message";
    QTest::newRow("message in a missing tag")
        << "owner" << QByteArray("POST") << "/v1/im/rooms/{room}/messages" << QByteArray(R"({"content":"a","tagId":7})")
        << 400 << "chat.tag_not_found";
    QTest::newRow("read cursor beyond the chat")
        << "owner" << QByteArray("PUT") << "/v1/im/rooms/{room}/read-cursor" << QByteArray(R"({"tagKey":0,"seq":999})")
        << 400 << "chat.invalid_cursor";
    QTest::newRow("image of an unknown type")
        << "owner" << QByteArray("POST") << "/v1/im/rooms/{room}/attachments"
        << QByteArray(
               R"({"fileName":"a.exe","contentType":"application/x-msdownload","sizeBytes":4,"width":1,"height":1})")
        << 400 << "chat.invalid_attachment";
    QTest::newRow("malformed body") << "owner" << QByteArray("PATCH") << "/v1/rooms/{room}/settings"
                                    << QByteArray("{\"bitrate\":") << 400 << "request.malformed_json";
    // A blank body reads as {} where a request may leave everything out, but a message
    // needs one; a list of role ids holds whole numbers only.
    QTest::newRow("blank settings") << "owner" << QByteArray("PATCH") << "/v1/rooms/{room}/settings" << QByteArray(" ")
                                    << 400 << "room.invalid_settings";
    QTest::newRow("blank message") << "owner" << QByteArray("POST") << "/v1/im/rooms/{room}/messages" << QByteArray(" ")
                                   << 400 << "request.malformed_json";
    QTest::newRow("message body not an object") << "owner" << QByteArray("POST") << "/v1/im/rooms/{room}/messages"
                                                << QByteArray("[]") << 400 << "request.malformed_json";
    QTest::newRow("fraction in a reorder") << "owner" << QByteArray("POST") << "/v1/rooms/{room}/roles/reorder"
                                           << QByteArray(R"({"roleIds":[2,3.5]})") << 400 << "room.invalid_order";
    QTest::newRow("channel body not an object") << "owner" << QByteArray("PATCH") << "/v1/channels/{channel}"
                                                << QByteArray("[]") << 400 << "request.malformed_json";
    QTest::newRow("blank channel role order") << "owner" << QByteArray("PUT") << "/v1/channels/{channel}/role-order"
                                              << QByteArray(" ") << 400 << "channel.invalid_order";
    QTest::newRow("fraction in a channel role order")
        << "owner" << QByteArray("PUT") << "/v1/channels/{channel}/role-order" << QByteArray(R"({"roleIds":[2,3.5]})")
        << 400 << "channel.invalid_order";
    // This service runs without the media server: voice is refused with the reason.
    QTest::newRow("voice while the media server is off")
        << "owner" << QByteArray("POST") << "/v1/rooms/{room}/livekit-token" << QByteArray("{}") << 503
        << "media.unavailable";
    QTest::newRow("unknown room") << "owner" << QByteArray("POST") << "/v1/rooms/nope/join" << QByteArray("{}") << 404
                                  << "room.not_found";
    QTest::newRow("unknown code") << "outsider" << QByteArray("POST") << "/v1/match/code"
                                  << QByteArray(R"({"code":"000000x","sessionId":""})") << 404 << "match.invalid_code";
}

void LocalServiceRoomRightsTest::refusedRequestsChangeNothing()
{
    QFETCH(QString, actor);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, code);

    const QByteArray before = snapshotOfState();
    const Answer answer = call(actor, method, fill(path), {}, fill(QString::fromUtf8(body)).toUtf8());
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.json.value("code").toString(), code);
    // The client shows the message as it is, inside a Chinese interface.
    QVERIFY2(isChinese(answer.json.value("message").toString()), qPrintable(answer.json.value("message").toString()));
    QCOMPARE(snapshotOfState(), before);
}

void LocalServiceRoomRightsTest::moderatorActsBelowItsRankOnly()
{
    // The moderator may mute a member, and the mute shows in the room's snapshot.
    QCOMPARE(call("moderator", "PUT", fill("/v1/rooms/{room}/members/{member}/mutes/voice")).status, 200);
    const std::optional<QJsonObject> snapshot =
        rig->service->rooms()->publicSnapshot(ids.value("owner"), ids.value("room"));
    QVERIFY(snapshot);
    const QJsonArray mutes = snapshot->value("mutes").toArray();
    QVERIFY(std::any_of(mutes.begin(), mutes.end(), [this](const QJsonValue &m) {
        return m.toObject().value("userId").toString() == ids.value("member")
               && m.toObject().value("variant").toString() == QLatin1String("voice");
    }));
    // A voice-muted member is told not to publish.
    QCOMPARE(call("moderator", "DELETE", fill("/v1/rooms/{room}/members/{member}/mutes/voice")).status, 200);
    // The moderator may hide a member's message, which then reads empty in history.
    QCOMPARE(
        call("moderator", "PATCH", fill("/v1/im/rooms/{room}/messages/{memberMessage}"), {{"hidden", true}}).status,
        200);
    const Answer page = call("owner", "GET", fill("/v1/im/rooms/{room}/messages"));
    const QJsonArray history = page.json.value("history").toArray();
    const auto hidden = std::find_if(history.begin(), history.end(), [this](const QJsonValue &m) {
        return m.toObject().value("messageId").toString() == ids.value("memberMessage");
    });
    QVERIFY(hidden != history.end());
    QVERIFY(hidden->toObject().value("hidden").toBool());
    QVERIFY(hidden->toObject().value("content").toString().isEmpty());
}

void LocalServiceRoomRightsTest::historyPagesAndUnreadCounts()
{
    // A room of its own, with tags switched on and a thread of three posts.
    const Answer created = call("owner", "POST", "/v1/rooms/persistent");
    const QString room = created.json.value("roomId").toString();
    QCOMPARE(call("owner", "POST", "/v1/rooms/" + room + "/join", {{"sessionId", "x"}}).status, 200);
    QCOMPARE(call("member", "POST", "/v1/rooms/" + room + "/join", {{"sessionId", "y"}}).status, 200);
    QCOMPARE(call("owner", "PUT", "/v1/im/rooms/" + room + "/tag-config", {{"enabled", true}}).status, 200);
    const Answer tag = call("owner", "POST", "/v1/im/rooms/" + room + "/tags",
                            {{"name", "plans"}, {"title", "Saturday"}, {"content", "who comes?"}});
    QCOMPARE(tag.status, 200);
    const qint64 tagId = tag.json.value("tagId").toInteger();
    for (int i = 0; i < 60; ++i)
        QCOMPARE(call("owner", "POST", "/v1/im/rooms/" + room + "/messages", {{"content", QString::number(i)}}).status,
                 200);
    QCOMPARE(call("owner", "POST", "/v1/im/rooms/" + room + "/messages", {{"content", "me"}, {"tagId", tagId}}).status,
             200);

    // The latest page runs newest first; the older one continues below it.
    const QJsonArray latest =
        call("member", "GET", "/v1/im/rooms/" + room + "/messages").json.value("history").toArray();
    QCOMPARE(latest.size(), 50);
    QCOMPARE(latest.first().toObject().value("seq").toInteger(), 62);
    QCOMPARE(latest.last().toObject().value("seq").toInteger(), 13);
    const QJsonArray older =
        call("member", "GET", "/v1/im/rooms/" + room + "/messages?beforeSeq=13").json.value("history").toArray();
    QCOMPARE(older.size(), 12);
    QCOMPARE(older.last().toObject().value("seq").toInteger(), 1);
    // A thread page runs forward after the given position.
    const QJsonArray thread =
        call("member", "GET", QStringLiteral("/v1/im/rooms/%1/messages?tagId=%2&afterSeq=0").arg(room).arg(tagId))
            .json.value("history")
            .toArray();
    QCOMPARE(thread.size(), 2);
    QCOMPARE(thread.first().toObject().value("title").toString(), QStringLiteral("Saturday"));

    // Two unread posts in the tag for the member; after its cursor, none.
    const auto unreadOf = [&](const QString &who) {
        const QJsonArray list = call(who, "GET", "/v1/im/rooms/" + room + "/unread").json.value("unread").toArray();
        return list.isEmpty() ? qint64(-1) : list.first().toObject().value("unread").toInteger();
    };
    QCOMPARE(unreadOf("member"), 2);
    QCOMPARE(unreadOf("owner"), 0);
    QCOMPARE(call("member", "PUT", "/v1/im/rooms/" + room + "/read-cursor", {{"tagKey", tagId}, {"seq", 62}}).status,
             200);
    QCOMPARE(unreadOf("member"), 0);
    // An older position reported late does not move the cursor back.
    QCOMPARE(call("member", "PUT", "/v1/im/rooms/" + room + "/read-cursor", {{"tagKey", tagId}, {"seq", 1}}).status,
             200);
    QCOMPARE(unreadOf("member"), 0);
}

void LocalServiceRoomRightsTest::roleKeeperManagesRolesBelowItsOwnOnly()
{
    // A room of its own: the owner makes the moderator keeper of the roles, ranked
    // above every role but the owner's, with a helper role further down.
    const QString room = call("owner", "POST", "/v1/rooms/persistent").json.value("roomId").toString();
    const QString roles = "/v1/rooms/" + room + "/roles";
    for (const char *who : {"owner", "moderator", "member"})
        QCOMPARE(call(who, "POST", "/v1/rooms/" + room + "/join", {{"sessionId", "k"}}).status, 200);
    const QJsonObject rights{{"core.room.manage_roles", true}, {"core.room.assign_roles", true}};
    const Answer keeper = call("owner", "POST", roles, {{"name", "keeper"}, {"permissions", rights}});
    const Answer helper = call("owner", "POST", roles, {{"name", "helper"}, {"permissions", QJsonObject{}}});
    QCOMPARE(keeper.status, 200);
    QCOMPARE(helper.status, 200);
    const qint64 keeperId = keeper.json.value("roleId").toInteger();
    const qint64 helperId = helper.json.value("roleId").toInteger();
    QCOMPARE(call("owner", "POST", roles + "/reorder", {{"roleIds", QJsonArray{3, helperId, 2, keeperId}}}).status,
             200);
    QCOMPARE(call("owner", "PUT", "/v1/rooms/" + room + "/members/" + ids.value("moderator") + "/role",
                  {{"roleId", keeperId}})
                 .status,
             200);
    const QString toMember = "/v1/rooms/" + room + "/members/" + ids.value("member") + "/role";

    // Each way of managing roles is refused for the keeper's own role and allowed below it.
    const QJsonObject renamed{{"name", "renamed"}, {"permissions", QJsonObject{}}};
    QCOMPARE(call("moderator", "PATCH", roles + "/" + QString::number(keeperId), renamed).status, 403);
    QCOMPARE(call("moderator", "PATCH", roles + "/" + QString::number(helperId), renamed).status, 200);
    QCOMPARE(call("moderator", "PUT", toMember, {{"roleId", keeperId}}).status, 403);
    QCOMPARE(call("moderator", "PUT", toMember, {{"roleId", helperId}}).status, 200);
    QCOMPARE(call("moderator", "POST", roles + "/reassign", {{"fromRoleId", helperId}, {"toRoleId", keeperId}}).status,
             403);
    QCOMPARE(call("moderator", "POST", roles + "/reassign", {{"fromRoleId", helperId}, {"toRoleId", 3}}).status, 200);
    QCOMPARE(call("moderator", "POST", roles + "/reorder", {{"roleIds", QJsonArray{helperId, keeperId}}}).status, 403);
    QCOMPARE(call("moderator", "POST", roles + "/reorder", {{"roleIds", QJsonArray{helperId, 3}}}).status, 200);
    QCOMPARE(call("moderator", "DELETE", roles + "/" + QString::number(keeperId)).status, 403);
    QCOMPARE(call("moderator", "DELETE", roles + "/" + QString::number(helperId)).status, 200);
}

void LocalServiceRoomRightsTest::channelRoleKeeperManagesRolesBelowItsOwnOnly()
{
    // A channel of its own, ranked as the room above: the moderator keeps the roles,
    // above every role but the owner's, with a helper role further down.
    const Answer created = call("owner", "POST", "/v1/channels", {{"name", "keepers"}});
    const QString channel = "/v1/channels/" + created.json.value("channelId").toString();
    for (const char *who : {"moderator", "member"})
        QCOMPARE(call(who, "POST", "/v1/match/code", {{"code", created.json.value("code")}}).status, 200);
    const QJsonArray rights{"core.channel.manage_roles", "core.channel.assign_roles"};
    const Answer keeper = call("owner", "POST", channel + "/roles", {{"name", "keeper"}, {"permissions", rights}});
    const Answer helper =
        call("owner", "POST", channel + "/roles", {{"name", "helper"}, {"permissions", QJsonArray{}}});
    QCOMPARE(keeper.status, 200);
    QCOMPARE(helper.status, 200);
    const qint64 keeperId = keeper.json.value("roleId").toInteger();
    const qint64 helperId = helper.json.value("roleId").toInteger();
    const auto role = [&channel](qint64 roleId) { return channel + "/roles/" + QString::number(roleId); };
    QCOMPARE(call("owner", "PUT", channel + "/role-order", {{"roleIds", QJsonArray{3, helperId, 2, keeperId}}}).status,
             200);
    QCOMPARE(
        call("owner", "PUT", channel + "/members/" + ids.value("moderator") + "/role", {{"roleId", keeperId}}).status,
        200);
    const QString toMember = channel + "/members/" + ids.value("member") + "/role";

    // Each way of managing roles is refused for the keeper's own role and allowed below it.
    const QJsonObject renamed{{"name", "renamed"}, {"permissions", QJsonArray{}}};
    QCOMPARE(call("moderator", "PATCH", role(keeperId), renamed).status, 403);
    QCOMPARE(call("moderator", "PATCH", role(helperId), renamed).status, 200);
    QCOMPARE(call("moderator", "PUT", toMember, {{"roleId", keeperId}}).status, 403);
    QCOMPARE(call("moderator", "PUT", toMember, {{"roleId", helperId}}).status, 200);
    QCOMPARE(call("moderator", "POST", role(helperId) + "/reassign", {{"toRoleId", keeperId}}).status, 403);
    QCOMPARE(call("moderator", "POST", role(helperId) + "/reassign", {{"toRoleId", 3}}).status, 200);
    QCOMPARE(call("moderator", "PUT", channel + "/role-order", {{"roleIds", QJsonArray{helperId, keeperId}}}).status,
             403);
    QCOMPARE(call("moderator", "PUT", channel + "/role-order", {{"roleIds", QJsonArray{helperId, 3}}}).status, 200);
    QCOMPARE(call("moderator", "DELETE", role(keeperId)).status, 403);
    QCOMPARE(call("moderator", "DELETE", role(helperId)).status, 200);
}

KESTOVA_TEST_MAIN(LocalServiceRoomRightsTest)
#include "test_local_service_room_rights.moc"
