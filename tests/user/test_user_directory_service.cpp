#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"
#include "user/user_directory_service.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;

namespace {

QStringList idsOf(const QJsonObject &body)
{
    QStringList ids;
    for (const QJsonValue &id : body.value("userIds").toArray())
        ids << id.toString();
    return ids;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList makeIds(int from, int count)
{
    QStringList ids;
    for (int i = from; i < from + count; ++i)
        ids << QStringLiteral("u%1").arg(i);
    return ids;
}

QJsonObject user(const QString &id, const QString &nickname, qint64 updatedAtMs = 0)
{
    QJsonObject object{{"userId", id}, {"nickname", nickname}, {"username", id + "-name"}};
    if (updatedAtMs != 0)
        object.insert("updatedAtMs", double(updatedAtMs));
    return object;
}

// A batch reply naming every id, nickname "N" + id.
HttpResponse usersReply(const QStringList &ids, qint64 updatedAtMs = 0)
{
    QJsonArray users;
    for (const QString &id : ids)
        users.append(user(id, "N" + id, updatedAtMs));
    return jsonReply(200, {{"users", users}});
}

} // namespace

class UserDirectoryServiceTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void requestsWithinWindowShareOneBatch();
    void largeBatchesAreSplit();
    void batchReplySubscribesNewUsersOnly();
    void cachedUserIsAnsweredAtOnce();
    void leastRecentlyUsedIsEvicted();
    void staleReplyKeepsNewerEntry_data();
    void staleReplyKeepsNewerEntry();
    void profileEvent_data();
    void profileEvent();
    void resyncResubscribesHeldUsers();
    void resyncWithEmptyCacheSendsNothing();
    void failedBatchIsDropped();
    void clearForgetsEverything();
    void requestFromAnswerSlotDoesNotRecurse();

private:
    // Requests the ids, lets the batch leave and answers it with every id.
    void fill(const QStringList &ids, qint64 updatedAtMs = 0);
    // Proves that nothing else is queued: the next batch carries only a probe id.
    void expectNothingQueued();

    FakeHttpClient *http = nullptr;
    UserDirectoryService *directory = nullptr;
};

void UserDirectoryServiceTest::init()
{
    http = new FakeHttpClient;
    directory = new UserDirectoryService(http);
    directory->setBatchDelayMs(1);
}

void UserDirectoryServiceTest::cleanup()
{
    delete directory;
    delete http;
}

void UserDirectoryServiceTest::fill(const QStringList &ids, qint64 updatedAtMs)
{
    const qsizetype before = http->calls.size();
    directory->requestMany(ids);
    QTRY_COMPARE(http->calls.size(), before + 1);
    http->reply(before, usersReply(ids, updatedAtMs));
}

void UserDirectoryServiceTest::expectNothingQueued()
{
    const qsizetype before = http->calls.size();
    directory->request("probe");
    QTRY_COMPARE(http->calls.size(), before + 1);
    QCOMPARE(idsOf(http->calls.last().body), QStringList{"probe"});
}

void UserDirectoryServiceTest::requestsWithinWindowShareOneBatch()
{
    directory->setBatchDelayMs(UserDirectoryService::kBatchDelayMs);
    directory->request("a");
    directory->request("b");
    directory->request("");
    directory->request("a");
    directory->request("c");
    QVERIFY(directory->nickname("a").isEmpty());
    QVERIFY(http->calls.isEmpty());

    QTRY_COMPARE(http->calls.size(), 1);
    QCOMPARE(http->calls[0].method, HttpMethod::Post);
    QCOMPARE(http->calls[0].path, QStringLiteral("/v1/users/batch-get"));
    QCOMPARE(sorted(idsOf(http->calls[0].body)), (QStringList{"a", "b", "c"}));

    directory->request("d");
    QTRY_COMPARE(http->calls.size(), 2);
    QCOMPARE(idsOf(http->calls[1].body), QStringList{"d"});
}

