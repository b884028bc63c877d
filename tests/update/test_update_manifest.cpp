#include "fake_raw_downloader.h"
#include "support/log_capture.h"
#include "support/test_main.h"
#include "update/update_manifest.h"
#include "update_test_kit.h"

#include <QFile>
#include <QSignalSpy>

using namespace updatetest;

namespace {
const QString kDigest = QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
}

class UpdateManifestTest : public QObject
{
    Q_OBJECT
private slots:
    void compareVersions_data();
    void compareVersions();
    void parseManifest_data();
    void parseManifest();
    void verifySignature_data();
    void verifySignature();
    void developmentKeyMatchesCompiledKey();
    void evaluate_data();
    void evaluate();
    void emptyInputIsRefusedWithoutCheckingTheSignature_data();
    void emptyInputIsRefusedWithoutCheckingTheSignature();
    void acceptedManifestBecomesThePendingDownload();
    void laterRefusalKeepsThePendingUpdate();
};

void UpdateManifestTest::compareVersions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");
    QTest::newRow("equal") << "0.1.0"
                           << "0.1.0" << 0;
    QTest::newRow("missing part counts as zero") << "0.1"
                                                 << "0.1.0" << 0;
    QTest::newRow("numeric, not text") << "0.10.0"
                                       << "0.9.9" << 1;
    QTest::newRow("lower patch") << "0.1.0"
                                 << "0.1.1" << -1;
    QTest::newRow("major decides") << "0.1.0"
                                   << "1" << -1;
    QTest::newRow("older remote") << "0.1.0"
                                  << "0.0.9" << 1;
    QTest::newRow("fourth part") << "1.2.3"
                                 << "1.2.3.1" << -1;
    QTest::newRow("non-numeric part is zero") << "1.x"
                                              << "1.0" << 0;
}

void UpdateManifestTest::compareVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    const int result = ::compareVersions(a, b);
    QCOMPARE((result > 0) - (result < 0), expected);
    QCOMPARE((::compareVersions(b, a) > 0) - (::compareVersions(b, a) < 0), -expected);
}

void UpdateManifestTest::parseManifest_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("size");

    const auto manifest = [](const QString &version, const QString &name, const QByteArray &size, const QString &sha) {
        return QByteArray("{\"version\":\"") + version.toUtf8() + "\",\"fileName\":\"" + name.toUtf8()
               + "\",\"fileSize\":" + size + ",\"sha256\":\"" + sha.toUtf8() + "\",\"notes\":\"ignored\"}";
    };
    const QString name = QStringLiteral("Kestova-0.2.0.exe");

    QTest::newRow("valid") << manifest("0.2.0", name, "1000", kDigest) << true << qint64(1000);
    QTest::newRow("one part") << manifest("1", name, "1000", kDigest) << true << qint64(1000);
    QTest::newRow("four parts") << manifest("1.2.3.4", name, "1000", kDigest) << true << qint64(1000);
    QTest::newRow("five parts") << manifest("1.2.3.4.5", name, "1000", kDigest) << false << qint64(0);
    QTest::newRow("leading letter") << manifest("v1.2", name, "1000", kDigest) << false << qint64(0);
    QTest::newRow("hyphen suffix") << manifest("1.2.3-beta", name, "1000", kDigest) << false << qint64(0);
    QTest::newRow("two dots") << manifest("1..2", name, "1000", kDigest) << false << qint64(0);
    QTest::newRow("trailing blank") << manifest("1.2 ", name, "1000", kDigest) << false << qint64(0);
    QTest::newRow("trailing line feed") << manifest("1.2\\n", name, "1000", kDigest) << false << qint64(0);
    QTest::newRow("empty version") << manifest("", name, "1000", kDigest) << false << qint64(0);
    QTest::newRow("size zero") << manifest("0.2.0", name, "0", kDigest) << false << qint64(0);
    QTest::newRow("size 500 MiB") << manifest("0.2.0", name, "524288000", kDigest) << true << qint64(524288000);
    QTest::newRow("size one over") << manifest("0.2.0", name, "524288001", kDigest) << false << qint64(0);
    QTest::newRow("size 1.9 truncates") << manifest("0.2.0", name, "1.9", kDigest) << true << qint64(1);
    QTest::newRow("size negative") << manifest("0.2.0", name, "-5", kDigest) << false << qint64(0);
    QTest::newRow("size huge") << manifest("0.2.0", name, "1e300", kDigest) << false << qint64(0);
    QTest::newRow("size as text") << manifest("0.2.0", name, "\"1000\"", kDigest) << false << qint64(0);
    QTest::newRow("sha 63") << manifest("0.2.0", name, "1000", kDigest.left(63)) << false << qint64(0);
    QTest::newRow("sha 65") << manifest("0.2.0", name, "1000", kDigest + "0") << false << qint64(0);
    QTest::newRow("sha letter after f") << manifest("0.2.0", name, "1000", kDigest.left(63) + "g") << false
                                        << qint64(0);
    QTest::newRow("sha upper case") << manifest("0.2.0", name, "1000", kDigest.toUpper()) << true << qint64(1000);
    QTest::newRow("empty file name") << manifest("0.2.0", "", "1000", kDigest) << false << qint64(0);
    QTest::newRow("file name last.exe") << manifest("0.2.0", "last.exe", "1000", kDigest) << true << qint64(1000);
    QTest::newRow("file name last.blockmap")
        << manifest("0.2.0", "last.blockmap", "1000", kDigest) << false << qint64(0);
    QTest::newRow("file name with slash") << manifest("0.2.0", "../../evil.exe", "1000", kDigest) << false << qint64(0);
    QTest::newRow("file name with backslash") << manifest("0.2.0", "a\\\\b.exe", "1000", kDigest) << false << qint64(0);
    QTest::newRow("hidden file name") << manifest("0.2.0", ".profile", "1000", kDigest) << false << qint64(0);
    QTest::newRow("file name with query") << manifest("0.2.0", "a.exe?x=1", "1000", kDigest) << false << qint64(0);
    QTest::newRow("file name with blank") << manifest("0.2.0", "a b.exe", "1000", kDigest) << false << qint64(0);
    QTest::newRow("file name with line feed") << manifest("0.2.0", "a.exe\\n", "1000", kDigest) << false << qint64(0);
    QTest::newRow("missing fileName") << QByteArray("{\"version\":\"0.2.0\",\"fileSize\":1000,\"sha256\":\"")
                                             + kDigest.toUtf8() + "\"}"
                                      << false << qint64(0);
    QTest::newRow("array") << QByteArray("[1,2]") << false << qint64(0);
    QTest::newRow("not json") << QByteArray("version=0.2.0") << false << qint64(0);
    QTest::newRow("empty") << QByteArray() << false << qint64(0);
}

