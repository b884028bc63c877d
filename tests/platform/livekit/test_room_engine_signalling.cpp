#include "platform/livekit/livekit.h"
#include "platform/livekit/room.h"
#include "support/private_network.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <chrono>
#include <future>

using namespace livekit;

namespace {

// Just enough of the media server's signalling for a room connect, on 127.0.0.1: a session, a
// publisher handle whose join finds one audio publisher in the room, a subscriber handle for that
// feed. The publisher's offer is refused the way a server without a usable address refuses it, so
// a connect that nothing else ended fails with that reason ("janus: Error setting ICE locally"),
// which the test tells apart from any earlier error. `refuse` picks the request that gets an error
// first:
//   Create, PublisherJoin: requests of the connect itself.
//   SubscriberAttach: the attach of the subscriber handle for the feed already in the room.
//   DetachedSubscriberJoin: the feed goes away while its subscriber join is pending; the client
//   detaches the handle, and the join is refused only after that ("No such handle"), as the server
//   does when it handles the two out of order.
// The refused offer is answered only after that first error, so the client always reads them in
// this order.
class FakeMediaServer : public QObject
{
public:
    enum class Refuse { Create, PublisherJoin, SubscriberAttach, DetachedSubscriberJoin };

    static constexpr qint64 kSession = 1001;
    static constexpr qint64 kPublisherHandle = 2001;
    static constexpr qint64 kSubscriberHandle = 2002;
    static constexpr qint64 kRemoteFeed = 77;

    explicit FakeMediaServer(Refuse refuse)
        : m_refuse(refuse)
        , m_server(QStringLiteral("fake media server"), QWebSocketServer::NonSecureMode)
    {
        m_server.setSupportedSubprotocols({QStringLiteral("janus-protocol")});
        connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
            QWebSocket *socket = m_server.nextPendingConnection();
            socket->setParent(this);
            m_socket = socket;
            connect(socket, &QWebSocket::textMessageReceived, this, &FakeMediaServer::onMessage);
        });
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    std::string url() const { return "ws://127.0.0.1:" + std::to_string(m_server.serverPort()) + "/?room=1234"; }
    // Whether the error the row is about was sent (for the subscriber rows: before the offer's).
    bool firstErrorSent() const { return m_firstErrorSent; }
    bool subscriberDetached() const { return m_subscriberDetached; }

private:
    void onMessage(const QString &text)
    {
        const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
        const QString verb = message.value(QStringLiteral("janus")).toString();
        const QString transaction = message.value(QStringLiteral("transaction")).toString();
        const qint64 handle = message.value(QStringLiteral("handle_id")).toInteger();
        const QJsonObject body = message.value(QStringLiteral("body")).toObject();
        const QString request = body.value(QStringLiteral("request")).toString();

        if (verb == QLatin1String("create")) {
            if (m_refuse == Refuse::Create)
                return refuseFirst(transaction, 403,
                                   QStringLiteral("Unauthorized request (wrong or missing secret/token)"));
            return success(transaction, kSession);
        }
        if (verb == QLatin1String("attach")) {
            if (!m_publisherAttached) {
                m_publisherAttached = true;
                return success(transaction, kPublisherHandle);
            }
            if (m_refuse == Refuse::SubscriberAttach)
                return refuseFirst(transaction, 458, QStringLiteral("No such session 1001"));
            return success(transaction, kSubscriberHandle);
        }
        if (verb == QLatin1String("detach")) {
            success(transaction, 0);
            if (handle == kSubscriberHandle && !m_subscriberJoin.isEmpty()) {
                m_subscriberDetached = true;
                refuseFirst(m_subscriberJoin, 459, QStringLiteral("No such handle 2002 in session 1001"));
            }
            return;
        }
        if (verb == QLatin1String("keepalive") || verb == QLatin1String("trickle"))
            return send(
                {{QStringLiteral("janus"), QStringLiteral("ack")}, {QStringLiteral("transaction"), transaction}});
        if (verb == QLatin1String("destroy"))
            return success(transaction, 0);
        if (verb != QLatin1String("message"))
            return;
        if (request == QLatin1String("join") && handle == kPublisherHandle) {
            if (m_refuse == Refuse::PublisherJoin)
                return refuseFirst(transaction, 458, QStringLiteral("No such session 1001"));
            send({{QStringLiteral("janus"), QStringLiteral("ack")}, {QStringLiteral("transaction"), transaction}});
            const QJsonObject stream{{QStringLiteral("type"), QStringLiteral("audio")}, {QStringLiteral("mid"), "0"}};
            const QJsonObject publisher{{QStringLiteral("id"), kRemoteFeed},
                                        {QStringLiteral("display"), QStringLiteral("bob")},
                                        {QStringLiteral("streams"), QJsonArray{stream}}};
            return pluginEvent(transaction, {{QStringLiteral("videoroom"), QStringLiteral("joined")},
                                             {QStringLiteral("room"), 1234},
                                             {QStringLiteral("id"), 11},
                                             {QStringLiteral("private_id"), 12},
                                             {QStringLiteral("publishers"), QJsonArray{publisher}},
                                             {QStringLiteral("attendees"), QJsonArray{}}});
        }
        if (request == QLatin1String("join") && handle == kSubscriberHandle) {
            // Held back: the remote participant stops publishing first.
            m_subscriberJoin = transaction;
            return pluginEvent({}, {{QStringLiteral("videoroom"), QStringLiteral("event")},
                                    {QStringLiteral("room"), 1234},
                                    {QStringLiteral("unpublished"), kRemoteFeed}});
        }
        if (request == QLatin1String("publish")) {
            m_offer = transaction;
            return refuseOffer();
        }
        send({{QStringLiteral("janus"), QStringLiteral("ack")}, {QStringLiteral("transaction"), transaction}});
    }