void UserDirectoryServiceTest::largeBatchesAreSplit()
{
    const QStringList ids = makeIds(0, 1200);
    directory->requestMany(ids);
    QTRY_COMPARE(http->calls.size(), 3);

    QList<qsizetype> sizes;
    QStringList sent;
    for (const FakeHttpClient::Call &call : http->calls) {
        sizes << idsOf(call.body).size();
        sent << idsOf(call.body);
    }
    QCOMPARE(sizes, (QList<qsizetype>{500, 500, 200}));
    QCOMPARE(sorted(sent), sorted(ids));
}

void UserDirectoryServiceTest::batchReplySubscribesNewUsersOnly()
{
    QSignalSpy ready(directory, &UserDirectoryService::userInfoReady);
    QSignalSpy subscribed(directory, &UserDirectoryService::profileSubscribeRequested);
    fill({"a"});
    QCOMPARE(subscribed.count(), 1);
    QCOMPARE(subscribed.at(0).at(0).toStringList(), QStringList{"a"});

    // "a" again (it is still queued anew while a batch is in flight), "b" new,
    // "missing" is not in the reply, and an element without an id is skipped.
    directory->requestMany({"x", "b", "missing"});
    QTRY_COMPARE(http->calls.size(), 2);
    QJsonArray users{user("a", "A2"), user("b", "B"), QJsonObject{{"nickname", "nobody"}}};
    http->reply(1, jsonReply(200, {{"users", users}}));

    QCOMPARE(subscribed.count(), 2);
    QCOMPARE(subscribed.at(1).at(0).toStringList(), QStringList{"b"});
    QCOMPARE(directory->nickname("a"), QStringLiteral("A2"));
    QCOMPARE(directory->username("b"), QStringLiteral("b-name"));
    QVERIFY(directory->nickname("missing").isEmpty());
    QCOMPARE(ready.count(), 3);
    QCOMPARE(ready.at(2).at(0).toString(), QStringLiteral("b"));
    QCOMPARE(ready.at(2).at(1).toString(), QStringLiteral("B"));
}

void UserDirectoryServiceTest::cachedUserIsAnsweredAtOnce()
{
    fill({"a", "b"});
    const qsizetype calls = http->calls.size();
    QSignalSpy ready(directory, &UserDirectoryService::userInfoReady);

    directory->request("a");

    QCOMPARE(ready.count(), 1);
    QCOMPARE(ready.at(0).at(0).toString(), QStringLiteral("a"));
    QCOMPARE(ready.at(0).at(1).toString(), QStringLiteral("Na"));
    QCOMPARE(http->calls.size(), calls);

    // Reading names neither fetches nor counts as use.
    QVERIFY(directory->nickname("zzz").isEmpty());
    QVERIFY(directory->username("zzz").isEmpty());
    expectNothingQueued();
}

void UserDirectoryServiceTest::leastRecentlyUsedIsEvicted()
{
    QSignalSpy unsubscribed(directory, &UserDirectoryService::profileUnsubscribeRequested);
    fill(makeIds(0, UserDirectoryService::kCapacity));
    QCOMPARE(unsubscribed.count(), 0);

    // u0 is touched by a request, u1 only read: u1 becomes the least recently used.
    directory->request("u0");
    QCOMPARE(directory->nickname("u1"), QStringLiteral("Nu1"));

    fill({"new"});
    QCOMPARE(unsubscribed.count(), 1);
    QCOMPARE(unsubscribed.at(0).at(0).toStringList(), QStringList{"u1"});
    QVERIFY(directory->nickname("u1").isEmpty());
    QCOMPARE(directory->nickname("u0"), QStringLiteral("Nu0"));
    QCOMPARE(directory->nickname("new"), QStringLiteral("Nnew"));
}

