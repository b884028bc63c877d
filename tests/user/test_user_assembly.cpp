#include "legal/legal_service.h"
#include "support/fake_http_client.h"
#include "support/test_main.h"
#include "user/consent_service.h"
#include "user/deactivate_service.h"
#include "user/nickname_service.h"
#include "user/profile_service.h"
#include "user/user_assembly.h"
#include "user/user_directory_service.h"
#include "user/user_state.h"

#include <QJsonObject>
#include <QSet>

#include <memory>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;

class UserAssemblyTest : public QObject
{
    Q_OBJECT
private slots:
    void ownsDistinctObjectsOverOneState();
    void deletesStateLast();
};

void UserAssemblyTest::ownsDistinctObjectsOverOneState()
{
    FakeHttpClient http;
    LegalService legal(nullptr);
    UserAssembly assembly(&http, &legal);

    const QList<QObject *> objects{assembly.userState(),       assembly.profileService(),
                                   assembly.nicknameService(), assembly.deactivateService(),
                                   assembly.consentService(),  assembly.userDirectoryService()};
    QVERIFY(!objects.contains(nullptr));
    QCOMPARE(QSet<QObject *>(objects.cbegin(), objects.cend()).size(), objects.size());
    for (QObject *object : objects)
        QVERIFY(!object->parent());

    // The profile and nickname services write into the module's one state.
    assembly.profileService()->fetchProfile();
    http.reply(0, jsonReply(200, {{"userId", "u1"}, {"nickname", "Ann"}}));
    QCOMPARE(assembly.userState()->userId(), QStringLiteral("u1"));
    assembly.nicknameService()->updateNickname("Bo");
    http.reply(1, jsonReply(200, {{"userId", "u1"}, {"nickname", "Bo"}}));
    QCOMPARE(assembly.userState()->nickname(), QStringLiteral("Bo"));
    // The consent service reads that state and the legal service it was given.
    legal.applyVersions({"2", "1"});
    assembly.consentService()->submitConsent();
    QCOMPARE(http.calls[2].body.value("agreedLegalVersion").toString(), QStringLiteral("terms@2+privacy@1"));
    http.reply(2, jsonReply(200, {{"userId", "u1"}, {"agreedLegalVersion", "terms@2+privacy@1"}}));
    QCOMPARE(assembly.userState()->agreedLegalVersion(), QStringLiteral("terms@2+privacy@1"));
}

void UserAssemblyTest::deletesStateLast()
{
    FakeHttpClient http;
    LegalService legal(nullptr);
    auto assembly = std::make_unique<UserAssembly>(&http, &legal);
    QStringList order;
    const auto track = [&order](QObject *object, const QString &name) {
        QObject::connect(object, &QObject::destroyed, [&order, name] { order << name; });
    };
    track(assembly->userState(), "state");
    track(assembly->profileService(), "profile");
    track(assembly->nicknameService(), "nickname");
    track(assembly->deactivateService(), "deactivate");
    track(assembly->consentService(), "consent");
    track(assembly->userDirectoryService(), "directory");

    assembly.reset();

    QCOMPARE(order, (QStringList{"directory", "consent", "deactivate", "nickname", "profile", "state"}));
}

KESTOVA_TEST_MAIN(UserAssemblyTest)
#include "test_user_assembly.moc"
