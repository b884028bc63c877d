#include "room/room_apply_service.h"
#include "room/room_attach_apply_service.h"
#include "room_service_fixture.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

using testsupport::jsonReply;
using testsupport::LogCapture;

namespace {

struct ApplyFixture : RoomServiceFixture
{
    qint64 now = 1000;
    RoomApplyService apply{&http, &session};

    ApplyFixture()
    {
        apply.setClock([this] { return now; });
    }

    // Creates a request for the room and answers it.
    void created(const QString &roomId, const QString &requestId, qint64 expiresAtMs, const QString &roomName = {})
    {
        apply.beginApply(roomId);
        QJsonObject body{{"requestId", requestId}, {"expiresAtMs", expiresAtMs}};
        if (!roomName.isEmpty())
            body.insert("roomName", roomName);
        http.reply(http.calls.size() - 1, jsonReply(201, body));
    }

    QStringList pendingIds() const
    {
        QStringList ids;
        for (const RoomApplyService::Pending &p : apply.pendingRequests())
            ids << p.requestId;
        return ids;
    }
};

QJsonObject payload(const QString &requestId, const char *extraKey = nullptr, const QString &extra = {})
{
    QJsonObject object{{"requestId", requestId}, {"roomId", "R"}};
    if (extraKey)
        object.insert(QLatin1StringView(extraKey), extra);
    return object;
}

} // namespace

class RoomApplyServicesTest : public QObject
{
    Q_OBJECT

private slots:
    void createAnnouncesTheRequest()
    {
        ApplyFixture f;
        QSignalSpy created(&f.apply, &RoomApplyService::applyCreated);
        QSignalSpy named(&f.apply, &RoomApplyService::applyNameResolved);
        QStringList order;
        connect(&f.apply, &RoomApplyService::applyCreated, this, [&order] { order << "created"; });
        connect(&f.apply, &RoomApplyService::applyNameResolved, this, [&order] { order << "named"; });

        f.apply.beginApply("R/1");
        QCOMPARE(f.http.calls.size(), 1);
        QCOMPARE(f.http.calls.at(0).method, HttpMethod::Post);
        QCOMPARE(f.http.calls.at(0).path, QString("/v1/rooms/R%2F1/join-requests"));
        QVERIFY(f.http.calls.at(0).body.isEmpty());
        f.now = 1234;
        f.http.reply(0,
                     jsonReply(201, QJsonObject{{"requestId", "q1"}, {"expiresAtMs", "5000"}, {"roomName", "Hall"}}));

        QCOMPARE(created.count(), 1);
        QCOMPARE(created.at(0), (QList<QVariant>{"q1", "R/1", qlonglong(1234), qlonglong(5000)}));
        QCOMPARE(named.at(0), (QList<QVariant>{"q1", "Hall"}));
        QCOMPARE(order, (QStringList{"created", "named"}));

        f.created("S", "q2", 0);
        QCOMPARE(created.count(), 2);
        QCOMPARE(named.count(), 1); // no name, no second signal
    }

    void liveRequestBlocksAndExpiredOneIsPruned()
    {
        ApplyFixture f;
        f.created("R", "q1", 2000);
        f.created("S", "q2", 0);
        QSignalSpy created(&f.apply, &RoomApplyService::applyCreated);

        f.apply.beginApply("R"); // still live
        f.apply.beginApply("S"); // never expires locally
        QCOMPARE(f.http.calls.size(), 2);

        f.now = 2000; // the first one's time is up
        LogCapture logs;
        f.apply.beginApply("R");
        QCOMPARE(f.http.calls.size(), 3);
        QCOMPARE(f.pendingIds(), QStringList{"q2"});
        QCOMPARE(created.count(), 0);
        QVERIFY(!logs.contains("room.apply", "q1"));
    }

