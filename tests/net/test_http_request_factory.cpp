#include "net/http_request_factory.h"

#include "support/test_main.h"

#include <QNetworkRequest>

class HttpRequestFactoryTest : public QObject
{
    Q_OBJECT
private slots:
    void joinsBaseAndPath_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("host only") << "https://api.example.test"
                                   << "/v1/users/me"
                                   << "https://api.example.test/v1/users/me";
        QTest::newRow("host with slash") << "https://api.example.test/"
                                         << "/v1/users/me"
                                         << "https://api.example.test/v1/users/me";
        QTest::newRow("path without slash") << "https://api.example.test"
                                            << "v1/users/me"
                                            << "https://api.example.test/v1/users/me";
        QTest::newRow("base path") << "http://127.0.0.1:8080/api"
                                   << "/v1/rooms"
                                   << "http://127.0.0.1:8080/api/v1/rooms";
        QTest::newRow("base path, both slashes") << "http://127.0.0.1:8080/api/"
                                                 << "//v1/rooms"
                                                 << "http://127.0.0.1:8080/api/v1/rooms";
        QTest::newRow("query kept") << "https://api.example.test"
                                    << "/v1/im/rooms/r1/messages?beforeSeq=42&limit=50"
                                    << "https://api.example.test/v1/im/rooms/r1/messages?beforeSeq=42&limit=50";
        QTest::newRow("escapes kept") << "https://api.example.test"
                                      << "/v1/users/a%20b?q=%E4%BD%A0"
                                      << "https://api.example.test/v1/users/a%20b?q=%E4%BD%A0";
        QTest::newRow("space encoded") << "https://api.example.test"
                                       << "/v1/users/a b"
                                       << "https://api.example.test/v1/users/a%20b";
    }
    void joinsBaseAndPath()
    {
        QFETCH(QString, base);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        HttpRequestFactory factory;
        factory.setBaseUrl(QUrl(base, QUrl::TolerantMode));
        QCOMPARE(factory.createRequest(path).url().toString(QUrl::FullyEncoded), expected);
    }

    void setsCommonHeadersOnEveryRequest()
    {
        HttpRequestFactory factory;
        factory.setBaseUrl(QUrl(QStringLiteral("https://api.example.test")));
        factory.setCommonHeader("Content-Type", "text/plain");
        factory.setCommonHeader("content-type", "application/json");
        const QNetworkRequest request = factory.createRequest(QStringLiteral("/v1/a"));
        QCOMPARE(request.rawHeaderList().size(), 1);
        QCOMPARE(request.rawHeader("Content-Type"), QByteArray("application/json"));
    }
};

KESTOVA_TEST_MAIN(HttpRequestFactoryTest)
#include "test_http_request_factory.moc"
