#include "support/fake_http_client.h"
#include "support/test_main.h"
#include "user/user_directory_service.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <functional>

using testsupport::FakeHttpClient;

namespace {

// The user ids a batch request asked for.
QStringList idsOf(const FakeHttpClient::Call &call)
{
    QStringList ids;
    for (const QJsonValue &id : call.body.value(QStringLiteral("userIds")).toArray())
        ids << id.toString();
    return ids;
}

HttpResponse usersReply(const QStringList &ids)
{
    QJsonArray users;
    for (const QString &id : ids)
        users.append(QJsonObject{{"userId", id}, {"nickname", "N" + id}, {"username", id}});
    HttpResponse response;
    response.status = 200;
    response.json = QJsonObject{{"users", users}};
    return response;
}

} // namespace

// Views call the directory with their own lists and strings and react to its
// answers synchronously; what a slot does to them must not change what was asked.
class UserDirectoryReentrancyTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void requestManyAsksForTheListAsPassed();
    void cachedUserStaysAnswerableAfterASlotReusedTheAskedId();

private:
    // Requests the ids, lets their batch leave and answers it.
    void fill(const QStringList &ids);

    FakeHttpClient *http = nullptr;
    UserDirectoryService *directory = nullptr;
};

void UserDirectoryReentrancyTest::init()
{
    http = new FakeHttpClient;
    directory = new UserDirectoryService(http);
    directory->setBatchDelayMs(1);
}

void UserDirectoryReentrancyTest::cleanup()
{
    delete directory;
    delete http;
}

void UserDirectoryReentrancyTest::fill(const QStringList &ids)
{
    const qsizetype before = http->calls.size();
    directory->requestMany(ids);
    QTRY_COMPARE(http->calls.size(), before + 1);
    http->reply(before, usersReply(ids));
}

void UserDirectoryReentrancyTest::requestManyAsksForTheListAsPassed()
{
    fill({"a"});

    // A member list that its view sorts in place whenever a name arrives.
    QStringList members{"a", "b", "c"};
    connect(directory, &UserDirectoryService::userInfoReady, this,
            [&members] { std::sort(members.begin(), members.end(), std::greater<>()); });

    directory->requestMany(members);
    QTRY_COMPARE(http->calls.size(), 2);
    QStringList asked = idsOf(http->calls.at(1));
    asked.sort();
    QCOMPARE(asked, QStringList({"b", "c"}));
}

void UserDirectoryReentrancyTest::cachedUserStaysAnswerableAfterASlotReusedTheAskedId()
{
    fill({"a", "b"});

    // A view asks with its own string and moves on to another user when answered.
    QString shown = QStringLiteral("a");
    QStringList answered;
    connect(directory, &UserDirectoryService::userInfoReady, this, [&](const QString &userId) {
        answered << userId;
        if (shown == QLatin1String("a"))
            shown = QStringLiteral("b");
    });

    directory->request(shown);
    QCOMPARE(answered, QStringList({"a"}));

    // Any later request for the same cached user is answered at once again.
    directory->request(QStringLiteral("a"));
    QCOMPARE(answered, QStringList({"a", "a"}));
}

KESTOVA_TEST_MAIN(UserDirectoryReentrancyTest)
#include "test_user_directory_reentrancy.moc"
