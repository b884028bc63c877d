#include "ui/chat/image_viewer_dialog.h"

#include "ui/chat/chat_image_decode.h"

#include "support/pending_raw_downloader.h"
#include "support/test_main.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMovie>
#include <QPointer>
#include <QTemporaryDir>
#include <QThreadPool>

using testsupport::PendingRawDownloader;

namespace {

QByteArray encode(QSize size, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A GIF of one colour (Qt reads GIFs but cannot write them): every pixel is coded
// as a clear code followed by colour 0, so no LZW table is ever built.
QByteArray solidGif(int width, int height)
{
    QByteArray gif("GIF89a");
    auto le16 = [&gif](int v) {
        gif.append(char(v & 0xff));
        gif.append(char((v >> 8) & 0xff));
    };
    le16(width);
    le16(height);
    gif.append(char(0x80)); // global colour table of two entries
    gif.append(char(0));
    gif.append(char(0));
    gif.append(QByteArray::fromHex("1e90ff000000"));
    gif.append(',');
    le16(0);
    le16(0);
    le16(width);
    le16(height);
    gif.append(char(0));
    gif.append(char(2)); // minimum code size: codes are 3 bits wide
    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    auto put = [&](int code) {
        bits |= quint32(code) << count;
        count += 3;
        while (count >= 8) {
            data.append(char(bits & 0xff));
            bits >>= 8;
            count -= 8;
        }
    };
    for (int i = 0; i < width * height; ++i) {
        put(4);
        put(0);
    }
    put(5);
    if (count > 0)
        data.append(char(bits & 0xff));
    for (int i = 0; i < data.size(); i += 255) {
        const QByteArray block = data.mid(i, 255);
        gif.append(char(block.size()));
        gif.append(block);
    }
    gif.append(char(0));
    gif.append(';');
    return gif;
}

// The first label is the image, the second the caption.
QLabel *imageLabel(ImageViewerDialog *dialog)
{
    return dialog->findChildren<QLabel *>().value(0);
}

} // namespace

class ImageViewerDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void byteSizes_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("mebibytes") << qint64(2621440) << "2.5 MB";
        QTest::newRow("kibibytes") << qint64(5000) << "5 KB";
        QTest::newRow("bytes") << qint64(500) << "500 B";
        QTest::newRow("exactly one MiB") << qint64(1048576) << "1.0 MB";
    }
    void byteSizes()
    {
        QFETCH(qint64, size);
        QFETCH(QString, text);
        QCOMPARE(ImageViewerDialog::formatByteSize(size), text);
    }

    void localImageShowsWithCaptionAndFitsTheWindow()
    {
        QWidget window;
        window.resize(1200, 800);
        window.show();
        const QByteArray photo = encode(QSize(4000, 3000), "PNG");
        auto *dialog = new ImageViewerDialog(photo, QStringLiteral("photo.png"), QStringLiteral("image/png"), &window);
        dialog->show();
        QCOMPARE(dialog->size(), QSize(1200, 800));
        QLabel *label = imageLabel(dialog);
        QTRY_VERIFY(!label->pixmap().isNull());
        const QPixmap shown = label->pixmap();
        QVERIFY(shown.width() <= label->width() && shown.height() <= label->height());
        QCOMPARE(shown.width() * 3, shown.height() * 4);
        QVERIFY(dialog->captionText().startsWith(QStringLiteral("photo.png · 4000×3000 · ")));
        dialog->close();
    }

    void smallStillImagesKeepTheirSizeButGifsFill()
    {
        QWidget window;
        window.resize(600, 400);
        window.show();
        auto *still = new ImageViewerDialog(encode(QSize(50, 50), "PNG"), "s.png", "image/png", &window);
        still->show();
        QTRY_VERIFY(!imageLabel(still)->pixmap().isNull());
        QCOMPARE(imageLabel(still)->pixmap().size(), QSize(50, 50));
        still->close();

        auto *gif = new ImageViewerDialog(solidGif(50, 50), "g.gif", "image/gif", &window);
        gif->show();
        QTRY_VERIFY(imageLabel(gif)->movie() != nullptr);
        const QSize area = imageLabel(gif)->size();
        const QSize scaled = imageLabel(gif)->movie()->scaledSize();
        QCOMPARE(scaled.width(), scaled.height());
        QCOMPARE(qMax(scaled.width(), scaled.height()), qMin(area.width(), area.height()));
        gif->close();
    }

    // Full-size images are decoded on the thread pool: the result arrives later from the
    // event loop (never before the call returns), shrunk to fit when asked, null for bytes
    // that are no image, and not at all once the context is gone.
    void imagesDecodeOnThePool()
    {
        const QByteArray photo = encode(QSize(1600, 1200), "png");
        QObject context;
        QList<QImage> results;
        auto collect = [&results](const QImage &image) { results.append(image); };
        decodeImageInBackground(photo, QSize(400, 400), &context, collect);
        decodeImageInBackground(photo, QSize(), &context, collect);
        decodeImageInBackground(QByteArray("not an image"), QSize(), &context, collect);
        QVERIFY(results.isEmpty());
        QTRY_COMPARE(results.size(), 3);
        QList<QSize> sizes;
        int undecodable = 0;
        for (const QImage &image : results) {
            sizes << image.size();
            undecodable += image.isNull() ? 1 : 0;
        }
        QVERIFY(sizes.contains(QSize(400, 300)));
        QVERIFY(sizes.contains(QSize(1600, 1200)));
        QCOMPARE(undecodable, 1);

        bool late = false;
        {
            QObject gone;
            decodeImageInBackground(photo, QSize(), &gone, [&late](const QImage &) { late = true; });
            scaleImageInBackground(QImage(800, 600, QImage::Format_RGB32), QSize(80, 80), &gone,
                                   [&late](const QImage &) { late = true; });
        }
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QVERIFY(!late);
    }

    void remoteFailuresShowTheirState_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("404") << 404 << QByteArray("x") << "图片加载失败";
        QTest::newRow("empty body") << 200 << QByteArray() << "图片加载失败";
        QTest::newRow("undecodable") << 200 << QByteArray("not an image") << "图片解码失败";
    }
    void remoteFailuresShowTheirState()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        PendingRawDownloader downloader;
        auto *dialog = new ImageViewerDialog(&downloader, "http://h/i", "i.png", 10, "image/png", nullptr);
        QVERIFY(imageLabel(dialog)->text().contains(QStringLiteral("加载中…")));
        QCOMPARE(downloader.count(), 1);
        downloader.reply(0, PendingRawDownloader::status(status, body));
        QTRY_VERIFY(imageLabel(dialog)->text().contains(text));
        delete dialog;
    }

    void replyAfterCloseIsDropped()
    {
        PendingRawDownloader downloader;
        QPointer<ImageViewerDialog> dialog =
            new ImageViewerDialog(&downloader, "http://h/i", "i.png", 10, "image/png", nullptr);
        dialog->show();
        QCOMPARE(downloader.count(), 1);
        dialog->close(); // deletes itself
        QTRY_VERIFY(dialog.isNull());
        // A viewer opened next, most likely where the closed one lived: a reply that
        // reached the closed viewer's memory would show up here.
        auto *next = new ImageViewerDialog(&downloader, "http://h/j", "j.png", 10, "image/png", nullptr);
        next->show();
        const QString caption = next->captionText();
        downloader.reply(0, PendingRawDownloader::ok(encode(QSize(4, 4), "PNG")));
        QCoreApplication::processEvents();
        QVERIFY(imageLabel(next)->pixmap().isNull());
        QCOMPARE(next->captionText(), caption);
        QTemporaryDir dir;
        QVERIFY(!next->saveImageTo(dir.filePath(QStringLiteral("nothing.png"))));
        // Its own reply still arrives.
        downloader.reply(1, PendingRawDownloader::ok(encode(QSize(6, 2), "PNG")));
        QTRY_VERIFY(!imageLabel(next)->pixmap().isNull());
        delete next;
    }

    void copyAndSaveUseTheBytes()
    {
        PendingRawDownloader downloader;
        auto *dialog = new ImageViewerDialog(&downloader, "http://h/i", "i.png", 10, "image/png", nullptr);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("saved.png"));
        QVERIFY(!dialog->saveImageTo(path)); // nothing downloaded yet
        const QByteArray bytes = encode(QSize(5, 3), "PNG");
        downloader.reply(0, PendingRawDownloader::ok(bytes));
        QVERIFY(dialog->saveImageTo(path));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), bytes);

        QGuiApplication::clipboard()->clear();
        dialog->copyImage();
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(5, 3));
        delete dialog;
    }

    void caseDifferentGifTypeIsAStillImage()
    {
        auto *dialog = new ImageViewerDialog(solidGif(20, 10), "g.gif", "image/GIF", nullptr);
        dialog->resize(300, 300);
        dialog->show();
        QTRY_VERIFY(!imageLabel(dialog)->pixmap().isNull());
        QVERIFY(imageLabel(dialog)->movie() == nullptr);
        dialog->close();
    }
};

KESTOVA_TEST_MAIN(ImageViewerDialogTest)
#include "test_image_viewer_dialog.moc"
