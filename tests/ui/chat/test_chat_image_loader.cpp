#include "ui/chat/chat_image_loader.h"

#include "net/raw_transfer_client.h"
#include "support/loopback_http_server.h"
#include "support/pending_raw_downloader.h"
#include "support/test_main.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QThreadPool>

#include <memory>

using testsupport::LoopbackHttpServer;
using testsupport::PendingRawDownloader;
using testsupport::ScriptedReply;

Q_DECLARE_METATYPE(HttpResponse)

namespace {

QByteArray png(QSize size, QColor colour = Qt::green)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Collects what the callbacks of one test receive, in order.
struct Results
{
    QList<QPixmap> pixmaps;
    QStringList tags;
    ChatImageLoader::Callback collect(const QString &tag)
    {
        return [this, tag](const QPixmap &pixmap) {
            pixmaps.append(pixmap);
            tags.append(tag);
        };
    }
};

} // namespace

class ChatImageLoaderTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        // Every test starts with an empty disk cache.
        ChatImageLoader probe(nullptr);
        QDir(probe.cacheDirectory()).removeRecursively();
    }

    void downloadsScalesAndCachesOnDisk()
    {
        LoopbackHttpServer server;
        QVERIFY(server.listen());
        server.serveFile(QStringLiteral("/a.png"), png(QSize(4000, 3000)));
        RawTransferClient http;
        ChatImageLoader loader(&http);
        Results results;
        const QString key = QStringLiteral("att:1/x@200x150");
        loader.load(key, server.url(QStringLiteral("/a.png")), QSize(200, 150), 2.0, this, results.collect("a"));
        QTRY_COMPARE(results.pixmaps.size(), 1);
        const QPixmap pixmap = results.pixmaps.first();
        QCOMPARE(pixmap.size(), QSize(400, 300));
        QCOMPARE(pixmap.devicePixelRatio(), 2.0);
        QVERIFY(QFile::exists(loader.cacheDirectory() + QStringLiteral("/att_1_x@200x150")));

        // A memory hit answers before load returns, without a request.
        bool answered = false;
        loader.load(key, server.url(QStringLiteral("/a.png")), QSize(200, 150), 2.0, this,
                    [&answered](const QPixmap &p) { answered = !p.isNull(); });
        QVERIFY(answered);
        QCOMPARE(server.requestsTo(QStringLiteral("/a.png")).size(), 1);

        // Another loader (a later run) reuses the disk copy and asks the network nothing.
        ChatImageLoader second(&http);
        Results again;
        second.load(key, server.url(QStringLiteral("/a.png")), QSize(200, 150), 2.0, this, again.collect("b"));
        QTRY_COMPARE(again.pixmaps.size(), 1);
        QCOMPARE(again.pixmaps.first().size(), QSize(400, 300));
        QCOMPARE(server.requestsTo(QStringLiteral("/a.png")).size(), 1);
    }

    void smallImagesAreNeverEnlarged()
    {
        PendingRawDownloader downloader;
        ChatImageLoader loader(&downloader);
        Results results;
        loader.load(QStringLiteral("small@200x150"), QStringLiteral("http://h/s"), QSize(200, 150), 2.0, this,
                    results.collect("s"));
        QTRY_COMPARE(downloader.count(), 1);
        downloader.reply(0, PendingRawDownloader::ok(png(QSize(100, 80))));
        QTRY_COMPARE(results.pixmaps.size(), 1);
        QCOMPARE(results.pixmaps.first().size(), QSize(100, 80));
    }

    void concurrentLoadsShareOneDownload()
    {
        PendingRawDownloader downloader;
        ChatImageLoader loader(&downloader);
        Results results;
        auto gone = std::make_unique<QObject>();
        const QString key = QStringLiteral("shared@10x10");
        loader.load(key, QStringLiteral("http://h/i"), QSize(10, 10), 1.0, this, results.collect("first"));
        loader.load(key, QStringLiteral("http://h/i"), QSize(10, 10), 1.0, gone.get(), results.collect("gone"));
        loader.load(key, QStringLiteral("http://h/i"), QSize(10, 10), 1.0, this, results.collect("third"));
        QTRY_COMPARE(downloader.count(), 1);
        gone.reset();
        downloader.reply(0, PendingRawDownloader::ok(png(QSize(10, 10))));
        QTRY_COMPARE(results.tags.size(), 2);
        QCOMPARE(results.tags, (QStringList{"first", "third"}));
        QCOMPARE(results.pixmaps.at(0).cacheKey(), results.pixmaps.at(1).cacheKey());
        QCOMPARE(downloader.count(), 1);
    }

    void failuresLeaveNothingCached_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::newRow("404") << PendingRawDownloader::status(404, "missing");
        QTest::newRow("network error") << PendingRawDownloader::networkFailure();
        QTest::newRow("time-out") << PendingRawDownloader::timeout();
        QTest::newRow("empty body") << PendingRawDownloader::ok(QByteArray());
    }
    void failuresLeaveNothingCached()
    {
        QFETCH(HttpResponse, response);
        PendingRawDownloader downloader;
        ChatImageLoader loader(&downloader);
        qint64 now = 1'000'000;
        loader.setClock([&now] { return now; });
        Results results;
        const QString key = QStringLiteral("fail@10x10");
        loader.load(key, QStringLiteral("http://h/f"), QSize(10, 10), 1.0, this, results.collect("1"));
        QTRY_COMPARE(downloader.count(), 1);
        downloader.reply(0, response);
        QTRY_COMPARE(results.pixmaps.size(), 1);
        QVERIFY(results.pixmaps.first().isNull());
        QVERIFY(!QFile::exists(loader.cacheDirectory() + QStringLiteral("/fail@10x10")));
        // The failure is remembered for a while: loads of that address within it, also at
        // another size, fail without a download.
        loader.load(key, QStringLiteral("http://h/f"), QSize(10, 10), 1.0, this, results.collect("2"));
        loader.load(QStringLiteral("fail@20x20"), QStringLiteral("http://h/f"), QSize(20, 20), 1.0, this,
                    results.collect("3"));
        QTRY_COMPARE(results.pixmaps.size(), 3);
        QVERIFY(results.pixmaps.at(1).isNull() && results.pixmaps.at(2).isNull());
        now += ChatImageLoader::kFailureMemoryMs - 1;
        loader.load(key, QStringLiteral("http://h/f"), QSize(10, 10), 1.0, this, results.collect("4"));
        QTRY_COMPARE(results.pixmaps.size(), 4);
        QCOMPARE(downloader.count(), 1);
        // Nothing else was kept: after that time the next load downloads again.
        now += 1;
        loader.load(key, QStringLiteral("http://h/f"), QSize(10, 10), 1.0, this, results.collect("5"));
        QTRY_COMPARE(downloader.count(), 2);
    }

    void undecodableAndOversizedImagesFail_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("garbage") << QByteArray("not an image at all");
        // A PNG header claiming 100000 x 100000 pixels: refused before any pixel is allocated.
        QByteArray huge = png(QSize(1, 1));
        const quint32 side = 100000;
        for (int i = 0; i < 4; ++i) {
            huge[16 + i] = char((side >> (24 - 8 * i)) & 0xff);
            huge[20 + i] = char((side >> (24 - 8 * i)) & 0xff);
        }
        QTest::newRow("oversized") << huge;
    }
    void undecodableAndOversizedImagesFail()
    {
        QFETCH(QByteArray, body);
        PendingRawDownloader downloader;
        ChatImageLoader loader(&downloader);
        Results results;
        loader.load(QStringLiteral("bad@10x10"), QStringLiteral("http://h/b"), QSize(10, 10), 1.0, this,
                    results.collect("b"));
        QTRY_COMPARE(downloader.count(), 1);
        downloader.reply(0, PendingRawDownloader::ok(body));
        QTRY_COMPARE(results.pixmaps.size(), 1);
        QVERIFY(results.pixmaps.first().isNull());
    }

    void emptyUrlWithoutDiskCopyFails()
    {
        PendingRawDownloader downloader;
        ChatImageLoader loader(&downloader);
        Results results;
        loader.load(QStringLiteral("nourl@1x1"), QString(), QSize(1, 1), 1.0, this, results.collect("n"));
        QTRY_COMPARE(results.pixmaps.size(), 1);
        QVERIFY(results.pixmaps.first().isNull());
        QCOMPARE(downloader.count(), 0);
    }

    void hostileKeysStayInsideTheCacheFolder_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("file");
        QTest::newRow("parent folders") << "../../escape@1x1"
                                        << "______escape@1x1";
        QTest::newRow("absolute") << "/etc/passwd"
                                  << "_etc_passwd";
        QTest::newRow("colon and dash") << "a:b-c@2x3"
                                        << "a_b-c@2x3";
        QTest::newRow("dots only") << ".."
                                   << "__";
    }
    void hostileKeysStayInsideTheCacheFolder()
    {
        QFETCH(QString, key);
        QFETCH(QString, file);
        QCOMPARE(ChatImageLoader::sanitizeCacheKey(key), file);
        PendingRawDownloader downloader;
        ChatImageLoader loader(&downloader);
        Results results;
        loader.load(key, QStringLiteral("http://h/k"), QSize(4, 4), 1.0, this, results.collect("k"));
        QTRY_COMPARE(downloader.count(), 1);
        downloader.reply(0, PendingRawDownloader::ok(png(QSize(4, 4))));
        QTRY_COMPARE(results.pixmaps.size(), 1);
        QCOMPARE(QDir(loader.cacheDirectory()).entryList(QDir::Files), QStringList{file});
    }

    void memoryCacheEvictsLeastRecentlyUsed()
    {
        PendingRawDownloader downloader;
        ChatImageLoader loader(&downloader);
        // Room for two 10x10 pixmaps (400 bytes each), not three.
        loader.setCacheLimits(800, ChatImageLoader::kDefaultDiskLimit);
        Results results;
        bool stalled = false;
        // True when the load was answered from memory, before it returned.
        auto fetch = [&](const QString &key) -> bool {
            const int before = results.pixmaps.size();
            loader.load(key, QStringLiteral("http://h/") + key, QSize(10, 10), 1.0, this, results.collect(key));
            if (results.pixmaps.size() > before)
                return true;
            stalled |=
                !QTest::qWaitFor([&] { return downloader.pendingCount() == 1 || results.pixmaps.size() > before; });
            if (downloader.pendingCount() == 1)
                downloader.replyTo(key, PendingRawDownloader::ok(png(QSize(10, 10))));
            stalled |= !QTest::qWaitFor([&] { return results.pixmaps.size() > before; });
            return false;
        };
        QVERIFY(!fetch("a"));
        QVERIFY(!fetch("b"));
        QVERIFY(fetch("a"));  // a is now the most recently used
        QVERIFY(!fetch("c")); // evicts b
        QVERIFY(fetch("a"));
        QVERIFY(fetch("c"));
        const int downloads = downloader.count();
        QVERIFY(!fetch("b")); // from disk now, not from memory
        QCOMPARE(downloader.count(), downloads);
        QVERIFY(!stalled);
    }

    void diskCacheEvictsOldestFiles()
    {
        PendingRawDownloader downloader;
        ChatImageLoader loader(&downloader);
        const QByteArray image = png(QSize(8, 8));
        loader.setCacheLimits(ChatImageLoader::kDefaultMemoryLimit, image.size() * 2);
        Results results;
        const QStringList keys{"d1", "d2", "d3"};
        for (int i = 0; i < keys.size(); ++i) {
            loader.load(keys.at(i), QStringLiteral("http://h/") + keys.at(i), QSize(8, 8), 1.0, this,
                        results.collect(keys.at(i)));
            QTRY_COMPARE(downloader.count(), i + 1);
            downloader.reply(i, PendingRawDownloader::ok(image));
            QTRY_COMPARE(results.pixmaps.size(), i + 1);
            // File times have a coarse resolution on some file systems.
            // Setting a file time needs an open file.
            QFile file(loader.cacheDirectory() + "/" + keys.at(i));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(i - 10), QFileDevice::FileModificationTime));
        }
        QCOMPARE(QDir(loader.cacheDirectory()).entryList(QDir::Files, QDir::Name), (QStringList{"d2", "d3"}));
    }

    void lateResultAfterLoaderIsGoneIsDropped()
    {
        PendingRawDownloader downloader;
        Results results;
        {
            ChatImageLoader loader(&downloader);
            loader.load(QStringLiteral("late@4x4"), QStringLiteral("http://h/late"), QSize(4, 4), 1.0, this,
                        results.collect("late"));
            QTRY_COMPARE(downloader.count(), 1);
        }
        downloader.reply(0, PendingRawDownloader::ok(png(QSize(4, 4))));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QVERIFY(results.pixmaps.isEmpty());
    }

    // The loader goes while its disk reads are still running on the pool: their results
    // are dropped on the GUI thread, and nothing reaches the gone loader.
    void loaderDestroyedWhileTasksRun()
    {
        PendingRawDownloader downloader;
        Results results;
        for (int round = 0; round < 20; ++round) {
            auto loader = std::make_unique<ChatImageLoader>(&downloader);
            for (int i = 0; i < 8; ++i) {
                const QString key = QStringLiteral("race%1-%2@4x4").arg(round).arg(i);
                loader->load(key, QStringLiteral("http://h/") + key, QSize(4, 4), 1.0, this, results.collect(key));
            }
            loader.reset();
        }
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QVERIFY(results.pixmaps.isEmpty());
        QCOMPARE(downloader.count(), 0);
    }
};

KESTOVA_TEST_MAIN(ChatImageLoaderTest)
#include "test_chat_image_loader.moc"
