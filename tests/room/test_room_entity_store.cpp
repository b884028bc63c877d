#include "room/room_entity_store.h"
#include "room/room_field_flag.h"
#include "room_test_support.h"
#include "support/test_main.h"

#include <QSignalSpy>

namespace {

RoomUpdate publicUpdate(const QString &roomId, const QString &name, qint64 version = 1)
{
    RoomPublicSnapshot snapshot;
    snapshot.name = name;
    snapshot.version = version;
    return {roomId, snapshot};
}

RoomUpdate joined(const QString &roomId, const QString &userId)
{
    return roomtest::eventUpdate(roomId, "room.presence.joined",
                                 QStringLiteral(R"({"roomId":"%1","userId":"%2"})").arg(roomId, userId).toUtf8(), 0);
}

} // namespace

class RoomEntityStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void emptyAndUnknownIdsChangeNothing()
    {
        RoomEntityStore store;
        QSignalSpy removed(&store, &RoomEntityStore::removed);
        QCOMPARE(store.retain(QString()), nullptr);
        QCOMPARE(store.find(QString()), nullptr);
        store.release(QString());
        store.release("never");
        QCOMPARE(removed.count(), 0);
        QCOMPARE(store.find("never"), nullptr);
    }

    void newRecordHasTheDefaults()
    {
        RoomEntityStore store;
        const RoomEntity *room = store.retain("r1");
        QVERIFY(room);
        QCOMPARE(store.find("r1"), room);
        QCOMPARE(room->roomId, QString("r1"));
        QCOMPARE(room->refCount, 1);
        QCOMPARE(room->populated, 0);
        QCOMPARE(room->version, qint64(0));
        QCOMPARE(room->publicState.allowSubRoomBroadcast, true);
        QCOMPARE(room->publicState.allowSubRoomChat, true);
        QCOMPARE(room->publicState.requireApproval, false);
        QCOMPARE(room->publicState.codeDirectEntry, true);
    }

    void referenceCounting()
    {
        RoomEntityStore store;
        QSignalSpy removed(&store, &RoomEntityStore::removed);
        store.retain("r1");
        QCOMPARE(store.retain("r1")->refCount, 2);
        store.applySnapshots({publicUpdate("r1", "Lobby")});
        store.release("r1");
        QVERIFY(store.find("r1"));
        QCOMPARE(removed.count(), 0);

        connect(&store, &RoomEntityStore::removed, this, [&store](const QString &roomId) {
            QCOMPARE(store.find(roomId), nullptr); // erased before the signal
        });
        store.release("r1");
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QString("r1"));
        QCOMPARE(store.find("r1"), nullptr);
        store.release("r1");
        QCOMPARE(removed.count(), 1);

        // A later retain starts from an empty record.
        const RoomEntity *again = store.retain("r1");
        QCOMPARE(again->populated, 0);
        QVERIFY(again->name.isEmpty());
        QCOMPARE(again->publicState.codeDirectEntry, true);
    }

    // A holder may release a room by the id its record carries: the id must outlive the erase.
    void releaseByTheRecordsOwnId()
    {
        RoomEntityStore store;
        const RoomEntity *room = store.retain(QStringLiteral("room-") + QString::number(42));
        QSignalSpy removed(&store, &RoomEntityStore::removed);
        store.release(room->roomId);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QString("room-42"));
        QCOMPARE(store.find("room-42"), nullptr);
    }

    void batchForRoomsNobodyHoldsIsIgnored()
    {
        RoomEntityStore store;
        QSignalSpy changed(&store, &RoomEntityStore::changed);
        const QHash<QString, uint> masks = store.applySnapshots({publicUpdate("r1", "Lobby"), joined("r1", "u1")});
        QVERIFY(masks.isEmpty());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(store.find("r1"), nullptr);
    }

    void oneSignalPerRoomAndBatch()
    {
        RoomEntityStore store;
        store.retain("r1");
        store.retain("r2");
        QSignalSpy changed(&store, &RoomEntityStore::changed);
        QStringList namesSeen;
        connect(&store, &RoomEntityStore::changed, this, [&](const QString &roomId, uint) {
            namesSeen << roomId + '=' + store.find(roomId)->publicState.present.join(',');
        });

        const QHash<QString, uint> masks =
            store.applySnapshots({publicUpdate("r1", "Lobby"), joined("r1", "u1"), joined("r2", "u7"),
                                  joined("r1", "u2"), joined("gone", "u1")});
        QCOMPARE(masks.size(), 2);
        QCOMPARE(masks.value("r1"), RoomFieldFlag::Name | RoomFieldFlag::Availability | RoomFieldFlag::Presence);
        QCOMPARE(masks.value("r2"), RoomFieldFlag::Presence);
        QCOMPARE(changed.count(), 2);
        for (const QList<QVariant> &args : std::as_const(changed))
            QCOMPARE(args.at(1).toUInt(), masks.value(args.at(0).toString()));
        // Receivers see every record of the batch in its final state.
        namesSeen.sort();
        QCOMPARE(namesSeen, QStringList({"r1=u1,u2", "r2=u7"}));
    }

    void batchThatChangesNothingIsSilent()
    {
        RoomEntityStore store;
        store.retain("r1");
        store.applySnapshots({publicUpdate("r1", "Lobby", 5)});
        QSignalSpy changed(&store, &RoomEntityStore::changed);
        const QHash<QString, uint> masks =
            store.applySnapshots({publicUpdate("r1", "Lobby", 5), publicUpdate("r1", "Older", 4)});
        QVERIFY(masks.isEmpty());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(store.find("r1")->name, QString("Lobby"));
    }

    // Receivers may retain and release other rooms while the store emits: records
    // keep their addresses, and a room released mid-emission gets no later signal.
    void receiversMayRetainAndReleaseWhileEmitting()
    {
        RoomEntityStore store;
        const RoomEntity *a = store.retain("a");
        const RoomEntity *b = store.retain("b");
        const QList<RoomUpdate> batch = {joined("a", "u1"), joined("b", "u2")};

        QStringList order;
        const RoomEntity *seenA = nullptr;
        connect(&store, &RoomEntityStore::changed, this, [&](const QString &roomId, uint) {
            order << roomId;
            if (order.size() > 1)
                return;
            // The first receiver call drops the other room and adds many new ones.
            store.release(roomId == "a" ? "b" : "a");
            for (int i = 0; i < 200; ++i)
                store.retain(QStringLiteral("extra%1").arg(i));
            seenA = store.find("a");
        });
        QSignalSpy removed(&store, &RoomEntityStore::removed);
        const QHash<QString, uint> masks = store.applySnapshots(batch);

        QCOMPARE(masks.size(), 2);
        QCOMPARE(order.size(), 1);
        QCOMPARE(removed.count(), 1);
        const QString kept = order.first();
        const RoomEntity *keptRecord = kept == "a" ? a : b;
        QCOMPARE(store.find(kept), keptRecord);
        QCOMPARE(keptRecord->publicState.present.size(), 1);
        QCOMPARE(keptRecord->refCount, 1);
        if (kept == "a")
            QCOMPARE(seenA, a);
    }

    void destroyingTheStoreEmitsNothing()
    {
        auto store = std::make_unique<RoomEntityStore>();
        store->retain("r1");
        QSignalSpy removed(store.get(), &RoomEntityStore::removed);
        store.reset();
        QCOMPARE(removed.count(), 0);
    }
};

KESTOVA_TEST_MAIN(RoomEntityStoreTest)
#include "test_room_entity_store.moc"