    void refuseFirst(const QString &transaction, int code, const QString &reason)
    {
        error(transaction, code, reason);
        m_firstErrorSent = true;
        refuseOffer();
    }

    void refuseOffer()
    {
        if (!m_firstErrorSent || m_offer.isEmpty())
            return;
        error(m_offer, 490, QStringLiteral("Error setting ICE locally"));
        m_offer.clear();
    }

    void success(const QString &transaction, qint64 id)
    {
        QJsonObject message{{QStringLiteral("janus"), QStringLiteral("success")},
                            {QStringLiteral("transaction"), transaction}};
        if (id)
            message.insert(QStringLiteral("data"), QJsonObject{{QStringLiteral("id"), id}});
        send(message);
    }

    void error(const QString &transaction, int code, const QString &reason)
    {
        send({{QStringLiteral("janus"), QStringLiteral("error")},
              {QStringLiteral("session_id"), kSession},
              {QStringLiteral("transaction"), transaction},
              {QStringLiteral("error"),
               QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("reason"), reason}}}});
    }

    void pluginEvent(const QString &transaction, const QJsonObject &data)
    {
        QJsonObject message{{QStringLiteral("janus"), QStringLiteral("event")},
                            {QStringLiteral("session_id"), kSession},
                            {QStringLiteral("sender"), kPublisherHandle},
                            {QStringLiteral("plugindata"),
                             QJsonObject{{QStringLiteral("plugin"), QStringLiteral("janus.plugin.videoroom")},
                                         {QStringLiteral("data"), data}}}};
        if (!transaction.isEmpty())
            message.insert(QStringLiteral("transaction"), transaction);
        send(message);
    }

    void send(const QJsonObject &message)
    {
        if (m_socket)
            m_socket->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    }

    const Refuse m_refuse;
    QWebSocketServer m_server;
    QPointer<QWebSocket> m_socket;
    bool m_publisherAttached = false;
    bool m_firstErrorSent = false;
    bool m_subscriberDetached = false;
    QString m_subscriberJoin;
    QString m_offer;
};

} // namespace

Q_DECLARE_METATYPE(FakeMediaServer::Refuse)

// The room's signalling against a scripted server: which error replies end a pending connect.
class RoomEngineSignallingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void connectFailsOnlyForItsOwnRequests_data();
    void connectFailsOnlyForItsOwnRequests();
};

void RoomEngineSignallingTest::initTestCase()
{
    // The publisher's connection gathers candidates: keep it off the machine's own interfaces.
    KESTOVA_REQUIRE_PRIVATE_NETWORK();
    QVERIFY(livekit::initialize(LogLevel::Info));
}

void RoomEngineSignallingTest::connectFailsOnlyForItsOwnRequests_data()
{
    QTest::addColumn<FakeMediaServer::Refuse>("refuse");
    QTest::addColumn<QString>("expected");

    const QString offerRefused = QStringLiteral("janus: Error setting ICE locally");
    QTest::newRow("session refused") << FakeMediaServer::Refuse::Create
                                     << QStringLiteral("janus: Unauthorized request (wrong or missing secret/token)");
    QTest::newRow("publisher join refused")
        << FakeMediaServer::Refuse::PublisherJoin << QStringLiteral("janus: No such session 1001");
    // Errors answering a subscription's requests leave the connect to its own requests.
    QTest::newRow("subscriber attach refused") << FakeMediaServer::Refuse::SubscriberAttach << offerRefused;
    QTest::newRow("join of a detached subscriber refused")
        << FakeMediaServer::Refuse::DetachedSubscriberJoin << offerRefused;
}

void RoomEngineSignallingTest::connectFailsOnlyForItsOwnRequests()
{
    QFETCH(FakeMediaServer::Refuse, refuse);
    QFETCH(QString, expected);

    FakeMediaServer server(refuse);
    QVERIFY(server.listen());
    const std::string url = server.url();
    // The room connects and goes on a thread of its own: connect blocks while this thread serves.
    auto outcome = std::async(std::launch::async, [url] {
        RoomOptions options;
        options.connectTimeoutMs = 20000;
        Room room;
        try {
            room.connect(url, "|room-token|alice", options);
        } catch (const std::exception &e) {
            return std::string(e.what());
        }
        return std::string();
    });
    QTRY_VERIFY_WITH_TIMEOUT(outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 30000);
    QCOMPARE(QString::fromStdString(outcome.get()), expected);
    QVERIFY(server.firstErrorSent());
    if (refuse == FakeMediaServer::Refuse::DetachedSubscriberJoin)
        QVERIFY(server.subscriberDetached());
}

KESTOVA_MEDIA_TEST_MAIN(RoomEngineSignallingTest)
#include "test_room_engine_signalling.moc"