void UpdateManifestTest::parseManifest()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, valid);
    QFETCH(qint64, size);
    const UpdateManifest manifest = parseUpdateManifest(json);
    QCOMPARE(manifest.valid, valid);
    QCOMPARE(manifest.fileSize, size);
    if (!valid) {
        QVERIFY(manifest.version.isEmpty());
        QVERIFY(manifest.fileName.isEmpty());
        QVERIFY(manifest.sha256.isEmpty());
    } else {
        QVERIFY(!manifest.version.isEmpty());
        QCOMPARE(manifest.sha256.toLower(), kDigest);
    }
}

void UpdateManifestTest::verifySignature_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("publicKey");

    const SigningKey key = SigningKey::generate();
    const SigningKey other = SigningKey::generate();
    const QByteArray manifest = manifestJson("0.2.0", "Kestova.exe", 1000, kDigest);
    const QByteArray good = key.signManifest(manifest);

    QTest::newRow("valid") << manifest << good << true << key.publicKey;
    QTest::newRow("signed without domain prefix") << manifest << key.sign(manifest) << false << key.publicKey;
    QTest::newRow("extra byte in manifest") << manifest + " " << good << false << key.publicKey;
    QTest::newRow("one byte changed") << QByteArray(manifest).replace("0.2.0", "0.3.0") << good << false
                                      << key.publicKey;
    QTest::newRow("signature 63 bytes") << manifest << good.left(63) << false << key.publicKey;
    QTest::newRow("signature 65 bytes") << manifest << good + "x" << false << key.publicKey;
    QTest::newRow("signature as hex text") << manifest << good.toHex() << false << key.publicKey;
    QTest::newRow("signature flipped bit")
        << manifest << QByteArray(good).replace(10, 1, QByteArray(1, char(good.at(10) ^ 1))) << false << key.publicKey;
    QTest::newRow("other key") << manifest << other.signManifest(manifest) << false << key.publicKey;
    QTest::newRow("empty manifest") << QByteArray() << key.signManifest(QByteArray()) << false << key.publicKey;
    QTest::newRow("empty signature") << manifest << QByteArray() << false << key.publicKey;
}

void UpdateManifestTest::verifySignature()
{
    QFETCH(QByteArray, manifest);
    QFETCH(QByteArray, signature);
    QFETCH(bool, valid);
    QFETCH(QByteArray, publicKey);
    QCOMPARE(verifyManifestSignature(manifest, signature, publicKey), valid);
    // A signature by a throwaway key never passes the compiled-in key.
    QVERIFY(!verifyManifestSignature(manifest, signature));
}

void UpdateManifestTest::developmentKeyMatchesCompiledKey()
{
    QFile file(QStringLiteral(KESTOVA_DEV_SIGNING_KEY_FILE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray seedHex;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.isEmpty() && !line.startsWith('#'))
            seedHex = line;
    }
    const SigningKey key = SigningKey::fromSeed(QByteArray::fromHex(seedHex));
    QCOMPARE(compiledUpdatePublicKey().size(), 32);
    if (key.publicKey != compiledUpdatePublicKey())
        QSKIP("this build compiles in a key other than the development key");

    const QByteArray manifest = manifestJson("0.2.0", "Kestova.exe", 1000, kDigest);
    QVERIFY(verifyManifestSignature(manifest, key.signManifest(manifest)));
    QVERIFY(!verifyManifestSignature(manifest, key.sign(manifest)));
}

