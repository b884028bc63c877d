#include "build_config.h"
#include "net/http_transport.h"
#include "net/i_raw_downloader.h"
#include "support/loopback_http_server.h"
#include "support/test_main.h"
#include "update_test_kit.h"

#include <QDir>
#include <QFile>

using namespace updatetest;

namespace {

constexpr int kBlock = 65536;

// Sends the client's requests for the built-in asset host to the loopback server instead.
class RebasingDownloader : public IRawDownloader
{
public:
    RebasingDownloader(IRawDownloader *downloader, const QString &baseUrl)
        : target(downloader)
        , base(baseUrl)
    {}

    RawRequestHandle rawGet(const QString &url, HttpCallback callback, int timeoutMs) override
    {
        return target->rawGet(rebase(url), std::move(callback), timeoutMs);
    }
    RawRequestHandle rangeGet(const QString &url, qint64 first, qint64 last, RangeCallback callback,
                              int timeoutMs) override
    {
        return target->rangeGet(rebase(url), first, last, std::move(callback), timeoutMs);
    }

private:
    QString rebase(const QString &url) const
    {
        const QString builtIn = QString::fromLatin1(buildconfig::kAssetBaseUrl);
        return url.startsWith(builtIn) ? base + url.mid(builtIn.size()) : url;
    }

    IRawDownloader *target;
    QString base;
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class UpdateEndToEndTest : public QObject
{
    Q_OBJECT
private slots:
    void deltaUpdateOverHttp();
};

void UpdateEndToEndTest::deltaUpdateOverHttp()
{
    clearCache();
    const QByteArray oldContent = makeContent(24 * kBlock + 1000, 1);
    QByteArray newContent = oldContent;
    for (int block : {2, 3, 20})
        newContent[block * kBlock + 9] = char(newContent.at(block * kBlock + 9) ^ 0x21);
    newContent.append(makeContent(kBlock, 2)); // the old short last block grows and one more follows
    const QDir cache(cacheDir());
    QVERIFY(writeFile(cache.filePath("last.exe"), oldContent));
    QVERIFY(writeFile(cache.filePath("last.blockmap"), blockMapJson(blockMapOf(oldContent, kBlock))));

    testsupport::LoopbackHttpServer server;
    QVERIFY(server.listen());
    server.serveFile(QStringLiteral("/core/Kestova-0.2.0.exe"), newContent);
    const QByteArray newMap = blockMapJson(blockMapOf(newContent, kBlock));
    server.on("GET", QStringLiteral("/core/Kestova-0.2.0.exe.blockmap"),
              testsupport::ScriptedReply::raw(200, newMap, "application/json"));

    HttpTransport transport;
    RebasingDownloader downloader(transport.downloader(), server.baseUrl());
    const SigningKey key = SigningKey::generate();
    TestUpdateService service(&downloader, key.publicKey);
    service.installResult = true;

    const QByteArray manifest = manifestJson("0.2.0", "Kestova-0.2.0.exe", newContent.size(), sha256Hex(newContent));
    QCOMPARE(service.evaluateManifest(manifest, key.signManifest(manifest)), ManifestVerdict::UpdateAvailable);
    service.downloadAndInstall([](bool) {});
    QTRY_COMPARE_WITH_TIMEOUT(service.installCalls, 1, 20000);

    QCOMPARE(readFile(cache.filePath("Kestova-0.2.0.exe")), newContent);
    QCOMPARE(readFile(cache.filePath("last.exe")), newContent);
    QCOMPARE(readFile(cache.filePath("last.blockmap")), newMap);

    QStringList ranges;
    for (const testsupport::RecordedRequest &request : server.requestsTo(QStringLiteral("/core/Kestova-0.2.0.exe")))
        ranges.append(QString::fromLatin1(request.header("Range")));
    const qint64 end = newContent.size() - 1;
    QCOMPARE(ranges, (QStringList{QStringLiteral("bytes=%1-%2").arg(2 * kBlock).arg(4 * kBlock - 1),
                                  QStringLiteral("bytes=%1-%2").arg(20 * kBlock).arg(21 * kBlock - 1),
                                  QStringLiteral("bytes=%1-%2").arg(24 * kBlock).arg(end)}));
    QCOMPARE(service.events.first(), QStringLiteral("started"));
    QCOMPARE(service.events.mid(service.events.size() - 3), (QStringList{"progress 100", "finished", "install"}));
}

KESTOVA_TEST_MAIN(UpdateEndToEndTest)
#include "test_update_end_to_end.moc"