    void failedCreateRecordsNothing()
    {
        ApplyFixture f;
        QSignalSpy failed(&f.apply, &RoomApplyService::applyFailed);
        LogCapture logs;
        f.apply.beginApply("R");
        f.http.reply(0, jsonReply(404, QJsonObject{{"code", "room.not_found"}, {"message", "gone"}}));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).value<RoomErrorCode>(), RoomErrorCode::NotFound);
        QCOMPARE(failed.at(0).at(1).toString(), QString("gone"));
        QVERIFY(logs.contains("room.apply", "apply create failed room_id=\"R\" status=404 code=\"room.not_found\""));
        QVERIFY(f.apply.pendingRequests().isEmpty());
        f.apply.beginApply("R");
        QCOMPARE(f.http.calls.size(), 2);
    }

    void decisions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QJsonObject>("event");
        QTest::addColumn<QString>("signal"); // empty: nothing happens
        QTest::newRow("approved") << "room.request.approved" << payload("q1", "approvedBy", "boss") << "approved";
        QTest::newRow("rejected") << "room.request.rejected" << payload("q1", "rejectedBy", "boss") << "rejected";
        QTest::newRow("expired") << "room.request.expired" << payload("q1") << "expired";
        QTest::newRow("unknown id") << "room.request.approved" << payload("q9") << "";
        QTest::newRow("no id") << "room.request.approved" << QJsonObject{{"roomId", "R"}} << "";
        QTest::newRow("created event") << "room.request.created" << payload("q1") << "";
        QTest::newRow("cancelled event") << "room.request.cancelled" << payload("q1") << "";
        QTest::newRow("other family") << "room.subroom.approved" << payload("q1") << "";
    }

    void decisions()
    {
        QFETCH(QString, name);
        QFETCH(QJsonObject, event);
        QFETCH(QString, signal);
        ApplyFixture f;
        f.created("R", "q1", 0, "Hall");
        QSignalSpy approved(&f.apply, &RoomApplyService::applyApproved);
        QSignalSpy rejected(&f.apply, &RoomApplyService::applyRejected);
        QSignalSpy expired(&f.apply, &RoomApplyService::applyExpired);

        f.apply.handleGatewayEvent(name, event);

        QCOMPARE(approved.count(), signal == "approved" ? 1 : 0);
        QCOMPARE(rejected.count(), signal == "rejected" ? 1 : 0);
        QCOMPARE(expired.count(), signal == "expired" ? 1 : 0);
        QCOMPARE(f.apply.pendingRequests().isEmpty(), !signal.isEmpty());
        if (signal == "approved")
            QCOMPARE(approved.at(0), (QList<QVariant>{"q1", "R"}));
        if (signal == "rejected")
            QCOMPARE(rejected.at(0), (QList<QVariant>{"q1", "R", "Hall"})); // the remembered name
        // A decided request is not decided twice.
        f.apply.handleGatewayEvent(name, event);
        QCOMPARE(approved.count() + rejected.count() + expired.count(), signal.isEmpty() ? 0 : 1);
    }

    void userWithdrawal()
    {
        ApplyFixture f;
        f.created("R", "q1", 0);
        QSignalSpy failed(&f.apply, &RoomApplyService::applyFailed);
        QSignalSpy cancelled(&f.apply, &RoomApplyService::applyCancelled);
        f.apply.cancel("q9");
        f.apply.cancel(QString());
        QCOMPARE(f.http.calls.size(), 1);

        f.apply.cancel("q1");
        QCOMPARE(f.http.calls.size(), 2);
        QCOMPARE(f.http.calls.at(1).method, HttpMethod::Delete);
        QCOMPARE(f.http.calls.at(1).path, QString("/v1/rooms/R/join-requests/q1"));
        QVERIFY(f.apply.pendingRequests().isEmpty());
        LogCapture logs;
        f.http.reply(1, jsonReply(409, QJsonObject{{"code", "x"}, {"message", "late"}}));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(cancelled.count(), 0);
        QVERIFY(logs.contains("room.apply", "apply cancel failed room_id=\"R\" request_id=\"q1\" status=409"));
        QVERIFY(!logs.contains("room.apply", "body="));
        QVERIFY(f.apply.pendingRequests().isEmpty()); // not put back
    }

    void enteringARoomWithdrawsEverything()
    {
        ApplyFixture f;
        f.created("Y", "qy", 0);
        f.created("X", "qx", 0);
        QSignalSpy cancelled(&f.apply, &RoomApplyService::applyCancelled);
        QSignalSpy failed(&f.apply, &RoomApplyService::applyFailed);
        connect(&f.session, &ActiveRoomSession::activeRoomChanged, &f.apply, &RoomApplyService::withdrawOnEnter);
        f.clearCalls();

        f.activate("X");
        QCOMPARE(cancelled.count(), 2);
        QCOMPARE(cancelled.at(0).at(0).toString(), QString("qx")); // newest first
        QCOMPARE(cancelled.at(1).at(0).toString(), QString("qy"));
        QCOMPARE(f.http.calls.size(), 2);
        QCOMPARE(f.http.calls.at(0).path, QString("/v1/rooms/X/join-requests/qx"));
        QCOMPARE(f.http.calls.at(1).path, QString("/v1/rooms/Y/join-requests/qy"));
        f.http.reply(0, jsonReply(500));
        QCOMPARE(failed.count(), 0); // an automatic withdrawal only logs

        // The same room again withdraws nothing new.
        f.created("Z", "qz", 0);
        f.apply.withdrawOnEnter();
        QCOMPARE(f.apply.pendingRequests().size(), 1);
    }

    void resetForgetsRequestsAndTheEnteredRoom()
    {
        ApplyFixture f;
        f.activate("X");
        f.apply.withdrawOnEnter();
        f.created("Y", "qy", 0);
        f.apply.reset(); // forgets the remembered room too
        QVERIFY(f.apply.pendingRequests().isEmpty());
        f.created("Y", "qy2", 0);
        QSignalSpy cancelled(&f.apply, &RoomApplyService::applyCancelled);
        f.apply.withdrawOnEnter(); // X counts as newly entered after the reset
        QCOMPARE(cancelled.count(), 1);
        f.apply.handleGatewayEvent("room.request.approved", payload("qy"));
        QVERIFY(f.apply.pendingRequests().isEmpty());
    }

    // Attach applications.

    void trackAndDecide()
    {
        RoomServiceFixture base;
        RoomAttachApplyService attach(&base.http);
        qint64 now = 100;
        attach.setClock([&now] { return now; });
        QSignalSpy created(&attach, &RoomAttachApplyService::attachApplyCreated);
        QSignalSpy named(&attach, &RoomAttachApplyService::attachNameResolved);
        QSignalSpy approved(&attach, &RoomAttachApplyService::attachApproved);
        QSignalSpy rejected(&attach, &RoomAttachApplyService::attachRejected);
        QSignalSpy expired(&attach, &RoomAttachApplyService::attachExpired);

        attach.track("", "P", "C", 0, "x");
        attach.track("a0", "", "C", 0, "x");
        QCOMPARE(created.count(), 0);

        attach.track("a1", "P1", "C", 150, "Parent One");
        attach.track("a2", "P2", "C", 0, "");
        attach.track("a3", "P3", "C", 0, "");
        QCOMPARE(created.at(0), (QList<QVariant>{"a1", "P1", qlonglong(100), qlonglong(150)}));
        QCOMPARE(named.count(), 1);

        // The attached event carries no request id: the pair decides.
        attach.handleGatewayEvent("room.subroom.attached", QJsonObject{{"childRoomId", "C"}, {"parentRoomId", "P9"}});
        QCOMPARE(approved.count(), 0);
        attach.handleGatewayEvent("room.subroom.attached", QJsonObject{{"childRoomId", "C"}, {"parentRoomId", "P1"}});
        QCOMPARE(approved.at(0), (QList<QVariant>{"a1", "Parent One"}));

        attach.handleGatewayEvent("room.subroom.rejected",
                                  QJsonObject{{"requestId", "a2"}, {"trigger", "ttl_expired"}, {"rejectedBy", "x"}});
        QCOMPARE(expired.count(), 1);
        QCOMPARE(rejected.count(), 0);
        attach.handleGatewayEvent("room.subroom.rejected",
                                  QJsonObject{{"requestId", "a3"}, {"trigger", "owner"}, {"rejectedBy", "x"}});
        QCOMPARE(rejected.at(0), (QList<QVariant>{"a3", "P3"})); // no name: the parent id
        QVERIFY(attach.pendingApplications().isEmpty());
    }

    void sameIdTwiceAndCancellations()
    {
        RoomServiceFixture base;
        RoomAttachApplyService attach(&base.http);
        qint64 now = 100;
        attach.setClock([&now] { return now; });
        attach.track("a1", "P", "C", 0, "");
        attach.track("a1", "P", "C", 0, "");
        QCOMPARE(attach.pendingApplications().size(), 2);
        QSignalSpy expired(&attach, &RoomAttachApplyService::attachExpired);
        attach.handleGatewayEvent("room.subroom.cancelled", QJsonObject{{"requestId", "a1"}});
        QCOMPARE(attach.pendingApplications().size(), 1);
        attach.handleGatewayEvent("room.subroom.pending", QJsonObject{{"requestId", "a1"}});
        QCOMPARE(attach.pendingApplications().size(), 1);

        // An expired entry goes silently when the next one is tracked.
        attach.reset();
        attach.track("old", "P", "C", 150, "");
        now = 150;
        QSignalSpy created(&attach, &RoomAttachApplyService::attachApplyCreated);
        attach.track("new", "P", "C", 0, "");
        QCOMPARE(attach.pendingApplications().size(), 1);
        QCOMPARE(attach.pendingApplications().at(0).requestId, QString("new"));
        QCOMPARE(expired.count(), 0);
        QCOMPARE(created.count(), 1);
    }

    void attachWithdrawal()
    {
        RoomServiceFixture base;
        RoomAttachApplyService attach(&base.http);
        QSignalSpy failed(&attach, &RoomAttachApplyService::attachApplyFailed);
        attach.track("a1", "P", "C", 0, "");
        attach.track("a2", "P", "C", 0, "");
        attach.cancel("zz");
        QVERIFY(base.http.calls.isEmpty());
        attach.cancel("a1");
        QCOMPARE(base.http.calls.at(0).method, HttpMethod::Delete);
        QCOMPARE(base.http.calls.at(0).path, QString("/v1/rooms/P/subroom-requests/a1"));
        base.http.reply(0, jsonReply(200));
        QCOMPARE(failed.count(), 0);
        attach.cancel("a2");
        base.http.reply(1, testsupport::timedOutReply());
        QCOMPARE(failed.count(), 1);
        QVERIFY(attach.pendingApplications().isEmpty());
    }
};

KESTOVA_TEST_MAIN(RoomApplyServicesTest)
#include "test_room_apply_services.moc"
