#include "support/test_main.h"

#include <QAudioBuffer>
#include <QAudioDecoder>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>

#include <cmath>

namespace {

struct Decoded
{
    qint64 frames = 0;
    int sampleRate = 0;
    double peak = 0.0;
    QString error;
};

Decoded decode(const QString &path)
{
    Decoded result;
    QAudioDecoder decoder;
    QObject::connect(&decoder, &QAudioDecoder::bufferReady, &decoder, [&] {
        const QAudioBuffer buffer = decoder.read();
        const QAudioFormat format = buffer.format();
        result.sampleRate = format.sampleRate();
        result.frames += buffer.frameCount();
        const int samples = buffer.sampleCount();
        for (int i = 0; i < samples; ++i) {
            double v = 0.0;
            switch (format.sampleFormat()) {
                case QAudioFormat::Int16: v = buffer.constData<qint16>()[i] / 32768.0; break;
                case QAudioFormat::Int32: v = buffer.constData<qint32>()[i] / 2147483648.0; break;
                case QAudioFormat::Float: v = buffer.constData<float>()[i]; break;
                default: v = 0.0;
            }
            result.peak = std::max(result.peak, std::abs(v));
        }
    });
    bool finished = false;
    QObject::connect(&decoder, &QAudioDecoder::finished, &decoder, [&] { finished = true; });
    QObject::connect(&decoder, qOverload<QAudioDecoder::Error>(&QAudioDecoder::error), &decoder,
                     [&](QAudioDecoder::Error) {
                         result.error = decoder.errorString();
                         finished = true;
                     });
    decoder.setSource(QUrl::fromLocalFile(path));
    decoder.start();
    if (!QTest::qWaitFor([&] { return finished; }, 10000))
        result.error = QStringLiteral("timed out");
    return result;
}

} // namespace

class ResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void everyResourceLoads_data();
    void everyResourceLoads();
    void iconsRenderAt16Pixels_data();
    void iconsRenderAt16Pixels();
    void applicationIcon();
    void soundsDecode();
    void licencesNameTheComponents();
};

void ResourcesTest::everyResourceLoads_data()
{
    QTest::addColumn<QString>("path");
    for (const char *path :
         {":/minimal-theme.qss", ":/licenses.md", ":/icons/icon.ico", ":/sounds/join.ogg", ":/sounds/leave.ogg"})
        QTest::newRow(path) << QString::fromLatin1(path);
}

void ResourcesTest::everyResourceLoads()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    QVERIFY(file.size() > 100);
}

void ResourcesTest::iconsRenderAt16Pixels_data()
{
    QTest::addColumn<QString>("path");
    for (const char *name :
         {"down-arrow", "check-white", "gear", "power", "smile", "image", "compose", "bold", "italic", "underline",
          "strikethrough", "code", "quote", "eye-off", "plus", "eye", "trash"})
        QTest::newRow(name) << QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name));
}

void ResourcesTest::iconsRenderAt16Pixels()
{
    QFETCH(QString, path);
    QSvgRenderer renderer(path);
    QVERIFY(renderer.isValid());
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(0, 0, 16, 16));
    }
    int covered = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            covered += image.pixelColor(x, y).alpha() > 128;
    // Visible but not a filled square.
    QVERIFY2(covered >= 10, qPrintable(QString::number(covered)));
    QVERIFY2(covered < 200, qPrintable(QString::number(covered)));
}

void ResourcesTest::applicationIcon()
{
    const QIcon icon(QStringLiteral(":/icons/icon.ico"));
    QVERIFY(!icon.isNull());
    const QImage image = icon.pixmap(16, 16).toImage();
    QVERIFY(!image.isNull());
    QVERIFY(image.pixelColor(8, 8).alpha() > 0);
}

void ResourcesTest::soundsDecode()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QList<Decoded> decoded;
    for (const char *name : {"join", "leave"}) {
        const QString copy = dir.filePath(QStringLiteral("%1.ogg").arg(QLatin1String(name)));
        QVERIFY(QFile::copy(QStringLiteral(":/sounds/%1.ogg").arg(QLatin1String(name)), copy));
        const Decoded sound = decode(copy);
        QVERIFY2(sound.error.isEmpty(), qPrintable(sound.error));
        QVERIFY(sound.sampleRate > 0);
        const double seconds = double(sound.frames) / sound.sampleRate;
        QVERIFY2(seconds > 0.1 && seconds < 1.0, qPrintable(QString::number(seconds)));          // a short cue
        QVERIFY2(sound.peak > 0.1 && sound.peak < 0.9, qPrintable(QString::number(sound.peak))); // audible, no clipping
        decoded.append(sound);
    }
    QFile join(QStringLiteral(":/sounds/join.ogg"));
    QFile leave(QStringLiteral(":/sounds/leave.ogg"));
    QVERIFY(join.open(QIODevice::ReadOnly) && leave.open(QIODevice::ReadOnly));
    QVERIFY(join.readAll() != leave.readAll());
}

void ResourcesTest::licencesNameTheComponents()
{
    QFile file(QStringLiteral(":/licenses.md"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    for (const char *component : {"Qt 6", "QtKeychain", "libsodium"})
        QVERIFY2(text.contains(QLatin1String(component)), component);
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("| ")) || line.startsWith(QLatin1String("| 组件")))
            continue;
        const QStringList cells = line.split(QLatin1Char('|'), Qt::SkipEmptyParts);
        QCOMPARE(cells.size(), 3);
        QVERIFY2(!cells.last().trimmed().isEmpty(), qPrintable(line));
    }
}

KESTOVA_TEST_MAIN(ResourcesTest)
#include "test_resources.moc"
