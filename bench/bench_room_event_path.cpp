// The path a room event really takes: gateway frame text, parsed by the gateway,
// turned into a record by the feed, applied by the store and announced by the
// room's view model.
#include "realtime/abstract_socket_client.h"
#include "realtime/gateway_service.h"
#include "room/room_adapter_registry.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_view_model.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <memory>

namespace {

constexpr int kRooms = 1000;

// A connection without a network: frames are handed to the gateway as the socket
// would hand them over.
class FrameSocket : public AbstractSocketClient
{
public:
    void open(const QUrl &) override {}
    void close() override {}
    void reconnect() override {}
    void sendText(const QString &) override {}
    void deliver(const QString &text) { emit textMessageReceived(text); }
};

QString roomName(int i)
{
    return QStringLiteral("room-%1").arg(i);
}

QString frameText(const QString &name, const QJsonObject &data, qint64 seq, qint64 version)
{
    const QJsonObject frame{{"event", name}, {"data", data}, {"seq", double(seq)}, {"version", double(version)}};
    return QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact));
}

// Presence, connection state, mutes, role and setting changes interleaved over the
// rooms as in a busy session; versions rise per room.
QStringList mixedFrames(int length)
{
    QStringList frames;
    frames.reserve(length);
    QList<qint64> versions(kRooms, 0);
    for (int i = 0; i < length; ++i) {
        const int r = (i * 7919) % kRooms;
        const QString roomId = roomName(r);
        const QString userId = QStringLiteral("user-%1").arg((i / kRooms) % 40);
        const qint64 version = ++versions[r];
        const qint64 seq = i + 1;
        switch (i % 8) {
            case 0:
                frames << frameText("room.presence.joined", {{"roomId", roomId}, {"userId", userId}}, seq, version);
                break;
            case 1:
                frames << frameText("room.presence.conn-state",
                                    {{"roomId", roomId}, {"userId", userId}, {"connState", "disconnected"}}, seq,
                                    version);
                break;
            case 2:
                frames << frameText("room.presence.conn-state",
                                    {{"roomId", roomId}, {"userId", userId}, {"connState", "connected"}}, seq, version);
                break;
            case 3:
                frames << frameText("room.member.muted", {{"roomId", roomId}, {"userId", userId}, {"variant", "voice"}},
                                    seq, version);
                break;
            case 4:
                frames << frameText("room.member.role_changed",
                                    {{"roomId", roomId}, {"userId", userId}, {"roleId", i % 3 + 1}}, seq, version);
                break;
            case 5:
                frames << frameText("room.member.unmuted",
                                    {{"roomId", roomId}, {"userId", userId}, {"variant", "voice"}}, seq, version);
                break;
            case 6:
                frames << frameText("room.bitrate.changed", {{"roomId", roomId}, {"newValue", 32000 + (i % 4) * 16000}},
                                    seq, version);
                break;
            default:
                frames << frameText("room.presence.left", {{"roomId", roomId}, {"userId", userId}}, seq, version);
                break;
        }
    }
    return frames;
}

// The gateway, feed, store and one view model per watched room, wired as the
// client wires them.
struct Pipeline
{
    FrameSocket socket;
    GatewayService gateway{&socket};
    RoomEntityStore store;
    RoomEntityFeed feed{&store};
    RoomAdapterRegistry registry{&store};
    qint64 announced = 0;

    // Every room is watched (retained); the first `viewModels` of them are also read
    // through a view model.
    Pipeline(int rooms, int viewModels)
    {
        QObject::connect(&gateway, &GatewayService::eventReceived, &feed, &RoomEntityFeed::onGatewayEvent);
        QObject::connect(&gateway, &GatewayService::streamSnapshotReceived, &feed, &RoomEntityFeed::onStreamSnapshot);
        gateway.setGatewayUrl(QUrl(QStringLiteral("ws://127.0.0.1:1/ws")));
        gateway.setTokenProvider([](GatewayService::TokenCallback done) { done(QStringLiteral("token")); });
        gateway.start();
        for (int i = 0; i < rooms; ++i) {
            store.retain(roomName(i));
            if (i < viewModels)
                QObject::connect(registry.viewModel(roomName(i)), &RoomViewModel::roomChanged, [this] { ++announced; });
        }
    }
};

