#include "channel/channel_actions_service.h"
#include "channel/channel_assembly.h"
#include "channel/channel_entity_feed.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <functional>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;

using Operation = std::function<void(ChannelActionsService &)>;
Q_DECLARE_METATYPE(Operation)

namespace {

// The outcome a plain result callback saw.
struct Result
{
    int calls = 0;
    bool ok = false;
    ChannelErrorCode code = ChannelErrorCode::Other;
    QString message;

    ChannelActionsService::ResultCallback callback()
    {
        return [this](bool okArg, ChannelErrorCode codeArg, const QString &messageArg) {
            ++calls;
            ok = okArg;
            code = codeArg;
            message = messageArg;
        };
    }
};

QByteArray compact(const QJsonObject &body)
{
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

} // namespace

class ChannelActionsServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void requestShapes_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<HttpMethod>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body"); // compact JSON; empty for a request without a body

        const QString name = QStringLiteral("  Hall ");
        const QString empty;
        QTest::newRow("create") << Operation([name](ChannelActionsService &s) { s.create(name, {}); })
                                << HttpMethod::Post << "/v1/channels" << QByteArray(R"({"name":"  Hall "})");
        QTest::newRow("create role")
            << Operation([](ChannelActionsService &s) {
                   s.createRole("c1", "mods", {"core.channel.ban_members", "core.channel.remove_members"}, {});
               })
            << HttpMethod::Post << "/v1/channels/c1/roles"
            << QByteArray(
                   R"({"name":"mods","permissions":["core.channel.ban_members","core.channel.remove_members"]})");
        QTest::newRow("create role, all")
            << Operation([](ChannelActionsService &s) { s.createRole("c1", "all", {"*"}, {}); }) << HttpMethod::Post
            << "/v1/channels/c1/roles" << QByteArray(R"({"name":"all","permissions":["*"]})");
        QTest::newRow("create room") << Operation([](ChannelActionsService &s) { s.createRoom("c1", {}); })
                                     << HttpMethod::Post << "/v1/channels/c1/rooms" << QByteArray("{}");
        QTest::newRow("delete role") << Operation([](ChannelActionsService &s) { s.deleteRole("c1", 42, {}); })
                                     << HttpMethod::Delete << "/v1/channels/c1/roles/42" << QByteArray();
        QTest::newRow("dissolve") << Operation([](ChannelActionsService &s) { s.dissolve("c1", {}); })
                                  << HttpMethod::Delete << "/v1/channels/c1" << QByteArray();
        QTest::newRow("leave") << Operation([](ChannelActionsService &s) { s.leave("c1", {}); }) << HttpMethod::Delete
                               << "/v1/channels/c1/members/me" << QByteArray();
        QTest::newRow("reassign role") << Operation([](ChannelActionsService &s) { s.reassignRole("c1", 5, 7, {}); })
                                       << HttpMethod::Post << "/v1/channels/c1/roles/5/reassign"
                                       << QByteArray(R"({"toRoleId":7})");
        QTest::newRow("reorder roles") << Operation([](ChannelActionsService &s) {
            s.reorderRoles("c1", {3, 1, 2}, {});
        }) << HttpMethod::Put << "/v1/channels/c1/role-order"
                                       << QByteArray(R"({"roleIds":[3,1,2]})");
        QTest::newRow("reorder roles, large ids")
            << Operation([](ChannelActionsService &s) {
                   s.reorderRoles("c1", {Q_INT64_C(9007199254740993), -1, Q_INT64_C(9223372036854775807)}, {});
               })
            << HttpMethod::Put << "/v1/channels/c1/role-order"
            << QByteArray(R"({"roleIds":[9007199254740993,-1,9223372036854775807]})");
        QTest::newRow("reorder rooms") << Operation([](ChannelActionsService &s) {
            s.reorderRooms("c1", {"b", "a"}, {});
        }) << HttpMethod::Put << "/v1/channels/c1/room-order"
                                       << QByteArray(R"({"roomIds":["b","a"]})");
        QTest::newRow("code on") << Operation([](ChannelActionsService &s) { s.setCodeEnabled("c1", true, {}); })
                                 << HttpMethod::Patch << "/v1/channels/c1" << QByteArray(R"({"codeEnabled":true})");
        QTest::newRow("code off") << Operation([](ChannelActionsService &s) { s.setCodeEnabled("c1", false, {}); })
                                  << HttpMethod::Patch << "/v1/channels/c1" << QByteArray(R"({"codeEnabled":false})");
        QTest::newRow("member role") << Operation([](ChannelActionsService &s) {
            s.setMemberRole("c1", "u7", Q_INT64_C(9007199254740993), {});
        }) << HttpMethod::Put << "/v1/channels/c1/members/u7/role"
                                     << QByteArray(R"({"roleId":9007199254740993})");
        QTest::newRow("update role") << Operation([](ChannelActionsService &s) { s.updateRole("c1", 3, "", {}, {}); })
                                     << HttpMethod::Patch << "/v1/channels/c1/roles/3"
                                     << QByteArray(R"({"name":"","permissions":[]})");
        QTest::newRow("settings, name") << Operation([name](ChannelActionsService &s) {
            s.updateSettings("c1", &name, nullptr, {});
        }) << HttpMethod::Patch << "/v1/channels/c1"
                                        << QByteArray(R"({"name":"  Hall "})");
        QTest::newRow("settings, description")
            << Operation([name](ChannelActionsService &s) { s.updateSettings("c1", nullptr, &name, {}); })
            << HttpMethod::Patch << "/v1/channels/c1" << QByteArray(R"({"description":"  Hall "})");
        QTest::newRow("settings, empty name")
            << Operation([empty](ChannelActionsService &s) { s.updateSettings("c1", &empty, nullptr, {}); })
            << HttpMethod::Patch << "/v1/channels/c1" << QByteArray(R"({"name":""})");
        QTest::newRow("settings, both") << Operation([name, empty](ChannelActionsService &s) {
            s.updateSettings("c1", &name, &empty, {});
        }) << HttpMethod::Patch << "/v1/channels/c1"
                                        << QByteArray(R"({"description":"","name":"  Hall "})");
        QTest::newRow("settings, neither")
            << Operation([](ChannelActionsService &s) { s.updateSettings("c1", nullptr, nullptr, {}); })
            << HttpMethod::Patch << "/v1/channels/c1" << QByteArray("{}");

