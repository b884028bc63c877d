#include "room/i_room_storage.h"
#include "room/room_create_config_service.h"
#include "room/room_create_service.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QJsonDocument>
#include <QJsonObject>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;

namespace {

QJsonObject obj(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

class MemoryRoomStorage : public IRoomStorage
{
public:
    QList<RoomCreateConfig> load() override { return stored; }
    void save(const QList<RoomCreateConfig> &configs) override { stored = configs; }
    QList<RoomCreateConfig> stored;
};

// Every result signal as a "name:arg:arg" line, in arrival order.
struct SignalLog
{
    QStringList lines;

    explicit SignalLog(RoomCreateService *service)
    {
        QObject::connect(service, &RoomCreateService::tempRoomEntering, service,
                         [this](const QString &roomId) { lines << "entering:" + roomId; });
        QObject::connect(service, &RoomCreateService::createTempRoomFailed, service,
                         [this](RoomErrorCode code, const QString &msg) {
                             lines << QStringLiteral("tempFailed:%1:%2").arg(int(code)).arg(msg);
                         });
        QObject::connect(service, &RoomCreateService::persistentRoomCreated, service,
                         [this](const QString &roomId, const QString &name) {
                             lines << "persistent:" + roomId + ":" + name;
                         });
        QObject::connect(service, &RoomCreateService::createPersistentRoomFailed, service,
                         [this](RoomErrorCode code, const QString &msg) {
                             lines << QStringLiteral("persistentFailed:%1:%2").arg(int(code)).arg(msg);
                         });
    }
};

// The service joined to a config service the way the room assembly joins them.
struct Fixture
{
    FakeHttpClient http;
    MemoryRoomStorage storage;
    std::unique_ptr<RoomCreateConfigService> configs;
    RoomCreateService service{&http};
    SignalLog log{&service};

    explicit Fixture(const QList<RoomCreateConfig> &saved = {})
    {
        storage.stored = saved;
        configs = std::make_unique<RoomCreateConfigService>(&storage);
        RoomCreateConfigService *raw = configs.get();
        service.setConfigProvider([raw](int index) { return raw->toJson(index); });
    }
};

RoomCreateConfig named(const QString &roomName)
{
    RoomCreateConfig c;
    c.roomName = roomName;
    return c;
}

} // namespace

class RoomCreateServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void creationBody_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QJsonObject>("expected");
        const QJsonObject settings{
            {"bitrate", 64000},         {"accessMode", "public"}, {"requireApproval", false},
            {"codeDirectEntry", true},  {"allowSubRoom", "ask"},  {"allowSubRoomBroadcast", true},
            {"allowSubRoomChat", true},
        };
        QJsonObject withName = settings;
        withName.insert("roomName", "大厅");
        QTest::newRow("configuration with a name") << 0 << withName;
        QTest::newRow("configuration with a blank name") << 1 << settings;
        QTest::newRow("no configuration") << -1 << QJsonObject();
        QTest::newRow("index past the end") << 2 << QJsonObject();
        QTest::newRow("far negative index") << -7 << QJsonObject();
    }

    void creationBody()
    {
        QFETCH(int, index);
        QFETCH(QJsonObject, expected);
        Fixture f({named(" 大厅 "), named("   ")});
        f.service.setSessionIdProvider([] { return QStringLiteral("sess-1"); });

        f.service.createTempRoom(index);

        QCOMPARE(f.http.calls.size(), 1);
        const FakeHttpClient::Call &call = f.http.calls.at(0);
        QCOMPARE(call.method, HttpMethod::Post);
        QCOMPARE(call.path, QStringLiteral("/v1/rooms"));
        // The session id goes with the join, never with the creation.
        QCOMPARE(call.body, expected);
        QVERIFY(!call.body.contains("sessionId"));
        QCOMPARE(call.options.timeoutMs, 0);
    }

    void withoutProvidersBodiesAreEmpty()
    {
        FakeHttpClient http;
        RoomCreateService service(&http);
        SignalLog log(&service);
        service.createTempRoom(0);
        service.createPersistentRoom();
        QCOMPARE(http.calls.at(0).body, QJsonObject());
        QCOMPARE(http.calls.at(1).body, QJsonObject());
        http.reply(0, jsonReply(201, obj("{\"roomId\":\"r1\"}")));
        QCOMPARE(http.calls.at(2).body, (QJsonObject{{"sessionId", ""}}));
    }

    void providerIsAskedForTheRequestedIndex()
    {
        FakeHttpClient http;
        RoomCreateService service(&http);
        QList<int> asked;
        service.setConfigProvider([&asked](int index) {
            asked << index;
            return QJsonObject{{"bitrate", index}};
        });
        service.createTempRoom(3);
        service.createPersistentRoom();
        QCOMPARE(asked, (QList<int>{3, -1}));
        QCOMPARE(http.calls.at(0).body, (QJsonObject{{"bitrate", 3}}));
        QCOMPARE(http.calls.at(1).body, (QJsonObject{{"bitrate", -1}}));
    }

    void createThenJoin_data()
    {
        QTest::addColumn<int>("createStatus");
        QTest::addColumn<QJsonObject>("createBody");
        QTest::addColumn<bool>("joins");
        QTest::addColumn<int>("joinStatus");
        QTest::addColumn<QJsonObject>("joinBody");
        QTest::addColumn<QString>("expected");

        QTest::newRow("create fails") << 403 << obj("{\"code\":\"room.banned\",\"message\":\"被封禁\"}") << false << 0
                                      << QJsonObject() << "tempFailed:2:被封禁";
        QTest::newRow("create fails with unknown code")
            << 500 << obj("{\"code\":\"x\"}") << false << 0 << QJsonObject() << "tempFailed:0:";
        QTest::newRow("create gives no room id")
            << 200 << obj("{\"ok\":true}") << false << 0 << QJsonObject() << "tempFailed:0:";
        QTest::newRow("join fails") << 200 << obj("{\"roomId\":\"r1\"}") << true << 404
                                    << obj("{\"code\":\"room.not_found\",\"message\":\"没了\"}") << "tempFailed:1:没了";
        QTest::newRow("join needs apply") << 200 << obj("{\"roomId\":\"r1\"}") << true << 200
                                          << obj("{\"outcome\":\"needApply\"}") << "tempFailed:0:";
        QTest::newRow("join without outcome")
            << 200 << obj("{\"roomId\":\"r1\"}") << true << 200 << QJsonObject() << "tempFailed:0:";
        QTest::newRow("join outcome compared exactly")
            << 200 << obj("{\"roomId\":\"r1\"}") << true << 200 << obj("{\"outcome\":\"Joined\"}") << "tempFailed:0:";
        QTest::newRow("join without an answer")
            << 200 << obj("{\"roomId\":\"r1\"}") << true << 0 << QJsonObject() << "tempFailed:0:";
        QTest::newRow("success") << 200 << obj("{\"roomId\":\"r1\"}") << true << 200 << obj("{\"outcome\":\"joined\"}")
                                 << "entering:r1";
    }

    void createThenJoin()
    {
        QFETCH(int, createStatus);
        QFETCH(QJsonObject, createBody);
        QFETCH(bool, joins);
        QFETCH(int, joinStatus);
        QFETCH(QJsonObject, joinBody);
        QFETCH(QString, expected);
        Fixture f;
        f.service.setSessionIdProvider([] { return QStringLiteral("sess-7"); });

        f.service.createTempRoom(-1);
        f.http.reply(0, jsonReply(createStatus, createBody));

        QCOMPARE(f.http.calls.size(), joins ? 2 : 1);
        if (joins) {
            const FakeHttpClient::Call &join = f.http.calls.at(1);
            QCOMPARE(join.method, HttpMethod::Post);
            QCOMPARE(join.path, QStringLiteral("/v1/rooms/r1/join"));
            QCOMPARE(join.body, (QJsonObject{{"sessionId", "sess-7"}}));
            QVERIFY(f.log.lines.isEmpty());
            f.http.reply(1, jsonReply(joinStatus, joinBody));
        }
        QCOMPARE(f.log.lines, QStringList{expected});
        // Nothing follows: a created room is neither deleted nor applied for.
        QCOMPARE(f.http.calls.size(), joins ? 2 : 1);
    }

    void joinPathHoldsTheRoomIdAsOneSegment()
    {
        Fixture f;
        f.service.createTempRoom(-1);
        f.http.reply(0, jsonReply(200, obj("{\"roomId\":\"a/b?c#%2\"}")));
        QCOMPARE(f.http.calls.size(), 2);
        QCOMPARE(f.http.calls.at(1).path, QStringLiteral("/v1/rooms/a%2Fb%3Fc%23%252/join"));
    }

    void logLinesOfTheChain()
    {
        LogCapture logs;
        Fixture f;
        f.service.createTempRoom(-1);
        f.http.reply(0, jsonReply(200, obj("{\"roomId\":\"r1\"}")));
        f.http.reply(1, jsonReply(200, obj("{\"outcome\":\"needApply\"}")));
        f.service.createTempRoom(-1);
        f.http.reply(2, jsonReply(200, obj("{\"roomId\":\"r2\"}")));
        f.http.reply(3, jsonReply(404, obj("{\"code\":\"room.not_found\"}")));
        f.service.createTempRoom(-1);
        f.http.reply(4, testsupport::timedOutReply());

        QVERIFY(logs.contains("room.create", "temp room created room_id=\"r1\", joining"));
        QVERIFY(
            logs.contains("room.create", "created room join unexpected outcome room_id=\"r1\" outcome=\"needApply\""));
        QVERIFY(logs.contains(
            "room.create",
            "created room join failed room_id=\"r2\" status=404 code=\"room.not_found\" net_err=\"\" body="));
        QVERIFY(logs.contains("room.create", "temp room create failed status=0 code=\"\" net_err=\""));
    }

    void persistentRoom_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("created, not entered")
            << 200 << obj("{\"roomId\":\"p1\",\"roomName\":\"server name\"}") << "persistent:p1:";
        QTest::newRow("failed") << 404 << obj("{\"code\":\"room.not_in_room\",\"message\":\"m\"}")
                                << "persistentFailed:3:m";
        QTest::newRow("no answer") << 0 << QJsonObject() << "persistentFailed:0:";
    }

    void persistentRoom()
    {
        QFETCH(int, status);
        QFETCH(QJsonObject, reply);
        QFETCH(QString, expected);
        // Saved configurations exist, but a persistent room takes none of them.
        Fixture f({named("大厅")});
        f.service.createPersistentRoom();
        QCOMPARE(f.http.calls.size(), 1);
        QCOMPARE(f.http.calls.at(0).path, QStringLiteral("/v1/rooms/persistent"));
        QCOMPARE(f.http.calls.at(0).body, QJsonObject());

        f.http.reply(0, jsonReply(status, reply));
        QCOMPARE(f.log.lines, QStringList{expected});
        QCOMPARE(f.http.calls.size(), 1);
    }

    void persistentRoomCarriesTheNameItSent()
    {
        FakeHttpClient http;
        RoomCreateService service(&http);
        SignalLog log(&service);
        service.setConfigProvider([](int) { return QJsonObject{{"roomName", "常驻"}}; });
        service.createPersistentRoom();
        http.reply(0, jsonReply(200, obj("{\"roomId\":\"p1\"}")));
        QCOMPARE(log.lines, QStringList{"persistent:p1:常驻"});
    }

    void replyAfterTheServiceIsGoneIsDropped()
    {
        FakeHttpClient http;
        auto *service = new RoomCreateService(&http);
        service->createTempRoom(-1);
        service->createPersistentRoom();
        delete service;
        http.reply(0, jsonReply(200, obj("{\"roomId\":\"r1\"}")));
        http.reply(1, jsonReply(200, obj("{\"roomId\":\"p1\"}")));
        QCOMPARE(http.calls.size(), 2);
    }
};

KESTOVA_TEST_MAIN(RoomCreateServiceTest)
#include "test_room_create_service.moc"
