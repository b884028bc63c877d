#include "room/room_adapter_registry.h"
#include "room/room_entity_store.h"
#include "room/room_field_flag.h"
#include "room/room_stream_snapshot.h"
#include "room/room_view_model.h"
#include "support/room_snapshot_builder.h"
#include "support/test_main.h"

#include <QSignalSpy>

using testsupport::RoomSnapshotBuilder;

namespace {

// The view model's signals, in the order they came.
class SignalOrder : public QObject
{
public:
    explicit SignalOrder(RoomViewModel *model)
    {
        connect(model, &RoomViewModel::availableChanged, this, [this] { names.append("available"); });
        connect(model, &RoomViewModel::roomChanged, this, [this] { names.append("room"); });
    }
    QStringList names;
};

// A store that tells how many receivers its signals have.
class CountingStore : public RoomEntityStore
{
public:
    int changedReceivers() const { return receivers(SIGNAL(changed(QString, uint))); }
    int removedReceivers() const { return receivers(SIGNAL(removed(QString))); }
};

void applyTo(RoomEntityStore &store, const std::optional<RoomUpdate> &update)
{
    QVERIFY(update);
    store.applySnapshots({*update});
}

const RoomSnapshotBuilder &lobby()
{
    static const RoomSnapshotBuilder room = RoomSnapshotBuilder("r1")
                                                .name("lobby")
                                                .persistent(true)
                                                .channel("ch1")
                                                .present({"u1", "u2"})
                                                .mute("u2", "voice")
                                                .mute("u1", "text")
                                                .memberRole("u1", 2)
                                                .memberRole("u2", 2)
                                                .role(2, "member", 1, {"core.room.speak"}, true)
                                                .userOverride("u1", "core.room.kick_members", true)
                                                .setting("bitrate", 48000)
                                                .setting("accessMode", "public")
                                                .setting("allowSubRoom", "ask")
                                                .setting("allowSubRoomBroadcast", false)
                                                .setting("allowSubRoomChat", false)
                                                .setting("requireApproval", true)
                                                .setting("codeDirectEntry", false)
                                                .setting("attachedModule", "m1")
                                                .setting("prefMembers", QJsonArray{"u2"})
                                                .setting("roomCode", "ABC")
                                                .setting("roomCodeEnabled", true)
                                                .parent("p1")
                                                .followCode("F-9", 1234)
                                                .joinRequest("q1", "u7", 1, 2)
                                                .subroomRequest("s1", "c5", "u8", 3, 4);
    return room;
}

void verifyAbsentDefaults(const RoomViewModel &model)
{
    QVERIFY(model.accessMode().isEmpty());
    QVERIFY(model.allowSubRoom().isEmpty());
    QCOMPARE(model.allowSubRoomBroadcast(), true);
    QCOMPARE(model.allowSubRoomChat(), true);
    QVERIFY(model.attachedModule().isEmpty());
    QCOMPARE(model.available(), false);
    QCOMPARE(model.bitrate(), 0);
    QVERIFY(model.channelId().isEmpty());
    QCOMPARE(model.codeDirectEntry(), true);
    QVERIFY(model.followCode().isEmpty());
    QCOMPARE(model.followCodeExpiresAtMs(), qint64(0));
    QCOMPARE(model.hasTextMute("u1"), false);
    QCOMPARE(model.hasVoiceMute("u2"), false);
    QCOMPARE(model.isPersistent(), false);
    QCOMPARE(model.isSpeechBlocked("u1"), false);
    QCOMPARE(model.isSpeechBlocked(QString()), false);
    QVERIFY(model.memberRoles().isEmpty());
    QVERIFY(model.parentRoomId().isEmpty());
    QVERIFY(model.pendingJoinRequests().isEmpty());
    QVERIFY(model.pendingSubrooms().isEmpty());
    QVERIFY(model.prefMembers().isEmpty());
    QCOMPARE(model.requireApproval(), false);
    QVERIFY(model.roles().isEmpty());
    QVERIFY(model.roomCode().isEmpty());
    QCOMPARE(model.roomCodeEnabled(), false);
    QVERIFY(model.roomName().isEmpty());
    QCOMPARE(model.userHasPermission("u1", "core.room.speak", false), false);
    QCOMPARE(model.userHasPermission("u1", "core.room.speak", true), false);
}

} // namespace

