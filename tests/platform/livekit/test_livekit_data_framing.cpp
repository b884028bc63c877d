#include "platform/livekit/data_framing.h"
#include "support/test_main.h"

#include <stdexcept>

using livekit::detail::DataPacket;
using livekit::detail::frameData;
using livekit::detail::unframeData;

class LiveKitDataFramingTest : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void rejectsBrokenFrames_data();
    void rejectsBrokenFrames();
    void refusesOverlongTopic();
};

void LiveKitDataFramingTest::roundTrip_data()
{
    QTest::addColumn<QByteArray>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("speaking") << QByteArray("spk") << QByteArray("\x01", 1);
    QTest::newRow("empty payload") << QByteArray("spk") << QByteArray();
    QTest::newRow("no topic") << QByteArray() << QByteArray("abc");
    QTest::newRow("longest topic") << QByteArray(255, 't') << QByteArray("\x00\xff", 2);
}

void LiveKitDataFramingTest::roundTrip()
{
    QFETCH(QByteArray, topic);
    QFETCH(QByteArray, payload);
    const std::vector<std::uint8_t> bytes(payload.begin(), payload.end());
    DataPacket packet;
    QVERIFY(unframeData(frameData(topic.toStdString(), bytes), &packet));
    QCOMPARE(QByteArray::fromStdString(packet.topic), topic);
    QVERIFY(packet.payload == bytes);
}

void LiveKitDataFramingTest::rejectsBrokenFrames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("version only") << QByteArray("\x01", 1);
    QTest::newRow("other version") << QByteArray("\x02\x00", 2);
    QTest::newRow("topic cut short") << QByteArray("\x01\x05spk", 5);
}

void LiveKitDataFramingTest::rejectsBrokenFrames()
{
    QFETCH(QByteArray, bytes);
    DataPacket packet;
    QVERIFY(!unframeData(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), &packet));
}

void LiveKitDataFramingTest::refusesOverlongTopic()
{
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, frameData(std::string(256, 't'), {}));
}

KESTOVA_TEST_MAIN(LiveKitDataFramingTest)
#include "test_livekit_data_framing.moc"
