#include "channel/channel_entity_feed.h"
#include "channel/channel_entity_store.h"
#include "channel_test_support.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>

using channeltest::json;
using testsupport::LogCapture;

namespace {

QJsonObject snapshotWithVersion(qint64 version)
{
    QJsonObject snapshot = channeltest::baseSnapshot();
    snapshot.insert("version", version);
    return snapshot;
}

const QJsonObject kJoinU4 = json(R"({"channelId": "c1", "userId": "u4", "roleId": 2, "joinedAt": 4})");
const QJsonObject kJoinU2 = json(R"({"channelId": "c1", "userId": "u2", "roleId": 2, "joinedAt": 4})");

} // namespace

class ChannelEntityStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void referenceCounting()
    {
        ChannelEntityStore store;
        QSignalSpy removed(&store, &ChannelEntityStore::removed);
        QSignalSpy changed(&store, &ChannelEntityStore::changed);
        QCOMPARE(store.retain(QString()), nullptr);
        QCOMPARE(store.find(QString()), nullptr);
        store.release("never");

        ChannelEntity *record = store.retain("c1");
        QVERIFY(record);
        QCOMPARE(record->channelId, QString("c1"));
        QCOMPARE(record->valid, false);
        QCOMPARE(store.retain("c1"), record);
        QCOMPARE(store.find("c1"), record);
        store.release("c1");
        QCOMPARE(store.find("c1"), record);
        QCOMPARE(removed.count(), 0);

        connect(&store, &ChannelEntityStore::removed, this,
                [&store](const QString &id) { QCOMPARE(store.find(id), nullptr); });
        store.release("c1");
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QString("c1"));
        store.release("c1"); // one retain too few: nothing more
        QCOMPARE(removed.count(), 1);
        QCOMPARE(changed.count(), 0); // retain and release never announce a change
    }

    void releasingWithTheRecordsOwnId()
    {
        ChannelEntityStore store;
        QSignalSpy removed(&store, &ChannelEntityStore::removed);
        const ChannelEntity *record = store.retain("c1");
        store.release(record->channelId); // the id dies with the record
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QString("c1"));
    }

    void recordsStayPutWhileReceiversChangeTheStore()
    {
        ChannelEntityStore store;
        ChannelEntityFeed feed(&store);
        const ChannelEntity *record = store.retain("c1");
        connect(&store, &ChannelEntityStore::changed, this, [&store](const QString &) {
            for (int i = 0; i < 200; ++i)
                store.retain(QStringLiteral("other-%1").arg(i));
            for (int i = 0; i < 200; i += 2)
                store.release(QStringLiteral("other-%1").arg(i));
        });
        feed.handleBundle("channel:c1", channeltest::baseSnapshot());
        feed.handleGatewayEvent("channel.member.joined", kJoinU4, 0);
        QCOMPARE(store.find("c1"), record);
        QCOMPARE(record->name, QString("Hall"));
        QCOMPARE(record->members.size(), 4);
    }

    void receiverMayReleaseTheChangedChannel()
    {
        ChannelEntityStore store;
        ChannelEntityFeed feed(&store);
        store.retain("c1");
        QSignalSpy removed(&store, &ChannelEntityStore::removed);
        connect(&store, &ChannelEntityStore::changed, this, [&store](const QString &id) { store.release(id); });
        const ChannelEntity *record = store.find("c1");
        store.applyBundle(record->channelId, ChannelEntity::fromJson(channeltest::baseSnapshot()));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QString("c1"));
        QCOMPARE(store.find("c1"), nullptr);
    }

    void versionGate_data()
    {
        QTest::addColumn<qint64>("eventVersion");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<qint64>("versionAfter");
        QTest::newRow("equal") << qint64(5) << false << qint64(5);
        QTest::newRow("older") << qint64(4) << false << qint64(5);
        QTest::newRow("newer") << qint64(6) << true << qint64(6);
        QTest::newRow("much newer") << Q_INT64_C(9007199254740993) << true << Q_INT64_C(9007199254740993);
        QTest::newRow("unversioned") << qint64(0) << true << qint64(5);
        QTest::newRow("negative") << qint64(-3) << true << qint64(5);
    }

    void versionGate()
    {
        QFETCH(qint64, eventVersion);
        QFETCH(bool, applied);
        QFETCH(qint64, versionAfter);
        ChannelEntityStore store;
        ChannelEntityFeed feed(&store);
        store.retain("c1");
        feed.handleBundle("channel:c1", snapshotWithVersion(5));
        QSignalSpy changed(&store, &ChannelEntityStore::changed);

        feed.handleGatewayEvent("channel.member.joined", kJoinU4, eventVersion);

        const ChannelEntity *record = store.find("c1");
        QCOMPARE(record->version, versionAfter);
        QCOMPARE(record->indexOfMember("u4") >= 0, applied);
        QCOMPARE(changed.count(), applied ? 1 : 0);
    }

    void versionSequence()
    {
        ChannelEntityStore store;
        store.retain("c1");
        store.applyBundle("c1", ChannelEntity::fromJson(snapshotWithVersion(5)));
        const auto join = channeltest::parseEvent("channel.member.joined", kJoinU4);
        const auto leave =
            channeltest::parseEvent("channel.member.left", json(R"({"channelId": "c1", "userId": "u4"})"));
        QCOMPARE(store.applyEvent("c1", *join, 5), false);
        QCOMPARE(store.applyEvent("c1", *join, 6), true);
        QCOMPARE(store.find("c1")->version, qint64(6));
        QCOMPARE(store.applyEvent("c1", *leave, 0), true);
        QCOMPARE(store.find("c1")->version, qint64(6));
        QCOMPARE(store.find("c1")->indexOfMember("u4"), -1);
    }

    void acceptedVersionAnnouncesEvenWithoutChange()
    {
        ChannelEntityStore store;
        store.retain("c1");
        store.applyBundle("c1", ChannelEntity::fromJson(snapshotWithVersion(5)));
        QSignalSpy changed(&store, &ChannelEntityStore::changed);
        const auto again = channeltest::parseEvent("channel.member.joined", kJoinU2);

        QCOMPARE(store.applyEvent("c1", *again, 7), false);
        QCOMPARE(store.find("c1")->version, qint64(7));
        QCOMPARE(changed.count(), 1);

        QCOMPARE(store.applyEvent("c1", *again, 0), false);
        QCOMPARE(changed.count(), 1);

        for (const char *name : {"channel.deleted", "channel.restored"}) {
            const auto event = channeltest::parseEvent(name, json(R"({"channelId": "c1"})"));
            const ChannelEntity before = *store.find("c1");
            QCOMPARE(store.applyEvent("c1", *event, before.version + 1), false);
            ChannelEntity expected = before;
            expected.version = before.version + 1;
            QCOMPARE(*store.find("c1"), expected);
        }
        QCOMPARE(changed.count(), 3);
    }

    void eventsForUnheldChannelsAreDropped()
    {
        ChannelEntityStore store;
        ChannelEntityFeed feed(&store);
        QSignalSpy changed(&store, &ChannelEntityStore::changed);
        feed.handleGatewayEvent("channel.member.joined", kJoinU4, 3);
        feed.handleBundle("channel:c1", channeltest::baseSnapshot());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(store.find("c1"), nullptr);
    }

    void snapshotAlwaysWins()
    {
        ChannelEntityStore store;
        ChannelEntityFeed feed(&store);
        store.retain("c1");
        store.retain("c1");
        feed.handleBundle("channel:c1", snapshotWithVersion(9));
        QSignalSpy changed(&store, &ChannelEntityStore::changed);
        QJsonObject older = snapshotWithVersion(3);
        older.insert("name", "Older");
        feed.handleBundle("channel:c1", older);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), QString("c1"));
        QCOMPARE(*store.find("c1"), ChannelEntity::fromJson(older));
        // The references stay: one release keeps the record.
        store.release("c1");
        QVERIFY(store.find("c1"));
    }

    void snapshotKeepsTheIdItIsHeldUnder()
    {
        ChannelEntityStore store;
        ChannelEntityFeed feed(&store);
        store.retain("c1");
        QJsonObject other = channeltest::baseSnapshot();
        other.insert("channelId", "c2");
        feed.handleBundle("channel:c1", other);
        const ChannelEntity *record = store.find("c1");
        QVERIFY(record->valid);
        QCOMPARE(record->channelId, QString("c1"));
        QCOMPARE(record->name, QString("Hall"));
        QCOMPARE(store.find("c2"), nullptr);
    }

    void bundleTargets_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("applied");
        QTest::newRow("channel stream") << "channel:c1" << true;
        QTest::newRow("no id") << "channel:" << false;
        QTest::newRow("id with colon") << "channel:c1:private" << false;
        QTest::newRow("room stream") << "room:c1" << false;
        QTest::newRow("letter case") << "Channel:c1" << false;
        QTest::newRow("no colon") << "channelc1" << false;
    }

    void bundleTargets()
    {
        QFETCH(QString, target);
        QFETCH(bool, applied);
        ChannelEntityStore store;
        ChannelEntityFeed feed(&store);
        store.retain("c1");
        store.retain("c1:private");
        QSignalSpy changed(&store, &ChannelEntityStore::changed);
        LogCapture logs;
        feed.handleBundle(target, channeltest::baseSnapshot());
        QCOMPARE(changed.count(), applied ? 1 : 0);
        QCOMPARE(store.find("c1")->valid, applied);
        QVERIFY(!store.find("c1:private")->valid);
        QCOMPARE(logs.count("channel.entity", "parse failed"), 0);
    }

    void unparsableSnapshotIsReported()
    {
        ChannelEntityStore store;
        ChannelEntityFeed feed(&store);
        store.retain("c1");
        QSignalSpy changed(&store, &ChannelEntityStore::changed);
        LogCapture logs;
        feed.handleBundle("channel:c1", json(R"({"channelId": "", "name": "x"})"));
        QCOMPARE(changed.count(), 0);
        QVERIFY(logs.contains("channel.entity", "channel bundle parse failed target=\"channel:c1\""));
        QCOMPARE(store.find("c1")->name, QString());
    }

    void eventDispatch_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("payload");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<bool>("parseWarning");
        QTest::newRow("known event") << "channel.room.created"
                                     << R"({"channelId": "c1", "roomId": "r9"})" << true << false;
        QTest::newRow("unknown channel event") << "channel.room.renamed"
                                               << R"({"channelId": "c1", "roomId": "r9"})" << false << false;
        QTest::newRow("name with trailing NUL") << QString::fromUtf8("channel.room.created\0x", 22)
                                                << R"({"channelId": "c1", "roomId": "r9"})" << false << false;
        QTest::newRow("room event") << "room.room.created"
                                    << R"({"channelId": "c1", "roomId": "r9"})" << false << false;
        QTest::newRow("letter case") << "Channel.room.created"
                                     << R"({"channelId": "c1", "roomId": "r9"})" << false << false;
        QTest::newRow("no channel id") << "channel.room.created"
                                       << R"({"roomId": "r9"})" << false << true;
        QTest::newRow("empty channel id") << "channel.room.created"
                                          << R"({"channelId": "", "roomId": "r9"})" << false << true;
        QTest::newRow("other channel") << "channel.room.created"
                                       << R"({"channelId": "c2", "roomId": "r9"})" << false << false;
    }

    void eventDispatch()
    {
        QFETCH(QString, name);
        QFETCH(QString, payload);
        QFETCH(bool, applied);
        QFETCH(bool, parseWarning);
        ChannelEntityStore store;
        ChannelEntityFeed feed(&store);
        store.retain("c1");
        feed.handleBundle("channel:c1", channeltest::baseSnapshot());
        QSignalSpy changed(&store, &ChannelEntityStore::changed);
        LogCapture logs;

        feed.handleGatewayEvent(name, json(payload.toUtf8().constData()), 0);

        QCOMPARE(store.find("c1")->roomIds.contains("r9"), applied);
        QCOMPARE(changed.count(), applied ? 1 : 0);
        QCOMPARE(logs.contains("channel.entity", "channel event parse failed name="), parseWarning);
        if (!applied && !parseWarning)
            QCOMPARE(logs.entries().size(), 0);
    }
};

KESTOVA_TEST_MAIN(ChannelEntityStoreTest)
#include "test_channel_entity_store.moc"
