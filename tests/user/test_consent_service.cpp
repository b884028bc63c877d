#include "legal/legal_service.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"
#include "user/consent_service.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QJsonObject>
#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;

class ConsentServiceTest : public QObject
{
    Q_OBJECT
private slots:
    void checkReconsent_data();
    void checkReconsent();
    void unparseableTagIsLoggedAndSkipped();
    void submitSendsCurrentTag_data();
    void submitSendsCurrentTag();
    void submitSuccessAppliesProfile();
    void submitFailureIsOnlyLogged();
    void lateSubmitReplyAfterSignOutIsDropped();
};

void ConsentServiceTest::checkReconsent_data()
{
    QTest::addColumn<QString>("agreed");
    QTest::addColumn<QString>("terms");
    QTest::addColumn<QString>("privacy");
    QTest::addColumn<QList<LegalDoc>>("expected");
    QTest::newRow("unchanged") << "terms@1+privacy@1"
                               << "1"
                               << "1" << QList<LegalDoc>{};
    QTest::newRow("privacy newer") << "terms@1+privacy@1"
                                   << "1"
                                   << "2" << QList<LegalDoc>{LegalDoc::Privacy};
    QTest::newRow("terms older") << "terms@2+privacy@1"
                                 << "1"
                                 << "1" << QList<LegalDoc>{LegalDoc::Terms};
    QTest::newRow("both, other order") << "privacy@1+terms@1"
                                       << "3"
                                       << "2" << QList<LegalDoc>{LegalDoc::Terms, LegalDoc::Privacy};
    QTest::newRow("never agreed") << ""
                                  << "1"
                                  << "2" << QList<LegalDoc>{};
    QTest::newRow("versions not ready") << "terms@1+privacy@1"
                                        << ""
                                        << "" << QList<LegalDoc>{};
}

void ConsentServiceTest::checkReconsent()
{
    QFETCH(QString, agreed);
    QFETCH(QString, terms);
    QFETCH(QString, privacy);
    QFETCH(QList<LegalDoc>, expected);
    FakeHttpClient http;
    UserState state;
    state.applyProfile({"u1", "ann1", "Ann", "active", agreed});
    LegalService legal(nullptr);
    legal.applyVersions({terms, privacy});
    ConsentService consent(&http, &state, &legal);
    QSignalSpy required(&consent, &ConsentService::reconsentRequired);
    testsupport::LogCapture log;

    consent.checkReconsent();

    if (expected.isEmpty()) {
        QCOMPARE(required.count(), 0);
    } else {
        QCOMPARE(required.count(), 1);
        QCOMPARE(required.at(0).at(0).value<QList<LegalDoc>>(), expected);
        QVERIFY(
            log.contains("user.consent", QStringLiteral("reconsent required, changed_docs=%1").arg(expected.size())));
    }
    QVERIFY(http.calls.isEmpty());
}

void ConsentServiceTest::unparseableTagIsLoggedAndSkipped()
{
    FakeHttpClient http;
    UserState state;
    state.applyProfile({"u1", "ann1", "Ann", "active", "privacy@2"});
    LegalService legal(nullptr);
    legal.applyVersions({"1", "2"});
    ConsentService consent(&http, &state, &legal);
    QSignalSpy required(&consent, &ConsentService::reconsentRequired);
    testsupport::LogCapture log;

    consent.checkReconsent();

    QCOMPARE(required.count(), 0);
    QCOMPARE(log.count("user.consent", "agreed legal version unparseable, skip reconsent"), 1);
}

void ConsentServiceTest::submitSendsCurrentTag_data()
{
    QTest::addColumn<QString>("terms");
    QTest::addColumn<QString>("privacy");
    QTest::addColumn<QString>("expectedTag");
    QTest::newRow("ready") << "3"
                           << "2"
                           << "terms@3+privacy@2";
    QTest::newRow("not ready") << ""
                               << ""
                               << "";
}

void ConsentServiceTest::submitSendsCurrentTag()
{
    QFETCH(QString, terms);
    QFETCH(QString, privacy);
    QFETCH(QString, expectedTag);
    FakeHttpClient http;
    UserState state;
    LegalService legal(nullptr);
    legal.applyVersions({terms, privacy});
    ConsentService consent(&http, &state, &legal);

    consent.submitConsent();

    QCOMPARE(http.calls.size(), 1);
    QCOMPARE(http.calls[0].method, HttpMethod::Patch);
    QCOMPARE(http.calls[0].path, QStringLiteral("/v1/users/me"));
    QCOMPARE(http.calls[0].body, (QJsonObject{{"agreedLegalVersion", expectedTag}}));
}

void ConsentServiceTest::submitSuccessAppliesProfile()
{
    FakeHttpClient http;
    UserState state;
    state.applyProfile({"u1", "ann1", "Ann", "active", "terms@1+privacy@1"});
    LegalService legal(nullptr);
    legal.applyVersions({"1", "2"});
    ConsentService consent(&http, &state, &legal);
    QSignalSpy required(&consent, &ConsentService::reconsentRequired);
    testsupport::LogCapture log;

    consent.submitConsent();
    http.reply(0, jsonReply(200, {{"userId", "u1"}, {"nickname", "Ann"}, {"agreedLegalVersion", "terms@1+privacy@2"}}));

    QCOMPARE(state.agreedLegalVersion(), QStringLiteral("terms@1+privacy@2"));
    QVERIFY(log.contains("user.consent", "consent submitted"));
    // The next profile check finds the agreement current.
    consent.checkReconsent();
    QCOMPARE(required.count(), 0);
}

void ConsentServiceTest::submitFailureIsOnlyLogged()
{
    FakeHttpClient http;
    UserState state;
    state.applyProfile({"u1", "ann1", "Ann", "active", "terms@1+privacy@1"});
    LegalService legal(nullptr);
    legal.applyVersions({"1", "2"});
    ConsentService consent(&http, &state, &legal);
    QSignalSpy required(&consent, &ConsentService::reconsentRequired);
    testsupport::LogCapture log;

    consent.submitConsent();
    HttpResponse response = jsonReply(500, {{"code", "server.error"}});
    response.body = "oops";
    http.reply(0, response);

    QVERIFY(log.contains("user.consent", "consent submit failed status=500 code=server.error net_err= body=oops"));
    QCOMPARE(state.agreedLegalVersion(), QStringLiteral("terms@1+privacy@1"));
    QCOMPARE(http.calls.size(), 1);
    QCOMPARE(required.count(), 0);
    // Asked again at the next check.
    consent.checkReconsent();
    QCOMPARE(required.count(), 1);
}

void ConsentServiceTest::lateSubmitReplyAfterSignOutIsDropped()
{
    FakeHttpClient http;
    UserState state;
    state.applyProfile({"u1", "ann1", "Ann", "active", "terms@1+privacy@1"});
    LegalService legal(nullptr);
    legal.applyVersions({"1", "2"});
    ConsentService consent(&http, &state, &legal);

    consent.submitConsent();
    state.clear();
    http.reply(0, jsonReply(200, {{"userId", "u1"}, {"agreedLegalVersion", "terms@1+privacy@2"}}));

    QVERIFY(state.userId().isEmpty());
    QVERIFY(state.agreedLegalVersion().isEmpty());
}

KESTOVA_TEST_MAIN(ConsentServiceTest)
#include "test_consent_service.moc"
