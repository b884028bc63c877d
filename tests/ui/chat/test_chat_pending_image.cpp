#include "ui/chat/chat_pending_image.h"

#include "support/test_main.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

namespace {

QByteArray encoded(const char *format, QSize size = QSize(6, 4))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

} // namespace

class ChatPendingImageTest : public QObject
{
    Q_OBJECT
private slots:
    void sniffsContentNotExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("mime");
        QTest::newRow("png") << "a.png" << encoded("PNG") << "image/png";
        QTest::newRow("png named jpg") << "a.jpg" << encoded("PNG") << "image/png";
        QTest::newRow("jpeg") << "b.jpeg" << encoded("JPEG") << "image/jpeg";
        QTest::newRow("text named png") << "c.png" << QByteArray("just text") << "";
        QTest::newRow("bmp refused") << "d.bmp" << encoded("BMP") << "";
        QTest::newRow("empty file") << "e.png" << QByteArray() << "";
    }
    void sniffsContentNotExtension()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, mime);
        QTemporaryDir dir;
        QCOMPARE(sniffImageMime(writeFile(dir, name, bytes)), mime);
    }

    void missingFileHasNoType() { QCOMPARE(sniffImageMime(QStringLiteral("/no/such/file.png")), QString()); }

    void intakeReadsAcceptedFilesWhole()
    {
        QTemporaryDir dir;
        const QByteArray png = encoded("PNG", QSize(7, 3));
        const PendingImageIntake intake = loadPendingImages({writeFile(dir, "one.png", png)}, 0);
        QVERIFY(intake.rejects.isEmpty());
        QCOMPARE(intake.images.size(), 1);
        const ChatPendingImage &image = intake.images.first();
        QCOMPARE(image.fileName, QStringLiteral("one.png"));
        QCOMPARE(image.data, png);
        QCOMPARE(image.mime, QStringLiteral("image/png"));
        QCOMPARE(image.width, 7);
        QCOMPARE(image.height, 3);
    }

    void countLimit_data()
    {
        QTest::addColumn<int>("attached");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("accepted");
        QTest::newRow("three attached, two picked") << 3 << 2 << 1;
        QTest::newRow("none attached, six picked") << 0 << 6 << 4;
        QTest::newRow("four attached") << 4 << 1 << 0;
        QTest::newRow("within the limit") << 1 << 3 << 3;
    }
    void countLimit()
    {
        QFETCH(int, attached);
        QFETCH(int, files);
        QFETCH(int, accepted);
        QTemporaryDir dir;
        QStringList paths;
        for (int i = 0; i < files; ++i)
            paths << writeFile(dir, QStringLiteral("%1.png").arg(i), encoded("PNG"));
        const PendingImageIntake intake = loadPendingImages(paths, attached);
        QCOMPARE(intake.images.size(), accepted);
        const QStringList expectedRejects =
            attached + files > 4 ? QStringList{QStringLiteral("超出单条 4 张上限")} : QStringList{};
        QCOMPARE(intake.rejects, expectedRejects);
    }

    void rejectsDoNotCountTowardsTheLimit()
    {
        QTemporaryDir dir;
        QStringList paths{writeFile(dir, "bad.png", "text")};
        for (int i = 0; i < 4; ++i)
            paths << writeFile(dir, QStringLiteral("%1.png").arg(i), encoded("PNG"));
        const PendingImageIntake intake = loadPendingImages(paths, 0);
        QCOMPARE(intake.images.size(), 4);
        QCOMPARE(intake.rejects, QStringList{QStringLiteral("bad.png (不支持的格式)")});
    }

    void sizeLimitIsInclusive()
    {
        QTemporaryDir dir;
        // A valid PNG padded after its end chunk: still a PNG, of the exact size wanted.
        QByteArray atLimit = encoded("PNG");
        atLimit.append(QByteArray(int(chatimages::kMaxImageFileBytes - atLimit.size()), '\0'));
        QByteArray overLimit = atLimit + QByteArray(1, '\0');
        const PendingImageIntake intake =
            loadPendingImages({writeFile(dir, "ok.png", atLimit), writeFile(dir, "big.png", overLimit)}, 0);
        QCOMPARE(intake.images.size(), 1);
        QCOMPARE(intake.images.first().data.size(), chatimages::kMaxImageFileBytes);
        QCOMPARE(intake.rejects, QStringList{QStringLiteral("big.png (超过 10 MB)")});
    }

    void clipboardImageBecomesPng()
    {
        QImage image(9, 5, QImage::Format_ARGB32);
        image.fill(Qt::blue);
        const ChatPendingImage pending = pendingImageFromClipboard(image, QStringLiteral("剪贴板图片.png"));
        QCOMPARE(pending.mime, QStringLiteral("image/png"));
        QCOMPARE(pending.fileName, QStringLiteral("剪贴板图片.png"));
        QCOMPARE(pending.width, 9);
        QCOMPARE(pending.height, 5);
        QImage decoded;
        QVERIFY(decoded.loadFromData(pending.data, "PNG"));
        QCOMPARE(decoded.size(), QSize(9, 5));
    }

    void listTravelsInQueuedSignals() { QVERIFY(QMetaType::fromName("QList<ChatPendingImage>").isValid()); }
};

KESTOVA_TEST_MAIN(ChatPendingImageTest)
#include "test_chat_pending_image.moc"
