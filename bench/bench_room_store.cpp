#include "room/room_entity_store.h"
#include "room/room_event_registry.h"
#include "room/room_hierarchy.h"

#include <benchmark/benchmark.h>

#include <QJsonArray>
#include <QJsonObject>

namespace {

constexpr int kRooms = 1000;
constexpr int kBatch = 64;

QString roomName(int i)
{
    return QStringLiteral("room-%1").arg(i);
}

RoomUpdate event(const char *name, const QJsonObject &payload, qint64 version)
{
    const RoomEventParser parse = findRoomEventParser(QString::fromLatin1(name));
    return {payload.value("roomId").toString(), RoomEventUpdate{QString::fromLatin1(name), *parse(payload), version}};
}

// A stream of presence, connection, mute, role and setting events over the rooms,
// as they interleave in a busy session; versions rise per room.
QList<RoomUpdate> mixedStream(int length)
{
    QList<RoomUpdate> stream;
    stream.reserve(length);
    QList<qint64> versions(kRooms, 0);
    for (int i = 0; i < length; ++i) {
        const int r = (i * 7919) % kRooms;
        const QString roomId = roomName(r);
        const QString userId = QStringLiteral("user-%1").arg((i / kRooms) % 40);
        const qint64 version = ++versions[r];
        switch (i % 8) {
            case 0: stream << event("room.presence.joined", {{"roomId", roomId}, {"userId", userId}}, version); break;
            case 1:
                stream << event("room.presence.conn-state",
                                {{"roomId", roomId}, {"userId", userId}, {"connState", "disconnected"}}, version);
                break;
            case 2:
                stream << event("room.presence.conn-state",
                                {{"roomId", roomId}, {"userId", userId}, {"connState", "connected"}}, version);
                break;
            case 3:
                stream << event("room.member.muted", {{"roomId", roomId}, {"userId", userId}, {"variant", "voice"}},
                                version);
                break;
            case 4:
                stream << event("room.member.role_changed",
                                {{"roomId", roomId}, {"userId", userId}, {"roleId", i % 3 + 1}}, version);
                break;
            case 5:
                stream << event("room.member.unmuted", {{"roomId", roomId}, {"userId", userId}, {"variant", "voice"}},
                                version);
                break;
            case 6:
                stream << event("room.bitrate.changed", {{"roomId", roomId}, {"newValue", 32000 + (i % 4) * 16000}},
                                version);
                break;
            default: stream << event("room.presence.left", {{"roomId", roomId}, {"userId", userId}}, version); break;
        }
    }
    return stream;
}

void retainAll(RoomEntityStore &store)
{
    for (int i = 0; i < kRooms; ++i)
        store.retain(roomName(i));
}

} // namespace

// Events per second through the store, in feed-sized batches.
static void BM_ApplyMixedEvents(benchmark::State &state)
{
    const QList<RoomUpdate> stream = mixedStream(int(state.range(0)));
    QList<QList<RoomUpdate>> batches;
    for (qsizetype i = 0; i < stream.size(); i += kBatch)
        batches << stream.mid(i, kBatch);
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<RoomEntityStore>();
        retainAll(*store);
        state.ResumeTiming();
        for (const QList<RoomUpdate> &batch : std::as_const(batches))
            benchmark::DoNotOptimize(store->applySnapshots(batch));
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.counters["events_per_second"] =
        benchmark::Counter(double(stream.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ApplyMixedEvents)->Arg(100000)->Unit(benchmark::kMillisecond);

// A public snapshot of a room with 5000 present members, built from its own
// strings as the stream reader builds every snapshot, so nothing is shared with
// what the record holds. `lastUser` names the last present member.
RoomPublicSnapshot largeSnapshot(const QString &lastUser)
{
    RoomPublicSnapshot snapshot;
    snapshot.name = QStringLiteral("Hall");
    for (int i = 0; i < 5000; ++i) {
        const QString userId = i == 4999 ? lastUser : QStringLiteral("user-%1").arg(i);
        snapshot.state.present << userId;
        snapshot.state.memberRoles.insert(userId, i % 3);
        if (i % 10 == 0)
            snapshot.state.disconnected.insert(userId);
    }
    return snapshot;
}

// Alternates between two snapshots that differ only in the last present member,
// so each application compares everything and replaces the public part.
static void BM_ApplyLargePublicSnapshot(benchmark::State &state)
{
    const QList<RoomUpdate> updates[2] = {{{"hall", largeSnapshot("last-a")}}, {{"hall", largeSnapshot("last-b")}}};
    RoomEntityStore store;
    store.retain("hall");
    store.applySnapshots(updates[1]);
    int next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.applySnapshots(updates[next]));
        next ^= 1;
    }
}
BENCHMARK(BM_ApplyLargePublicSnapshot)->Unit(benchmark::kMicrosecond);

// An equal snapshot again (a resync): the full comparison runs, nothing is replaced.
static void BM_ReapplyLargePublicSnapshot(benchmark::State &state)
{
    RoomEntityStore store;
    store.retain("hall");
    store.applySnapshots({{"hall", largeSnapshot("last")}});
    const QList<RoomUpdate> update = {{"hall", largeSnapshot("last")}};
    for (auto _ : state)
        benchmark::DoNotOptimize(store.applySnapshots(update));
}
BENCHMARK(BM_ReapplyLargePublicSnapshot)->Unit(benchmark::kMicrosecond);

// The relatives of a sub-room whose parent has 40,000 children: the room, its parent
// and every sibling, each once. The walk must stay linear in the child list.
static void BM_RelatedRoomIdsOfLargeFamily(benchmark::State &state)
{
    const int children = int(state.range(0));
    RoomPublicSnapshot parent;
    parent.name = QStringLiteral("Hall");
    for (int i = 0; i < children; ++i)
        parent.state.childRoomIds << QStringLiteral("child-%1").arg(i);
    RoomPublicSnapshot child;
    child.name = QStringLiteral("Child");
    child.state.parentRoomId = QStringLiteral("hall");
    RoomEntityStore store;
    store.retain("hall");
    store.retain("child-0");
    store.applySnapshots({{"hall", parent}, {"child-0", child}});
    for (auto _ : state) {
        const QStringList ids = relatedRoomIds(store, QStringLiteral("child-0"));
        if (ids.size() != children + 1)
            state.SkipWithError("wrong relatives");
        benchmark::DoNotOptimize(ids);
    }
}
BENCHMARK(BM_RelatedRoomIdsOfLargeFamily)->Arg(40000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