QString largeSnapshotFrame(const QString &lastUser)
{
    QJsonArray present;
    QJsonArray disconnected;
    QJsonObject memberRoles;
    for (int i = 0; i < 5000; ++i) {
        const QString userId = i == 4999 ? lastUser : QStringLiteral("user-%1").arg(i);
        present.append(userId);
        memberRoles.insert(userId, i % 3);
        if (i % 10 == 0)
            disconnected.append(userId);
    }
    const QJsonObject snapshot{{"roomId", "hall"},
                               {"meta", QJsonObject{{"name", "Hall"}}},
                               {"present", present},
                               {"disconnected", disconnected},
                               {"acl", QJsonObject{{"memberRoles", memberRoles}}}};
    const QJsonObject frame{{"event", "stream-snapshot"},
                            {"data", QJsonObject{{"target", "room:hall"}, {"snapshot", snapshot}}}};
    return QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact));
}

} // namespace

// Events per second from frame text to the view model's signal, over 1000 watched
// rooms, with view models for the first `range(1)` rooms.
static void BM_RoomEventFramesToViewModels(benchmark::State &state)
{
    const QStringList frames = mixedFrames(int(state.range(0)));
    const int viewModels = int(state.range(1));
    qint64 announced = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto pipeline = std::make_unique<Pipeline>(kRooms, viewModels);
        state.ResumeTiming();
        for (const QString &frame : frames)
            pipeline->socket.deliver(frame);
        state.PauseTiming();
        announced = pipeline->announced;
        pipeline.reset();
        state.ResumeTiming();
    }
    state.counters["events_per_second"] =
        benchmark::Counter(double(frames.size()), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["announced"] = double(announced);
}
BENCHMARK(BM_RoomEventFramesToViewModels)
    ->Args({100000, 8})
    ->Args({100000, 1000})
    ->ArgNames({"events", "view_models"})
    ->Unit(benchmark::kMillisecond);

// The share of the budget that only reading the frame text takes: the JSON parse
// that the gateway does before anything of the room model runs.
static void BM_RoomEventFramesJsonOnly(benchmark::State &state)
{
    const QStringList frames = mixedFrames(int(state.range(0)));
    for (auto _ : state) {
        for (const QString &frame : frames)
            benchmark::DoNotOptimize(QJsonDocument::fromJson(frame.toUtf8()).object());
    }
    state.counters["events_per_second"] =
        benchmark::Counter(double(frames.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RoomEventFramesJsonOnly)->Arg(100000)->Unit(benchmark::kMillisecond);

// A 5000-member public snapshot from its frame text to the replaced record; two
// snapshots that differ in their last member alternate, so each one replaces.
static void BM_LargeSnapshotFrameToRecord(benchmark::State &state)
{
    const QString frames[2] = {largeSnapshotFrame("last-a"), largeSnapshotFrame("last-b")};
    Pipeline pipeline(0, 0);
    pipeline.store.retain("hall");
    QObject::connect(pipeline.registry.viewModel("hall"), &RoomViewModel::roomChanged,
                     [&pipeline] { ++pipeline.announced; });
    pipeline.socket.deliver(frames[1]);
    int next = 0;
    for (auto _ : state) {
        pipeline.socket.deliver(frames[next]);
        next ^= 1;
    }
    if (pipeline.store.find("hall")->publicState.present.size() != 5000)
        state.SkipWithError("snapshot not applied");
    state.counters["announced"] = double(pipeline.announced);
    state.counters["frame_bytes"] = double(frames[0].toUtf8().size());
}
BENCHMARK(BM_LargeSnapshotFrameToRecord)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