        // Ids are single path segments, whatever they hold.
        QTest::newRow("hostile channel id")
            << Operation([](ChannelActionsService &s) { s.leave("a/../b?x#y", {}); }) << HttpMethod::Delete
            << "/v1/channels/a%2F..%2Fb%3Fx%23y/members/me" << QByteArray();
        QTest::newRow("dot channel id") << Operation([](ChannelActionsService &s) { s.dissolve("..", {}); })
                                        << HttpMethod::Delete << "/v1/channels/%2E%2E" << QByteArray();
        QTest::newRow("hostile user id") << Operation([](ChannelActionsService &s) {
            s.setMemberRole("c 1", "me/role", 2, {});
        }) << HttpMethod::Put << "/v1/channels/c%201/members/me%2Frole/role"
                                         << QByteArray(R"({"roleId":2})");
        QTest::newRow("negative role id") << Operation([](ChannelActionsService &s) { s.deleteRole("c1", -1, {}); })
                                          << HttpMethod::Delete << "/v1/channels/c1/roles/-1" << QByteArray();
        QTest::newRow("empty ids are still sent") << Operation([](ChannelActionsService &s) { s.leave("", {}); })
                                                  << HttpMethod::Delete << "/v1/channels//members/me" << QByteArray();
    }

    void requestShapes()
    {
        QFETCH(Operation, operation);
        QFETCH(HttpMethod, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        FakeHttpClient http;
        ChannelActionsService service(&http);

        operation(service);

        QCOMPARE(http.calls.size(), 1);
        const FakeHttpClient::Call &call = http.calls.at(0);
        QCOMPARE(call.method, method);
        QCOMPARE(call.path, path);
        QCOMPARE(call.options.timeoutMs, 0);
        QCOMPARE(call.options.skipAuth, false);
        QVERIFY(call.options.headers.isEmpty());
        if (!body.isEmpty())
            QCOMPARE(compact(call.body), body);
        // Any reply is fine with an empty callback.
        http.reply(0, jsonReply(500));
    }

    void roleIdsAreExactIntegers()
    {
        FakeHttpClient http;
        ChannelActionsService service(&http);
        const qint64 big = Q_INT64_C(9007199254740993); // 2^53 + 1: a double would make it ...992
        service.reassignRole("c1", big, big, {});
        const FakeHttpClient::Call &call = http.calls.at(0);
        QCOMPARE(call.body.value("toRoleId").toInteger(), big);
        QVERIFY(call.path.endsWith("/roles/9007199254740993/reassign"));
    }

    void resultCallback_data()
    {
        QTest::addColumn<HttpResponse>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<ChannelErrorCode>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("success") << jsonReply(200) << true << ChannelErrorCode::Other << "";
        QTest::newRow("no content") << jsonReply(204) << true << ChannelErrorCode::Other << "";
        QTest::newRow("owner cannot leave")
            << jsonReply(409, QJsonObject{{"code", "channel.owner_cannot_leave"}, {"message", "transfer first"}})
            << false << ChannelErrorCode::OwnerCannotLeave << "transfer first";
        QTest::newRow("other refusal") << jsonReply(403, QJsonObject{{"code", "channel.forbidden"}, {"message", "no"}})
                                       << false << ChannelErrorCode::Other << "no";
        QTest::newRow("refusal without body") << jsonReply(500) << false << ChannelErrorCode::Other << "";
        QTest::newRow("code of another type")
            << jsonReply(400, QJsonObject{{"code", 1}, {"message", 2}}) << false << ChannelErrorCode::Other << "";
        QTest::newRow("time-out") << testsupport::timedOutReply() << false << ChannelErrorCode::Other << "";
        QTest::newRow("network error") << testsupport::networkErrorReply() << false << ChannelErrorCode::Other << "";
        QTest::newRow("redirect") << jsonReply(302) << false << ChannelErrorCode::Other << "";
    }

    void resultCallback()
    {
        QFETCH(HttpResponse, reply);
        QFETCH(bool, ok);
        QFETCH(ChannelErrorCode, code);
        QFETCH(QString, message);

        // Every operation without values of its own reports the same way.
        const QList<std::function<void(ChannelActionsService &, ChannelActionsService::ResultCallback)>> operations{
            [](auto &s, auto cb) { s.leave("c1", cb); },
            [](auto &s, auto cb) { s.dissolve("c1", cb); },
            [](auto &s, auto cb) { s.deleteRole("c1", 1, cb); },
            [](auto &s, auto cb) { s.reassignRole("c1", 1, 2, cb); },
            [](auto &s, auto cb) { s.reorderRoles("c1", {1}, cb); },
            [](auto &s, auto cb) { s.reorderRooms("c1", {"r"}, cb); },
            [](auto &s, auto cb) { s.setCodeEnabled("c1", true, cb); },
            [](auto &s, auto cb) { s.setMemberRole("c1", "u", 1, cb); },
            [](auto &s, auto cb) { s.updateRole("c1", 1, "n", {}, cb); },
            [](auto &s, auto cb) { s.updateSettings("c1", nullptr, nullptr, cb); },
        };
        for (qsizetype i = 0; i < operations.size(); ++i) {
            FakeHttpClient http;
            ChannelActionsService service(&http);
            Result result;
            operations.at(i)(service, result.callback());
            QCOMPARE(result.calls, 0);
            http.reply(0, reply);
            QCOMPARE(result.calls, 1);
            QCOMPARE(result.ok, ok);
            QCOMPARE(result.code, code);
            QCOMPARE(result.message, message);
        }
    }

    void failureIsLoggedWithItsLabel()
    {
        FakeHttpClient http;
        ChannelActionsService service(&http);
        LogCapture logs;
        service.leave("c1", {});
        http.reply(0, jsonReply(409, QJsonObject{{"code", "channel.owner_cannot_leave"}, {"message", "m"}}));
        QVERIFY(logs.contains(
            "channel.actions",
            "leave channel failed status=409 code=\"channel.owner_cannot_leave\" msg=\"m\" net_err=\"\""));
        service.createRoom("c1", {});
        http.reply(1, testsupport::timedOutReply());
        QVERIFY(logs.contains("channel.actions", "create attached room failed status=0"));
        logs.clear();
        service.dissolve("c1", {});
        http.reply(2, jsonReply(200));
        QCOMPARE(logs.entries().size(), 0);
    }

    void create()
    {
        FakeHttpClient http;
        ChannelActionsService service(&http);
        LogCapture logs;
        QList<std::tuple<bool, QString, ChannelErrorCode, QString>> seen;
        auto callback = [&seen](bool ok, const QString &id, ChannelErrorCode code, const QString &message) {
            seen.append({ok, id, code, message});
        };
        service.create("Hall", callback);
        http.reply(0, jsonReply(201, QJsonObject{{"channelId", "c9"}}));
        service.create("Hall", callback);
        http.reply(1, jsonReply(200, QJsonObject{}));
        service.create("Hall", callback);
        http.reply(2,
                   jsonReply(400,
                             QJsonObject{{"channelId", "c8"}, {"code", "channel.name_taken"}, {"message", "taken"}}));

        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen.at(0), std::make_tuple(true, QString("c9"), ChannelErrorCode::Other, QString()));
        QCOMPARE(seen.at(1), std::make_tuple(true, QString(), ChannelErrorCode::Other, QString()));
        QCOMPARE(seen.at(2), std::make_tuple(false, QString("c8"), ChannelErrorCode::Other, QString("taken")));
        QVERIFY(logs.contains("channel.actions", "channel created channel_id=\"c9\""));
        QCOMPARE(logs.count("channel.actions", "channel created"), 2);
        QVERIFY(logs.contains("channel.actions", "create channel failed status=400"));
    }

    void createRole_data()
    {
        QTest::addColumn<HttpResponse>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("roleId");
        QTest::newRow("number") << jsonReply(200, QJsonObject{{"roleId", 12}}) << true << qint64(12);
        QTest::newRow("decimal text") << jsonReply(200, QJsonObject{{"roleId", "12"}}) << true << qint64(12);
        QTest::newRow("large number") << jsonReply(200, QJsonObject{{"roleId", Q_INT64_C(9007199254740993)}}) << true
                                      << Q_INT64_C(9007199254740993);
        QTest::newRow("large text") << jsonReply(200, QJsonObject{{"roleId", "9007199254740993"}}) << true
                                    << Q_INT64_C(9007199254740993);
        QTest::newRow("missing") << jsonReply(200) << true << qint64(0);
        QTest::newRow("not a number") << jsonReply(200, QJsonObject{{"roleId", "abc"}}) << true << qint64(0);
        QTest::newRow("refused") << jsonReply(403, QJsonObject{{"code", "x"}}) << false << qint64(0);
    }

    void createRole()
    {
        QFETCH(HttpResponse, reply);
        QFETCH(bool, ok);
        QFETCH(qint64, roleId);
        FakeHttpClient http;
        ChannelActionsService service(&http);
        int calls = 0;
        service.createRole("c1", "r", {}, [&](bool okArg, qint64 idArg, ChannelErrorCode code, const QString &) {
            ++calls;
            QCOMPARE(okArg, ok);
            QCOMPARE(idArg, roleId);
            QCOMPARE(code, ChannelErrorCode::Other);
        });
        http.reply(0, reply);
        QCOMPARE(calls, 1);
    }

    void createRoom()
    {
        FakeHttpClient http;
        ChannelActionsService service(&http);
        QList<std::tuple<bool, QString, QString, ChannelErrorCode, QString>> seen;
        auto callback = [&seen](bool ok, const QString &roomId, const QString &name, ChannelErrorCode code,
                                const QString &message) {
            seen.append({ok, roomId, name, code, message});
        };
        service.createRoom("c1", callback);
        http.reply(0, jsonReply(200, QJsonObject{{"roomId", "r5"}, {"name", "Room 5"}}));
        service.createRoom("c1", callback);
        http.reply(1, testsupport::timedOutReply());
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.at(0),
                 std::make_tuple(true, QString("r5"), QString("Room 5"), ChannelErrorCode::Other, QString()));
        QCOMPARE(seen.at(1), std::make_tuple(false, QString(), QString(), ChannelErrorCode::Other, QString()));
    }

    void callbacksMayOutliveTheService()
    {
        FakeHttpClient http;
        Result result;
        {
            ChannelActionsService service(&http);
            service.leave("c1", result.callback());
        }
        http.reply(0, jsonReply(200));
        QCOMPARE(result.calls, 1);
        QVERIFY(result.ok);
    }

    void assemblyWiresItsParts()
    {
        FakeHttpClient http;
        {
            ChannelAssembly assembly(&http);
            QVERIFY(assembly.entityStore() && assembly.entityFeed() && assembly.listService()
                    && assembly.actionsService());
            QCOMPARE(assembly.entityStore()->parent(), nullptr);
            QCOMPARE(assembly.listService()->parent(), nullptr);

            // The list retains in the assembly's store and the feed fills it.
            assembly.listService()->bootstrap();
            http.reply(0, jsonReply(200, QJsonObject{{"channels", QJsonArray{"c1"}}}));
            assembly.entityFeed()->handleBundle("channel:c1", QJsonObject{{"channelId", "c1"}, {"name", "Hall"}});
            QCOMPARE(assembly.entityStore()->find("c1")->name, QString("Hall"));

            assembly.actionsService()->dissolve("c1", {});
            QCOMPARE(http.calls.at(1).path, QString("/v1/channels/c1"));
            assembly.listService()->bootstrap();
        }
        // A list reply that arrives after the assembly is gone is dropped.
        http.reply(2, jsonReply(200, QJsonObject{{"channels", QJsonArray{"c2"}}}));
        http.reply(1, jsonReply(200));
    }
};

KESTOVA_TEST_MAIN(ChannelActionsServiceTest)
#include "test_channel_actions_service.moc"