class RoomViewModelTest : public QObject
{
    Q_OBJECT

private slots:
    void registryHandsOutOneModelPerRoom()
    {
        RoomEntityStore store;
        RoomAdapterRegistry registry(&store);
        QCOMPARE(registry.viewModel(QString()), nullptr);
        QVERIFY(registry.children().isEmpty());

        RoomViewModel *first = registry.viewModel("r1");
        QVERIFY(first);
        QCOMPARE(first->roomId(), QStringLiteral("r1"));
        QCOMPARE(first->parent(), &registry);
        QCOMPARE(registry.viewModel("r1"), first);
        RoomViewModel *upper = registry.viewModel("R1");
        QVERIFY(upper != first);
        QCOMPARE(registry.children().size(), 2);
    }

    void absentRoomAnswersTheDefaults()
    {
        RoomEntityStore store;
        RoomAdapterRegistry registry(&store);
        verifyAbsentDefaults(*registry.viewModel("never"));
    }

    void heldRoomAnswersFromItsRecord()
    {
        RoomEntityStore store;
        RoomAdapterRegistry registry(&store);
        RoomViewModel *model = registry.viewModel("r1");
        store.retain("r1");

        // Held but unfilled: not available, and nobody may speak yet.
        QCOMPARE(model->available(), false);
        QCOMPARE(model->isSpeechBlocked("u1"), true);

        applyTo(store, parseRoomPublicSnapshot(lobby().publicSnapshot()));
        applyTo(store, parseRoomPrivateSnapshot(lobby().privateSnapshot()));
        QCOMPARE(model->accessMode(), QStringLiteral("public"));
        QCOMPARE(model->allowSubRoom(), QStringLiteral("ask"));
        QCOMPARE(model->allowSubRoomBroadcast(), false);
        QCOMPARE(model->allowSubRoomChat(), false);
        QCOMPARE(model->attachedModule(), QStringLiteral("m1"));
        QCOMPARE(model->available(), true);
        QCOMPARE(model->bitrate(), 48000);
        QCOMPARE(model->channelId(), QStringLiteral("ch1"));
        QCOMPARE(model->codeDirectEntry(), false);
        QCOMPARE(model->followCode(), QStringLiteral("F-9"));
        QCOMPARE(model->followCodeExpiresAtMs(), qint64(1234));
        QCOMPARE(model->hasTextMute("u1"), true);
        QCOMPARE(model->hasTextMute("u2"), false);
        QCOMPARE(model->hasVoiceMute("u2"), true);
        QCOMPARE(model->isPersistent(), true);
        QCOMPARE(model->isSpeechBlocked("u1"), false);
        QCOMPARE(model->isSpeechBlocked("u2"), true);
        QCOMPARE(model->memberRoles(), (QHash<QString, qint64>{{"u1", 2}, {"u2", 2}}));
        QCOMPARE(model->parentRoomId(), QStringLiteral("p1"));
        QCOMPARE(model->pendingJoinRequests(), (QList<roomdata::PendingJoinRequest>{{"q1", "u7", 1, 2}}));
        QCOMPARE(model->pendingSubrooms(), (QList<roomdata::PendingSubroomRequest>{{"s1", "c5", "u8", 3, 4}}));
        QCOMPARE(model->prefMembers(), QStringList{"u2"});
        QCOMPARE(model->requireApproval(), true);
        QCOMPARE(model->roles().size(), 1);
        QCOMPARE(model->roles().at(0).name, QStringLiteral("member"));
        QCOMPARE(model->roomCode(), QStringLiteral("ABC"));
        QCOMPARE(model->roomCodeEnabled(), true);
        QCOMPARE(model->roomName(), QStringLiteral("lobby"));
        QCOMPARE(model->userHasPermission("u1", "core.room.kick_members", false), true);
        QCOMPARE(model->userHasPermission("u2", "core.room.kick_members", false), false);
        QCOMPARE(model->userHasPermission("u2", "core.room.kick_members", true), true);
    }