void UserDirectoryServiceTest::staleReplyKeepsNewerEntry_data()
{
    QTest::addColumn<qint64>("cachedMs");
    QTest::addColumn<qint64>("incomingMs");
    QTest::addColumn<QString>("expectedNickname");
    QTest::newRow("older") << qint64(200) << qint64(100) << "Old";
    QTest::newRow("without time") << qint64(200) << qint64(0) << "Old";
    QTest::newRow("equal") << qint64(200) << qint64(200) << "New";
    QTest::newRow("newer") << qint64(200) << qint64(300) << "New";
    QTest::newRow("cached without time") << qint64(0) << qint64(100) << "New";
}

void UserDirectoryServiceTest::staleReplyKeepsNewerEntry()
{
    QFETCH(qint64, cachedMs);
    QFETCH(qint64, incomingMs);
    QFETCH(QString, expectedNickname);
    directory->request("a");
    QTRY_COMPARE(http->calls.size(), 1);
    http->reply(0, jsonReply(200, {{"users", QJsonArray{user("a", "Old", cachedMs)}}}));

    directory->onResync();
    QCOMPARE(http->calls.size(), 2);
    QSignalSpy ready(directory, &UserDirectoryService::userInfoReady);
    http->reply(1, jsonReply(200, {{"users", QJsonArray{user("a", "New", incomingMs)}}}));

    QCOMPARE(directory->nickname("a"), expectedNickname);
    QCOMPARE(ready.count(), 1);
    QCOMPARE(ready.at(0).at(1).toString(), expectedNickname);
}

void UserDirectoryServiceTest::profileEvent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonObject>("payload");
    QTest::addColumn<QString>("expectedNickname");
    QTest::addColumn<int>("expectedSignals");
    QTest::newRow("newer, changed") << "user.profile-updated"
                                    << QJsonObject{{"userId", "a"}, {"nickname", "A2"}, {"updatedAtMs", 300}} << "A2"
                                    << 1;
    QTest::newRow("equal time, changed") << "user.profile-updated"
                                         << QJsonObject{{"userId", "a"}, {"nickname", "A2"}, {"updatedAtMs", 200}}
                                         << "A2" << 1;
    QTest::newRow("stale") << "user.profile-updated"
                           << QJsonObject{{"userId", "a"}, {"nickname", "A2"}, {"updatedAtMs", 100}} << "Na" << 0;
    QTest::newRow("no nickname") << "user.profile-updated" << QJsonObject{{"userId", "a"}, {"updatedAtMs", 300}} << ""
                                 << 1;
    QTest::newRow("uncached user") << "user.profile-updated"
                                   << QJsonObject{{"userId", "zzz"}, {"nickname", "Z"}, {"updatedAtMs", 300}} << "Na"
                                   << 0;
    QTest::newRow("other event") << "room.updated"
                                 << QJsonObject{{"userId", "a"}, {"nickname", "A2"}, {"updatedAtMs", 300}} << "Na" << 0;
}

void UserDirectoryServiceTest::profileEvent()
{
    QFETCH(QString, name);
    QFETCH(QJsonObject, payload);
    QFETCH(QString, expectedNickname);
    QFETCH(int, expectedSignals);
    fill({"a"}, 200);
    const qsizetype calls = http->calls.size();
    QSignalSpy ready(directory, &UserDirectoryService::userInfoReady);
    QSignalSpy subscribed(directory, &UserDirectoryService::profileSubscribeRequested);

    directory->onProfileUpdatedEvent(name, payload);

    QCOMPARE(directory->nickname("a"), expectedNickname);
    QCOMPARE(ready.count(), expectedSignals);
    QVERIFY(directory->nickname("zzz").isEmpty());
    QCOMPARE(subscribed.count(), 0);
    QCOMPARE(http->calls.size(), calls);
    expectNothingQueued();
}

