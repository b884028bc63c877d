#include "app/startup_gate.h"
#include "build_config.h"
#include "legal/legal_service.h"
#include "support/log_capture.h"
#include "support/pending_raw_downloader.h"
#include "support/test_main.h"
#include "update/update_service.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

using testsupport::LogCapture;
using testsupport::PendingRawDownloader;

namespace {

const QString kManifest = QStringLiteral("/core/latest.json");
const QString kSignature = QStringLiteral("/core/latest.json.sig");
const QString kLegal = QStringLiteral("/legal/version.json");

const QByteArray kInstaller(1000, 'k');
const QByteArray kAnySignature(64, 's');
const QByteArray kLegalFile = R"({"terms":"t7","privacy":"p3"})";

// The signature check is the update service's business; here it answers as told, and
// starting an installer is only counted.
class ScriptedUpdateService : public UpdateService
{
public:
    using UpdateService::UpdateService;
    bool signatureValid = true;
    bool installStarts = false;
    int installs = 0;

    bool verifySignature(const QByteArray &, const QByteArray &) override { return signatureValid; }
    bool install() override
    {
        ++installs;
        return installStarts;
    }
};

QByteArray manifestFor(const QString &version)
{
    QJsonObject object;
    object.insert("version", version);
    object.insert("fileName", "kestova-setup.exe");
    object.insert("fileSize", double(kInstaller.size()));
    object.insert("sha256",
                  QString::fromLatin1(QCryptographicHash::hash(kInstaller, QCryptographicHash::Sha256).toHex()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

struct Rig
{
    PendingRawDownloader downloader;
    ScriptedUpdateService update{&downloader};
    LegalService legal{&downloader};
    StartupGate gate{&downloader, &update, &legal};
    int passed = 0;
    bool versionsReadyWhenPassed = false;

    Rig() { gate.setRetryDelayMs(1); }

    void start()
    {
        gate.start([this] {
            ++passed;
            versionsReadyWhenPassed = legal.versionsReady();
        });
    }

    // Answers the current attempt's three fetches, in this order.
    void answer(const HttpResponse &manifest, const HttpResponse &signature, const HttpResponse &legalFile)
    {
        QVERIFY(downloader.replyToLatest(kManifest, manifest));
        QVERIFY(downloader.replyToLatest(kSignature, signature));
        QVERIFY(downloader.replyToLatest(kLegal, legalFile));
    }

    void answerUpToDate()
    {
        answer(PendingRawDownloader::ok(manifestFor("0.1.0")), PendingRawDownloader::ok(kAnySignature),
               PendingRawDownloader::ok(kLegalFile));
    }

    // Fails the current attempt through its signature fetch.
    void failAttempt()
    {
        requestsBeforeRetry = downloader.count();
        QVERIFY(downloader.replyToLatest(kSignature, PendingRawDownloader::status(503)));
    }

    // Waits for the three fetches of the attempt after the last failure.
    bool nextAttemptRuns()
    {
        return QTest::qWaitFor([this] { return downloader.count() == requestsBeforeRetry + 3; }, 5000);
    }

    // Waits for the ranged download of the installer and returns its request's index.
    int installerRange()
    {
        const QString url = QStringLiteral("/core/kestova-setup.exe");
        if (!QTest::qWaitFor([&] { return downloader.latestPendingIndex(url) >= 0; }, 5000))
            return -1;
        return downloader.latestPendingIndex(url);
    }

    int requestsBeforeRetry = 0;
};

QString assetUrl(const QString &path)
{
    return QString::fromLatin1(buildconfig::kAssetBaseUrl) + path;
}

} // namespace

class StartupGateTest : public QObject
{
    Q_OBJECT

private slots:
    void upToDateAppliesVersionsThenPasses_data()
    {
        QTest::addColumn<QStringList>("order");
        QTest::newRow("manifest first") << QStringList{kManifest, kSignature, kLegal};
        QTest::newRow("legal first") << QStringList{kLegal, kSignature, kManifest};
    }

    void upToDateAppliesVersionsThenPasses()
    {
        QFETCH(QStringList, order);
        Rig rig;
        QSignalSpy checking(&rig.gate, &StartupGate::checking);
        LogCapture logs;
        rig.start();

        QCOMPARE(checking.count(), 1);
        QCOMPARE(rig.downloader.count(), 3);
        QCOMPARE(rig.downloader.at(0).url, assetUrl(kManifest));
        QCOMPARE(rig.downloader.at(1).url, assetUrl(kSignature));
        QCOMPARE(rig.downloader.at(2).url, assetUrl(kLegal));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(rig.downloader.at(i).timeoutMs, 0);
        QVERIFY(logs.contains("app.startup.gate",
                              "startup gate checking base=" + QString::fromLatin1(buildconfig::kAssetBaseUrl)));

        const QHash<QString, QByteArray> bodies{{kManifest, manifestFor("0.1")},
                                                {kSignature, kAnySignature},
                                                {kLegal, kLegalFile}};
        for (const QString &path : order) {
            QCOMPARE(rig.passed, 0);
            QVERIFY(rig.downloader.replyTo(path, PendingRawDownloader::ok(bodies.value(path))));
        }

        QCOMPARE(rig.passed, 1);
        QVERIFY(rig.versionsReadyWhenPassed);
        QCOMPARE(rig.legal.versionTag(), QStringLiteral("terms@t7+privacy@p3"));
        QVERIFY(logs.contains("app.startup.gate", "startup gate passed, proceeding to ui"));
        QCoreApplication::processEvents();
        QCOMPARE(rig.downloader.count(), 3);
        QCOMPARE(rig.passed, 1);
        QCOMPARE(checking.count(), 1);
    }

    void emptyCallbackStillPasses()
    {
        Rig rig;
        rig.gate.start({});
        rig.answerUpToDate();
        QVERIFY(rig.legal.versionsReady());
        QCoreApplication::processEvents();
        QCOMPARE(rig.downloader.count(), 3);
    }

    void failedFetchRetriesOnceAndIgnoresLateAnswers_data()
    {
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<HttpResponse>("failure");
        QTest::newRow("signature 404") << QStringList{kSignature} << PendingRawDownloader::status(404, "gone");
        QTest::newRow("manifest empty body") << QStringList{kManifest} << PendingRawDownloader::ok({});
        QTest::newRow("legal network error") << QStringList{kLegal} << PendingRawDownloader::networkFailure();
        QTest::newRow("manifest timed out") << QStringList{kManifest} << PendingRawDownloader::timeout();
        QTest::newRow("two of three fail") << QStringList{kSignature, kLegal} << PendingRawDownloader::status(500);
        QTest::newRow("all three fail") << QStringList{kLegal, kManifest, kSignature}
                                        << PendingRawDownloader::networkFailure();
    }

    void failedFetchRetriesOnceAndIgnoresLateAnswers()
    {
        QFETCH(QStringList, failing);
        QFETCH(HttpResponse, failure);
        Rig rig;
        LogCapture logs;
        rig.start();
        rig.requestsBeforeRetry = rig.downloader.count();

        for (const QString &path : failing)
            QVERIFY(rig.downloader.replyTo(path, failure));
        QCOMPARE(logs.count("app.startup.gate", "startup version fetch failed:"), 1);
        QVERIFY(rig.nextAttemptRuns());
        QCOMPARE(logs.count("app.startup.gate", "startup gate auto-retry, left="), 1);
        QVERIFY(logs.contains("app.startup.gate", "startup gate auto-retry, left=2"));

        // The rest of the failed attempt answers well, but after the retry began.
        const QHash<QString, QByteArray> bodies{{kManifest, manifestFor("0.1.0")},
                                                {kSignature, kAnySignature},
                                                {kLegal, kLegalFile}};
        for (const QString &path : {kManifest, kSignature, kLegal}) {
            if (!failing.contains(path))
                QVERIFY(rig.downloader.replyTo(path, PendingRawDownloader::ok(bodies.value(path))));
        }
        QCOMPARE(rig.passed, 0);
        QVERIFY(!rig.legal.versionsReady());
        QCOMPARE(rig.downloader.pendingCount(), 3);
        QCOMPARE(logs.count("app.startup.gate", "startup gate auto-retry, left="), 1);

        rig.answerUpToDate();
        QCOMPARE(rig.passed, 1);
    }

    void threeAutoRetriesThenManualRetryRestoresTheBudget()
    {
        Rig rig;
        QSignalSpy needRetry(&rig.gate, &StartupGate::needRetry);
        QSignalSpy checking(&rig.gate, &StartupGate::checking);
        LogCapture logs;
        rig.start();

        for (int left : {2, 1, 0}) {
            rig.failAttempt();
            QVERIFY(logs.contains("app.startup.gate", QStringLiteral("startup gate auto-retry, left=%1").arg(left)));
            QVERIFY(rig.nextAttemptRuns());
            QCOMPARE(needRetry.count(), 0);
        }
        rig.failAttempt();
        QCOMPARE(needRetry.count(), 1);
        QVERIFY(logs.contains("app.startup.gate", "startup gate blocked (auto-retries exhausted), showing retry"));
        QCOMPARE(checking.count(), 4);

        // Blocked: nothing more happens by itself.
        QCoreApplication::processEvents();
        QCOMPARE(rig.downloader.count(), 12);

        logs.clear();
        rig.gate.onManualRetry();
        QVERIFY(logs.contains("app.startup.gate", "startup gate manual retry"));
        QCOMPARE(checking.count(), 5);
        QCOMPARE(rig.downloader.count(), 15);
        for (int left : {2, 1, 0}) {
            rig.failAttempt();
            QVERIFY(logs.contains("app.startup.gate", QStringLiteral("startup gate auto-retry, left=%1").arg(left)));
            QVERIFY(rig.nextAttemptRuns());
        }
        rig.failAttempt();
        QCOMPARE(needRetry.count(), 2);

        rig.gate.onManualRetry();
        rig.answerUpToDate();
        QCOMPARE(rig.passed, 1);
    }

    void unusableAnswerRetries_data()
    {
        QTest::addColumn<bool>("signatureValid");
        QTest::addColumn<QByteArray>("manifest");
        QTest::addColumn<QByteArray>("legalFile");
        QTest::addColumn<QString>("logged");
        QTest::newRow("bad signature") << false << manifestFor("0.1.0") << kLegalFile
                                       << "latest.json signature INVALID, refusing update";
        QTest::newRow("manifest fails validation")
            << true << QByteArray(R"({"version":"0.1.0"})") << kLegalFile << "latest.json parse/validation failed";
        QTest::newRow("legal privacy empty")
            << true << manifestFor("0.1.0") << QByteArray(R"({"terms":"t7","privacy":""})")
            << "legal version invalid, retrying";
        QTest::newRow("legal not an object")
            << true << manifestFor("0.1.0") << QByteArray(R"(["t7","p3"])") << "legal version invalid, retrying";
    }

    void unusableAnswerRetries()
    {
        QFETCH(bool, signatureValid);
        QFETCH(QByteArray, manifest);
        QFETCH(QByteArray, legalFile);
        QFETCH(QString, logged);
        Rig rig;
        rig.update.signatureValid = signatureValid;
        LogCapture logs;
        rig.start();
        rig.answer(PendingRawDownloader::ok(manifest), PendingRawDownloader::ok(kAnySignature),
                   PendingRawDownloader::ok(legalFile));

        QVERIFY(logs.entries().size() > 0);
        QVERIFY2(logs.count("update", logged) + logs.count("app.startup.gate", logged) == 1, qPrintable(logged));
        QCOMPARE(rig.passed, 0);
        QVERIFY(!rig.legal.versionsReady());
        QVERIFY(rig.nextAttemptRuns());
        QVERIFY(logs.contains("app.startup.gate", "startup gate auto-retry, left=2"));
    }

    void updateIsInstalledEvenWithAnUnusableLegalFile()
    {
        Rig rig;
        rig.update.installStarts = true;
        QSignalSpy downloadStarted(&rig.update, &UpdateService::downloadStarted);
        LogCapture logs;
        rig.start();
        rig.answer(PendingRawDownloader::ok(manifestFor("0.2.0")), PendingRawDownloader::ok(kAnySignature),
                   PendingRawDownloader::ok("no json"));
        QCOMPARE(downloadStarted.count(), 1);

        // No block map: the whole installer comes in ranges.
        QVERIFY(rig.downloader.replyTo(".blockmap", PendingRawDownloader::status(404)));
        const int range = rig.installerRange();
        QVERIFY(range >= 0);
        QCOMPARE(rig.downloader.at(range).first, 0);
        QCOMPARE(rig.downloader.at(range).last, kInstaller.size() - 1);
        rig.downloader.replyRange(range, true, kInstaller);
        QTRY_COMPARE(rig.update.installs, 1);

        QCoreApplication::processEvents();
        QCOMPARE(rig.passed, 0);
        QCOMPARE(rig.downloader.pendingCount(), 0);
        QCOMPARE(rig.downloader.count(), range + 1);
        QVERIFY(!logs.contains("app.startup.gate", "legal version invalid"));
        QVERIFY(!logs.contains("app.startup.gate", "auto-retry"));
    }

    void failedUpdateRepeatsTheWholeCheck_data()
    {
        QTest::addColumn<bool>("rangeOk");
        QTest::newRow("download fails") << false;
        QTest::newRow("installer does not start") << true;
    }

    void failedUpdateRepeatsTheWholeCheck()
    {
        QFETCH(bool, rangeOk);
        Rig rig;
        rig.update.installStarts = false;
        LogCapture logs;
        rig.start();
        rig.answer(PendingRawDownloader::ok(manifestFor("0.2.0")), PendingRawDownloader::ok(kAnySignature),
                   PendingRawDownloader::ok(kLegalFile));
        QVERIFY(rig.downloader.replyTo(".blockmap", PendingRawDownloader::status(404)));
        const int range = rig.installerRange();
        QVERIFY(range >= 0);
        rig.downloader.replyRange(range, rangeOk, rangeOk ? kInstaller : QByteArray(), "connection reset");

        QVERIFY(QTest::qWaitFor([&] { return rig.downloader.count() == range + 4; }, 5000));
        QCOMPARE(rig.downloader.at(range + 1).url, assetUrl(kManifest));
        QCOMPARE(rig.downloader.at(range + 2).url, assetUrl(kSignature));
        QCOMPARE(rig.downloader.at(range + 3).url, assetUrl(kLegal));
        QCOMPARE(rig.update.installs, rangeOk ? 1 : 0);
        QCOMPARE(logs.count("app.startup.gate", "startup gate auto-retry, left=2"), 1);
        QCOMPARE(rig.passed, 0);
    }

    void gateGoneBeforeTheAnswers()
    {
        PendingRawDownloader downloader;
        ScriptedUpdateService update(&downloader);
        LegalService legal(&downloader);
        int passed = 0;
        {
            StartupGate gate(&downloader, &update, &legal);
            gate.start([&] { ++passed; });
        }
        QVERIFY(downloader.replyTo(kManifest, PendingRawDownloader::ok(manifestFor("0.1.0"))));
        QVERIFY(downloader.replyTo(kSignature, PendingRawDownloader::status(500)));
        QVERIFY(downloader.replyTo(kLegal, PendingRawDownloader::ok(kLegalFile)));
        QCOMPARE(passed, 0);
        QVERIFY(!legal.versionsReady());
    }
};

KESTOVA_TEST_MAIN(StartupGateTest)
#include "test_startup_gate.moc"
