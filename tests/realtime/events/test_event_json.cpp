#include "realtime/events/event_json.h"
#include "support/test_main.h"

#include <QJsonDocument>

namespace {

// The payload {"v": <valueJson>}, or {} when valueJson is empty, parsed from text
// so that numbers take the form they have when they come off the wire.
QJsonObject payloadWith(const QByteArray &valueJson)
{
    if (valueJson.isEmpty())
        return {};
    return QJsonDocument::fromJson("{\"v\": " + valueJson + "}").object();
}

QJsonArray arrayOf(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).array();
}

} // namespace

class EventJsonTest : public QObject
{
    Q_OBJECT

private slots:
    void conversions_data()
    {
        QTest::addColumn<QByteArray>("valueJson");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("int64");
        QTest::addColumn<int>("int32");
        QTest::addColumn<bool>("boolean");
        // -1 absent, 0 present false, 1 present true
        QTest::addColumn<int>("optionalBool");
        QTest::addColumn<bool>("optionalTextPresent");

        QTest::newRow("missing") << QByteArray() << "" << 0ll << 0 << false << -1 << false;
        QTest::newRow("null") << QByteArray("null") << "" << 0ll << 0 << false << -1 << false;
        QTest::newRow("empty string") << QByteArray("\"\"") << "" << 0ll << 0 << false << 0 << true;
        QTest::newRow("decimal string") << QByteArray("\"42\"") << "42" << 42ll << 0 << false << 0 << true;
        QTest::newRow("negative decimal string") << QByteArray("\"-7\"") << "-7" << -7ll << 0 << false << 0 << true;
        QTest::newRow("fraction string") << QByteArray("\"42.5\"") << "42.5" << 0ll << 0 << false << 0 << true;
        QTest::newRow("word") << QByteArray("\"abc\"") << "abc" << 0ll << 0 << false << 0 << true;
        QTest::newRow("true as string") << QByteArray("\"true\"") << "true" << 0ll << 0 << false << 0 << true;
        QTest::newRow("whole number") << QByteArray("42") << "" << 42ll << 42 << false << 0 << true;
        QTest::newRow("negative number") << QByteArray("-1") << "" << -1ll << -1 << false << 0 << true;
        QTest::newRow("whole number with point")
            << QByteArray("64000.0") << "" << 64000ll << 64000 << false << 0 << true;
        // The variant conversion rounds a fraction; the int reading refuses it.
        QTest::newRow("fraction rounds up") << QByteArray("1.5") << "" << 2ll << 0 << false << 0 << true;
        QTest::newRow("fraction rounds down") << QByteArray("2.4") << "" << 2ll << 0 << false << 0 << true;
        QTest::newRow("beyond int") << QByteArray("3000000000") << "" << 3000000000ll << 0 << false << 0 << true;
        QTest::newRow("beyond double precision")
            << QByteArray("9007199254740993") << "" << 9007199254740993ll << 0 << false << 0 << true;
        QTest::newRow("int64 max") << QByteArray("9223372036854775807") << "" << 9223372036854775807ll << 0 << false
                                   << 0 << true;
        QTest::newRow("int64 max as string") << QByteArray("\"9223372036854775807\"") << "9223372036854775807"
                                             << 9223372036854775807ll << 0 << false << 0 << true;
        QTest::newRow("beyond int64") << QByteArray("1e30") << "" << 0ll << 0 << false << 0 << true;
        QTest::newRow("below int64") << QByteArray("-1e30") << "" << 0ll << 0 << false << 0 << true;
        QTest::newRow("true") << QByteArray("true") << "" << 1ll << 0 << true << 1 << true;
        QTest::newRow("false") << QByteArray("false") << "" << 0ll << 0 << false << 0 << true;
        QTest::newRow("array") << QByteArray("[1]") << "" << 0ll << 0 << false << 0 << true;
        QTest::newRow("object") << QByteArray("{\"v\": 1}") << "" << 0ll << 0 << false << 0 << true;
    }

    void conversions()
    {
        QFETCH(QByteArray, valueJson);
        QFETCH(QString, text);
        QFETCH(qint64, int64);
        QFETCH(int, int32);
        QFETCH(bool, boolean);
        QFETCH(int, optionalBool);
        QFETCH(bool, optionalTextPresent);

        const QJsonObject payload = payloadWith(valueJson);
        QCOMPARE(eventText(payload, "v"), text);
        QCOMPARE(eventRequiredText(payload, "v").has_value(), !text.isEmpty());
        QCOMPARE(eventInt64(payload, "v"), int64);
        QCOMPARE(eventInt(payload, "v"), int32);
        QCOMPARE(eventBool(payload, "v"), boolean);

        const std::optional<bool> optional = eventOptionalBool(payload, "v");
        QCOMPARE(optional.has_value(), optionalBool >= 0);
        if (optional)
            QCOMPARE(*optional, optionalBool == 1);

        const std::optional<QString> optionalText = eventOptionalText(payload, "v");
        QCOMPARE(optionalText.has_value(), optionalTextPresent);
        if (optionalText)
            QCOMPARE(*optionalText, text);
    }

    void keysAreExactAndCaseSensitive()
    {
        const QJsonObject payload{{"roomId", "r1"}};
        QCOMPARE(eventText(payload, "roomId"), QString("r1"));
        QVERIFY(eventText(payload, "roomid").isEmpty());
        QVERIFY(!eventRequiredText(payload, "RoomId"));
    }

    void containersFallBackToEmpty()
    {
        const QJsonObject payload{{"list", QJsonObject{{"a", 1}}}, {"object", QJsonArray{1, 2}}};
        QVERIFY(eventArray(payload, "list").isEmpty());
        QVERIFY(eventArray(payload, "missing").isEmpty());
        QVERIFY(eventObject(payload, "object").isEmpty());
        QVERIFY(eventObject(payload, "missing").isEmpty());
    }

    void stringListKeepsEveryElement_data()
    {
        QTest::addColumn<QByteArray>("arrayJson");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("empty") << QByteArray("[]") << QStringList();
        QTest::newRow("non-strings give empty entries")
            << QByteArray(R"(["a", 5, "b", null, true, {}, []])") << QStringList{"a", "", "b", "", "", "", ""};
        QTest::newRow("duplicates stay") << QByteArray(R"(["a", "a", ""])") << QStringList{"a", "a", ""};
    }

    void stringListKeepsEveryElement()
    {
        QFETCH(QByteArray, arrayJson);
        QFETCH(QStringList, expected);
        QCOMPARE(parseStringList(arrayOf(arrayJson)), expected);
    }

    void userIdListReadsUserIdOfEachElement_data()
    {
        QTest::addColumn<QByteArray>("arrayJson");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("mixed elements") << QByteArray(R"([{"userId": "u1"}, {"userId": ""}, "u2", {"name": "x"}])")
                                        << QStringList{"u1", "", "", ""};
        QTest::newRow("non-string user ids")
            << QByteArray(R"([{"userId": 7}, {"userId": null}, 3, null])") << QStringList{"", "", "", ""};
        QTest::newRow("duplicates stay") << QByteArray(R"([{"userId": "u1"}, {"userId": "u1"}])")
                                         << QStringList{"u1", "u1"};
    }

    void userIdListReadsUserIdOfEachElement()
    {
        QFETCH(QByteArray, arrayJson);
        QFETCH(QStringList, expected);
        QCOMPARE(parseUserIdList(arrayOf(arrayJson)), expected);
    }
};

KESTOVA_TEST_MAIN(EventJsonTest)
#include "test_event_json.moc"
