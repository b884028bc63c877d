#include "net/api_path.h"

#include "support/test_main.h"

class ApiPathTest : public QObject
{
    Q_OBJECT
private slots:
    void placesEachIdAsOneSegment_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "r1"
                               << "u2"
                               << "/v1/rooms/r1/members/u2";
        QTest::newRow("slash") << "a/b"
                               << "u"
                               << "/v1/rooms/a%2Fb/members/u";
        QTest::newRow("query and fragment") << "r?x=1#f"
                                            << "u"
                                            << "/v1/rooms/r%3Fx%3D1%23f/members/u";
        QTest::newRow("percent") << "100%"
                                 << "u"
                                 << "/v1/rooms/100%25/members/u";
        QTest::newRow("placeholder in first id") << "%2"
                                                 << "u"
                                                 << "/v1/rooms/%252/members/u";
        QTest::newRow("placeholder in second id") << "r"
                                                  << "%1"
                                                  << "/v1/rooms/r/members/%251";
        QTest::newRow("dot segments") << ".."
                                      << "."
                                      << "/v1/rooms/%2E%2E/members/%2E";
        QTest::newRow("unicode") << QString::fromUtf8("房") << "u"
                                 << "/v1/rooms/%E6%88%BF/members/u";
        QTest::newRow("empty") << ""
                               << "u"
                               << "/v1/rooms//members/u";
    }
    void placesEachIdAsOneSegment()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, expected);
        QCOMPARE(apiPath(QStringLiteral("/v1/rooms/%1/members/%2"), {first, second}), expected);
    }

    void leavesOtherPercentSignsAndUnusedPlaceholders()
    {
        QCOMPARE(apiPath(QStringLiteral("/v1/x?q=%20&id=%1"), {QStringLiteral("a b")}),
                 QStringLiteral("/v1/x?q=%20&id=a%20b"));
        QCOMPARE(apiPath(QStringLiteral("/v1/%2/%1"), {QStringLiteral("a")}), QStringLiteral("/v1/%2/a"));
    }
};

KESTOVA_TEST_MAIN(ApiPathTest)
#include "test_api_path.moc"
