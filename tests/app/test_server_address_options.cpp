#include "app/server_address_options.h"
#include "build_config.h"
#include "net/server_addresses.h"
#include "support/test_main.h"

class ServerAddressOptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void addresses_data();
    void addresses();
};

void ServerAddressOptionsTest::init()
{
    qunsetenv("KESTOVA_API_BASE_URL");
    qunsetenv("KESTOVA_ASSET_BASE_URL");
    serveraddress::setApiBaseUrl({});
    serveraddress::setAssetBaseUrl({});
}

void ServerAddressOptionsTest::cleanup()
{
    init();
}

void ServerAddressOptionsTest::addresses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("apiEnv");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("api");
    QTest::addColumn<QString>("assets");

    const QString builtInApi = QString::fromLatin1(buildconfig::kApiBaseUrl);
    const QString builtInAssets = QString::fromLatin1(buildconfig::kAssetBaseUrl);
    const QString local = QStringLiteral("http://127.0.0.1:8080");

    QTest::newRow("nothing given") << QStringList{"kestova"} << QString() << true << builtInApi << builtInAssets;
    QTest::newRow("both options") << QStringList{"kestova", "--api", local, "--assets=" + local + "/"} << QString()
                                  << true << local << local;
    QTest::newRow("environment") << QStringList{"kestova"} << "http://127.0.0.1:9000/" << true
                                 << "http://127.0.0.1:9000" << builtInAssets;
    QTest::newRow("option beats environment")
        << QStringList{"kestova", "--api", local} << "http://127.0.0.1:9000" << true << local << builtInAssets;
    QTest::newRow("empty environment") << QStringList{"kestova"} << "" << true << builtInApi << builtInAssets;
    QTest::newRow("other arguments kept apart")
        << QStringList{"kestova", "-platform", "offscreen"} << QString() << true << builtInApi << builtInAssets;
    QTest::newRow("missing value") << QStringList{"kestova", "--api"} << QString() << false << builtInApi
                                   << builtInAssets;
    QTest::newRow("not http") << QStringList{"kestova", "--api", "ftp://host", "--assets", local} << QString() << false
                              << builtInApi << builtInAssets;
    QTest::newRow("no host") << QStringList{"kestova", "--assets", "http://"} << QString() << false << builtInApi
                             << builtInAssets;
    QTest::newRow("query") << QStringList{"kestova", "--api", "http://host/?x=1"} << QString() << false << builtInApi
                           << builtInAssets;
    QTest::newRow("bad environment") << QStringList{"kestova", "--assets", local} << "not a url" << false << builtInApi
                                     << builtInAssets;
}

void ServerAddressOptionsTest::addresses()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, apiEnv);
    QFETCH(bool, accepted);
    QFETCH(QString, api);
    QFETCH(QString, assets);

    if (!apiEnv.isNull())
        qputenv("KESTOVA_API_BASE_URL", apiEnv.toUtf8());
    QString error;
    QCOMPARE(applyServerAddressOptions(arguments, &error), accepted);
    QCOMPARE(error.isEmpty(), accepted);
    // A refused address applies nothing, not even the other, valid one.
    QCOMPARE(serveraddress::apiBaseUrl(), api);
    QCOMPARE(serveraddress::assetBaseUrl(), assets);
}

KESTOVA_TEST_MAIN(ServerAddressOptionsTest)
#include "test_server_address_options.moc"