    void signalSequence()
    {
        RoomEntityStore store;
        RoomAdapterRegistry registry(&store);
        RoomViewModel *model = registry.viewModel("r1");
        RoomViewModel *other = registry.viewModel("r2");
        RoomViewModel *upper = registry.viewModel("R1");
        SignalOrder order(model);
        SignalOrder otherOrder(other);
        SignalOrder upperOrder(upper);
        store.retain("r1");
        store.retain("r2");
        QVERIFY(order.names.isEmpty());

        // First public snapshot: availability, then the change.
        applyTo(store, parseRoomPublicSnapshot(RoomSnapshotBuilder("r1").name("x").publicSnapshot()));
        QCOMPARE(order.names, (QStringList{"available", "room"}));

        // First private snapshot: availability again (populated rises to 2).
        order.names.clear();
        applyTo(store, parseRoomPrivateSnapshot(RoomSnapshotBuilder("r1").privateSnapshot()));
        QCOMPARE(order.names, (QStringList{"available", "room"}));

        // A private-part change alone (0x40): the change only.
        order.names.clear();
        QSignalSpy storeChanged(&store, &RoomEntityStore::changed);
        applyTo(store, parseRoomPrivateSnapshot(RoomSnapshotBuilder("r1").followCode("F", 1).privateSnapshot()));
        QCOMPARE(storeChanged.count(), 1);
        QCOMPARE(storeChanged.at(0).at(1).toUInt(), RoomFieldFlag::FollowCode);
        QCOMPARE(order.names, QStringList{"room"});

        // Another room's change reaches neither r1's model nor the model of "R1".
        order.names.clear();
        applyTo(store, parseRoomPublicSnapshot(RoomSnapshotBuilder("r2").name("y").publicSnapshot()));
        QVERIFY(order.names.isEmpty());
        QCOMPARE(otherOrder.names, (QStringList{"available", "room"}));
        QVERIFY(upperOrder.names.isEmpty());

        // Releasing the last retain: both signals, then the absent answers.
        store.release("r1");
        QCOMPARE(order.names, (QStringList{"available", "room"}));
        verifyAbsentDefaults(*model);
        QVERIFY(upperOrder.names.isEmpty());

        // The model follows the id: a new retain and snapshot bring the signals back.
        order.names.clear();
        store.retain("r1");
        applyTo(store, parseRoomPublicSnapshot(RoomSnapshotBuilder("r1").name("again").publicSnapshot()));
        QCOMPARE(order.names, (QStringList{"available", "room"}));
        QCOMPARE(model->roomName(), QStringLiteral("again"));
    }

    // However many view models there are, the store has one receiver for them, and a change
    // reaches only its room's view model. A service that listened to the store before the
    // first view model was made still hears a change before the view model announces it.
    void changesAreRoutedToTheirRoom()
    {
        CountingStore store;
        RoomAdapterRegistry registry(&store);
        QStringList heard;
        connect(&store, &RoomEntityStore::changed, this, [&](const QString &id) { heard << "store " + id; });
        connect(&store, &RoomEntityStore::removed, this, [&](const QString &id) { heard << "removed " + id; });
        for (int i = 0; i < 200; ++i) {
            RoomViewModel *model = registry.viewModel(QStringLiteral("r%1").arg(i));
            connect(model, &RoomViewModel::roomChanged, this, [&heard, model] { heard << "model " + model->roomId(); });
        }
        QCOMPARE(store.changedReceivers(), 2);
        QCOMPARE(store.removedReceivers(), 2);

        store.retain("r7");
        store.retain("r8");
        applyTo(store, parseRoomPublicSnapshot(RoomSnapshotBuilder("r7").name("x").publicSnapshot()));
        QCOMPARE(heard, (QStringList{"store r7", "model r7"}));
        heard.clear();
        store.release("r8");
        QCOMPARE(heard, (QStringList{"removed r8", "model r8"}));
    }

    // Readers run while the store emits, and see the batch's final state.
    void readersSeeTheFinalStateInsideTheSignal()
    {
        RoomEntityStore store;
        RoomAdapterRegistry registry(&store);
        RoomViewModel *model = registry.viewModel("r1");
        store.retain("r1");
        QString seen;
        connect(model, &RoomViewModel::roomChanged, this, [&] { seen = model->roomName(); });
        const std::optional<RoomUpdate> first =
            parseRoomPublicSnapshot(RoomSnapshotBuilder("r1").name("a").publicSnapshot());
        const std::optional<RoomUpdate> second =
            parseRoomPublicSnapshot(RoomSnapshotBuilder("r1").name("b").publicSnapshot());
        QVERIFY(first && second);
        store.applySnapshots({*first, *second});
        QCOMPARE(seen, QStringLiteral("b"));
    }
};

KESTOVA_TEST_MAIN(RoomViewModelTest)
#include "test_room_view_model.moc"
