#include "build_config.h"
#include "legal/legal_service.h"
#include "support/log_capture.h"
#include "support/pending_raw_downloader.h"
#include "support/test_main.h"

using testsupport::LogCapture;
using testsupport::PendingRawDownloader;

namespace {

struct Answer
{
    int calls = 0;
    bool ok = false;
    QString text;

    LegalService::DocCallback callback()
    {
        return [this](bool success, const QString &body) {
            ++calls;
            ok = success;
            text = body;
        };
    }
};

QString docUrl(const QString &rest)
{
    return QString::fromLatin1(buildconfig::kAssetBaseUrl) + QStringLiteral("/legal/") + rest;
}

} // namespace

class LegalServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void fetchBeforeVersionsAnswersAtOnce_data()
    {
        QTest::addColumn<LegalDoc>("doc");
        QTest::addColumn<QString>("key");
        QTest::newRow("terms") << LegalDoc::Terms << "terms";
        QTest::newRow("privacy") << LegalDoc::Privacy << "privacy";
    }

    void fetchBeforeVersionsAnswersAtOnce()
    {
        QFETCH(LegalDoc, doc);
        QFETCH(QString, key);
        PendingRawDownloader downloader;
        LegalService service(&downloader);
        LogCapture logs;
        Answer answer;

        service.fetchDoc(doc, answer.callback());

        QCOMPARE(answer.calls, 1);
        QVERIFY(!answer.ok);
        QVERIFY(answer.text.isEmpty());
        QCOMPARE(downloader.count(), 0);
        QVERIFY(logs.contains("legal", "fetchDoc: version not ready, doc=" + key));
    }

    void fetchedDocumentIsCachedPerDocument()
    {
        PendingRawDownloader downloader;
        LegalService service(&downloader);
        service.applyVersions({"t3", "p5"});
        LogCapture logs;

        Answer first;
        service.fetchDoc(LegalDoc::Terms, first.callback());
        QCOMPARE(first.calls, 0);
        QCOMPARE(downloader.count(), 1);
        QCOMPARE(downloader.at(0).url, docUrl("terms-t3.md"));
        QCOMPARE(downloader.at(0).timeoutMs, 3000);

        const QByteArray body = QStringLiteral("# 用户协议\n正文").toUtf8();
        downloader.reply(0, PendingRawDownloader::ok(body));
        QCOMPARE(first.calls, 1);
        QVERIFY(first.ok);
        QCOMPARE(first.text, QStringLiteral("# 用户协议\n正文"));
        QVERIFY(logs.contains("legal", QStringLiteral("legal doc fetched doc=terms bytes=%1").arg(body.size())));

        Answer second;
        service.fetchDoc(LegalDoc::Terms, second.callback());
        QCOMPARE(second.calls, 1);
        QVERIFY(second.ok);
        QCOMPARE(second.text, first.text);
        QCOMPARE(downloader.count(), 1);

        // The other document has its own entry and still goes to the network.
        Answer privacy;
        service.fetchDoc(LegalDoc::Privacy, privacy.callback());
        QCOMPARE(privacy.calls, 0);
        QCOMPARE(downloader.count(), 2);
        QCOMPARE(downloader.at(1).url, docUrl("privacy-p5.md"));
    }

    void failedAnswerIsNotCached_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<QString>("logged");
        QTest::newRow("200 with empty body")
            << PendingRawDownloader::ok({}) << "legal doc fetch failed doc=privacy status=200 net_err= body=";
        QTest::newRow("404") << PendingRawDownloader::status(404, "not here")
                             << "legal doc fetch failed doc=privacy status=404 net_err= body=not here";
        QTest::newRow("500") << PendingRawDownloader::status(500, "oops") << "status=500";
        QTest::newRow("network error") << PendingRawDownloader::networkFailure("host unreachable")
                                       << "status=0 net_err=host unreachable body=";
        QTest::newRow("timeout") << PendingRawDownloader::timeout() << "status=0 net_err=timeout";
        HttpResponse flaggedWithBody = PendingRawDownloader::ok("partial");
        flaggedWithBody.networkError = true;
        QTest::newRow("status with network flag") << flaggedWithBody << "status=200";
    }

    void failedAnswerIsNotCached()
    {
        QFETCH(HttpResponse, response);
        QFETCH(QString, logged);
        PendingRawDownloader downloader;
        LegalService service(&downloader);
        service.applyVersions({"t1", "p1"});
        LogCapture logs;

        Answer answer;
        service.fetchDoc(LegalDoc::Privacy, answer.callback());
        downloader.reply(0, response);
        QCOMPARE(answer.calls, 1);
        QVERIFY(!answer.ok);
        QVERIFY(answer.text.isEmpty());
        QVERIFY2(logs.contains("legal", logged), qPrintable(logged));

        Answer again;
        service.fetchDoc(LegalDoc::Privacy, again.callback());
        QCOMPARE(again.calls, 0);
        QCOMPARE(downloader.count(), 2);
    }

    void failureLogShowsAtMost512BytesOfBody()
    {
        PendingRawDownloader downloader;
        LegalService service(&downloader);
        service.applyVersions({"t1", "p1"});
        LogCapture logs;
        Answer answer;
        service.fetchDoc(LegalDoc::Terms, answer.callback());
        downloader.reply(0, PendingRawDownloader::status(502, QByteArray(600, 'x')));

        QVERIFY(logs.contains("legal", "body=" + QString(512, 'x')));
        QVERIFY(!logs.contains("legal", "body=" + QString(513, 'x')));
    }

    void sameVersionsKeepTheCacheNewOnesEmptyIt()
    {
        PendingRawDownloader downloader;
        LegalService service(&downloader);
        service.applyVersions({"t1", "p1"});
        Answer terms;
        Answer privacy;
        service.fetchDoc(LegalDoc::Terms, terms.callback());
        service.fetchDoc(LegalDoc::Privacy, privacy.callback());
        downloader.reply(0, PendingRawDownloader::ok("terms one"));
        downloader.reply(1, PendingRawDownloader::ok("privacy one"));

        {
            LogCapture logs;
            service.applyVersions({"t1", "p1"});
            QVERIFY(logs.entries().isEmpty());
            Answer cached;
            service.fetchDoc(LegalDoc::Privacy, cached.callback());
            QCOMPARE(cached.calls, 1);
            QCOMPARE(cached.text, QStringLiteral("privacy one"));
            QCOMPARE(downloader.count(), 2);
        }

        LogCapture logs;
        service.applyVersions({"t2", "p1"});
        QVERIFY(logs.contains("legal", "legal version applied terms=t2 privacy=p1"));
        QCOMPARE(service.termsVersion(), QStringLiteral("t2"));

        Answer refetchedPrivacy;
        service.fetchDoc(LegalDoc::Privacy, refetchedPrivacy.callback());
        QCOMPARE(refetchedPrivacy.calls, 0);
        QCOMPARE(downloader.at(2).url, docUrl("privacy-p1.md"));
        Answer refetchedTerms;
        service.fetchDoc(LegalDoc::Terms, refetchedTerms.callback());
        QCOMPARE(refetchedTerms.calls, 0);
        QCOMPARE(downloader.at(3).url, docUrl("terms-t2.md"));
    }

    void documentOfAReplacedVersionIsNotCached()
    {
        PendingRawDownloader downloader;
        LegalService service(&downloader);
        service.applyVersions({"t1", "p1"});
        Answer old;
        service.fetchDoc(LegalDoc::Terms, old.callback());
        service.applyVersions({"t2", "p1"});
        downloader.reply(0, PendingRawDownloader::ok("old terms"));
        QVERIFY(old.ok);
        QCOMPARE(old.text, QStringLiteral("old terms"));

        Answer current;
        service.fetchDoc(LegalDoc::Terms, current.callback());
        QCOMPARE(current.calls, 0);
        QCOMPARE(downloader.count(), 2);
        QCOMPARE(downloader.at(1).url, docUrl("terms-t2.md"));
    }

    void versionsNeedBothHalves_data()
    {
        QTest::addColumn<QString>("terms");
        QTest::addColumn<QString>("privacy");
        QTest::newRow("no privacy") << "t1"
                                    << "";
        QTest::newRow("no terms") << ""
                                  << "p1";
        QTest::newRow("neither") << ""
                                 << "";
    }

    void versionsNeedBothHalves()
    {
        QFETCH(QString, terms);
        QFETCH(QString, privacy);
        PendingRawDownloader downloader;
        LegalService service(&downloader);

        service.applyVersions({terms, privacy});
        QVERIFY(!service.versionsReady());
        QVERIFY(service.versionTag().isEmpty());
        QVERIFY(service.termsVersion().isEmpty());

        service.applyVersions({"t9", "p9"});
        Answer cached;
        service.fetchDoc(LegalDoc::Terms, cached.callback());
        downloader.reply(0, PendingRawDownloader::ok("nine"));

        LogCapture logs;
        service.applyVersions({terms, privacy});
        QVERIFY(service.versionsReady());
        QCOMPARE(service.versionTag(), QStringLiteral("terms@t9+privacy@p9"));
        QVERIFY(logs.entries().isEmpty());
        Answer stillCached;
        service.fetchDoc(LegalDoc::Terms, stillCached.callback());
        QCOMPARE(stillCached.calls, 1);
        QCOMPARE(stillCached.text, QStringLiteral("nine"));
    }

    void versionTagRoundTrips_data()
    {
        QTest::addColumn<QString>("terms");
        QTest::addColumn<QString>("privacy");
        QTest::addColumn<QString>("tag");
        // Plain versions are written exactly as before, so stored tags keep their meaning.
        QTest::newRow("plain") << "2024-03-01"
                               << "v2@beta"
                               << "terms@2024-03-01+privacy@v2@beta";
        QTest::newRow("build suffix") << "1"
                                      << "2.1.0+build7"
                                      << "terms@1+privacy@2.1.0%2Bbuild7";
        QTest::newRow("forged part") << "2+privacy@0"
                                     << "5"
                                     << "terms@2%2Bprivacy@0+privacy@5";
        QTest::newRow("percent") << "50%"
                                 << "a%2Bb"
                                 << "terms@50%25+privacy@a%252Bb";
        QTest::newRow("at and plus") << "1@x+y"
                                     << "+"
                                     << "terms@1@x%2By+privacy@%2B";
    }

    void versionTagRoundTrips()
    {
        QFETCH(QString, terms);
        QFETCH(QString, privacy);
        QFETCH(QString, tag);
        PendingRawDownloader downloader;
        LegalService service(&downloader);
        service.applyVersions({terms, privacy});
        QCOMPARE(service.versionTag(), tag);
        const LegalVersions parsed = parseLegalVersionTag(service.versionTag());
        QCOMPARE(parsed.terms, service.termsVersion());
        QCOMPARE(parsed.privacy, service.privacyVersion());
    }

    void versionStaysInsideItsPathSegment()
    {
        PendingRawDownloader downloader;
        LegalService service(&downloader);
        service.applyVersions({"../../core/latest.json?x=#", "p1"});
        Answer answer;
        service.fetchDoc(LegalDoc::Terms, answer.callback());
        QCOMPARE(downloader.count(), 1);
        QCOMPARE(downloader.at(0).url, docUrl("terms-..%2F..%2Fcore%2Flatest.json%3Fx%3D%23.md"));
    }

    void answerAfterTheServiceIsGoneStillCallsBack()
    {
        PendingRawDownloader downloader;
        Answer answer;
        {
            LegalService service(&downloader);
            service.applyVersions({"t1", "p1"});
            service.fetchDoc(LegalDoc::Terms, answer.callback());
        }
        downloader.reply(0, PendingRawDownloader::ok("late"));
        QCOMPARE(answer.calls, 1);
        QVERIFY(answer.ok);
    }
};

KESTOVA_TEST_MAIN(LegalServiceTest)
#include "test_legal_service.moc"