void UserDirectoryServiceTest::resyncResubscribesHeldUsers()
{
    fill({"a", "b", "c"}, 0);
    directory->request("a"); // recency: b, c, a
    QSignalSpy subscribed(directory, &UserDirectoryService::profileSubscribeRequested);
    testsupport::LogCapture log;

    directory->onResync();

    QCOMPARE(subscribed.count(), 1);
    const QStringList held = subscribed.at(0).at(0).toStringList();
    QCOMPARE(held, (QStringList{"b", "c", "a"}));
    QCOMPARE(http->calls.size(), 2);
    QCOMPARE(idsOf(http->calls[1].body), held);
    QVERIFY(log.contains("user.directory", "resync replay held=3"));

    // The refresh updates the names without asking for subscriptions again.
    QJsonArray users{user("a", "A2"), user("b", "B2"), user("c", "C2")};
    http->reply(1, jsonReply(200, {{"users", users}}));
    QCOMPARE(subscribed.count(), 1);
    QCOMPARE(directory->nickname("b"), QStringLiteral("B2"));
}

void UserDirectoryServiceTest::resyncWithEmptyCacheSendsNothing()
{
    QSignalSpy subscribed(directory, &UserDirectoryService::profileSubscribeRequested);
    directory->onResync();
    QCOMPARE(subscribed.count(), 0);
    QVERIFY(http->calls.isEmpty());
}

void UserDirectoryServiceTest::failedBatchIsDropped()
{
    QSignalSpy ready(directory, &UserDirectoryService::userInfoReady);
    testsupport::LogCapture log;
    directory->request("a");
    QTRY_COMPARE(http->calls.size(), 1);
    http->reply(0, jsonReply(503, {{"code", "server.busy"}}));

    QVERIFY(log.contains("user.directory", "batch-get failed status=503 code=server.busy net_err="));
    QCOMPARE(ready.count(), 0);
    expectNothingQueued();

    directory->request("a");
    QTRY_COMPARE(http->calls.size(), 3);
    QCOMPARE(idsOf(http->calls[2].body), QStringList{"a"});
}

void UserDirectoryServiceTest::clearForgetsEverything()
{
    fill({"a"});
    directory->request("b"); // pending, its batch not sent yet
    QSignalSpy ready(directory, &UserDirectoryService::userInfoReady);
    QSignalSpy subscribed(directory, &UserDirectoryService::profileSubscribeRequested);
    QSignalSpy unsubscribed(directory, &UserDirectoryService::profileUnsubscribeRequested);

    directory->clear();

    QVERIFY(directory->nickname("a").isEmpty());
    QCOMPARE(unsubscribed.count(), 0);
    expectNothingQueued();

    // A batch that left before the sign-out does not refill the directory.
    directory->request("c");
    QTRY_COMPARE(http->calls.size(), 3);
    directory->clear();
    http->reply(2, usersReply({"c"}));
    QVERIFY(directory->nickname("c").isEmpty());
    QCOMPARE(ready.count(), 0);
    QCOMPARE(subscribed.count(), 0);
    directory->onResync();
    QCOMPARE(http->calls.size(), 3);
}

void UserDirectoryServiceTest::requestFromAnswerSlotDoesNotRecurse()
{
    int answers = 0;
    connect(directory, &UserDirectoryService::userInfoReady, this, [&](const QString &userId) {
        ++answers;
        QVERIFY(answers < 10);
        directory->request(userId);
    });

    // Answer of a batch reply, then the synchronous answer of a cached user.
    fill({"a"});
    QCOMPARE(answers, 1);
    directory->request("a");
    QCOMPARE(answers, 2);
    // A changed nickname from an event.
    directory->onProfileUpdatedEvent("user.profile-updated", QJsonObject{{"userId", "a"}, {"nickname", "A2"}});
    QCOMPARE(answers, 3);
    QCOMPARE(directory->nickname("a"), QStringLiteral("A2"));
}

KESTOVA_TEST_MAIN(UserDirectoryServiceTest)
#include "test_user_directory_service.moc"