void UpdateManifestTest::evaluate_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<bool>("signedWithDomain");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("logLine");

    const auto m = [](const QString &version) { return manifestJson(version, "Kestova.exe", 1000, kDigest); };
    QTest::newRow("same version") << m("0.1.0") << true << 0 << "client up to date current=0.1.0";
    QTest::newRow("shorter same version") << m("0.1") << true << 0 << "client up to date current=0.1.0";
    QTest::newRow("older version") << m("0.0.9") << true << 0 << "client up to date current=0.1.0";
    QTest::newRow("newer patch") << m("0.1.1") << true << 1 << "new version available version=0.1.1";
    QTest::newRow("newer major") << m("1") << true << 1 << "new version available version=1";
    QTest::newRow("bad version, signed") << m("0.2.0-rc1") << true << 2 << "latest.json parse/validation failed";
    QTest::newRow("array, signed") << QByteArray("[]") << true << 2 << "latest.json parse/validation failed";
    QTest::newRow("unsigned") << m("0.2.0") << false << 2 << "latest.json signature INVALID, refusing update";
}

void UpdateManifestTest::evaluate()
{
    QFETCH(QByteArray, manifest);
    QFETCH(bool, signedWithDomain);
    QFETCH(int, expected);
    QFETCH(QString, logLine);

    const SigningKey key = SigningKey::generate();
    FakeRawDownloader downloader;
    TestUpdateService service(&downloader, key.publicKey);
    testsupport::LogCapture log;

    const QByteArray signature = signedWithDomain ? key.signManifest(manifest) : key.sign(manifest);
    QCOMPARE(int(service.evaluateManifest(manifest, signature)), expected);
    QVERIFY2(log.contains("update", logLine), qPrintable(logLine));
    QCOMPARE(log.contains("update", "latest.json signature verified"), signedWithDomain);
    QCOMPARE(service.verifyCalls, 1);
}

void UpdateManifestTest::emptyInputIsRefusedWithoutCheckingTheSignature_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<QByteArray>("signature");
    QTest::newRow("empty manifest") << QByteArray() << QByteArray(64, 'x');
    QTest::newRow("empty signature") << QByteArray("{}") << QByteArray();
}

void UpdateManifestTest::emptyInputIsRefusedWithoutCheckingTheSignature()
{
    QFETCH(QByteArray, manifest);
    QFETCH(QByteArray, signature);
    FakeRawDownloader downloader;
    TestUpdateService service(&downloader, SigningKey::generate().publicKey);
    testsupport::LogCapture log;
    QCOMPARE(service.evaluateManifest(manifest, signature), ManifestVerdict::Refused);
    QVERIFY(log.contains("update", "latest.json or sig empty, refusing update"));
    QCOMPARE(service.verifyCalls, 0);
}

void UpdateManifestTest::acceptedManifestBecomesThePendingDownload()
{
    const SigningKey key = SigningKey::generate();
    FakeRawDownloader downloader;
    TestUpdateService service(&downloader, key.publicKey);

    // Before any accepted manifest nothing is fetched.
    QSignalSpy failed(&service, &UpdateService::failed);
    int completions = 0;
    bool result = true;
    service.downloadAndInstall([&](bool ok) {
        ++completions;
        result = ok;
    });
    QCOMPARE(completions, 1);
    QVERIFY(!result);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("no pending file"));
    QVERIFY(downloader.rawRequests.isEmpty());

    const QByteArray manifest = manifestJson("0.3.0", "Kestova-0.3.0.exe", 1000, kDigest);
    QCOMPARE(service.evaluateManifest(manifest, key.signManifest(manifest)), ManifestVerdict::UpdateAvailable);
    service.downloadAndInstall([](bool) {});
    QCOMPARE(downloader.rawRequests, QStringList{blockMapUrl("Kestova-0.3.0.exe")});
}

void UpdateManifestTest::laterRefusalKeepsThePendingUpdate()
{
    const SigningKey key = SigningKey::generate();
    FakeRawDownloader downloader;
    TestUpdateService service(&downloader, key.publicKey);

    const QByteArray manifest = manifestJson("0.3.0", "Kestova-0.3.0.exe", 1000, kDigest);
    QCOMPARE(service.evaluateManifest(manifest, key.signManifest(manifest)), ManifestVerdict::UpdateAvailable);
    const QByteArray current = manifestJson("0.1.0", "Kestova-0.1.0.exe", 1000, kDigest);
    QCOMPARE(service.evaluateManifest(current, key.signManifest(current)), ManifestVerdict::UpToDate);
    QCOMPARE(service.evaluateManifest(current, QByteArray(64, 'x')), ManifestVerdict::Refused);

    service.downloadAndInstall([](bool) {});
    QCOMPARE(downloader.rawRequests, QStringList{blockMapUrl("Kestova-0.3.0.exe")});
}

KESTOVA_TEST_MAIN(UpdateManifestTest)
#include "test_update_manifest.moc"
