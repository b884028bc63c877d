// One rebuild of the room panels after a burst of realtime events in a 500- or 5,000-member
// room.
// The room services, the room store and a main window are wired as the shell wires them;
// 1,000 presence and mute events arrive in one turn of the event loop, and what is timed
// is the turn after it: the single rebuild the burst causes (the builders, both panels'
// setBlocks and the panels' layout and painting, offscreen). Counters report how many
// rebuilds each burst caused and how many block widgets survived it.
//
// Arguments: the number of members whose state really changes in a burst (the rest of the
// 1,000 events cancel each other out: a mute and its unmute, a drop and its return), and
// the number of members in the room.

#include "realtime/watch_registry.h"
#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_list_service.h"
#include "room/room_stream_target.h"
#include "support/fake_http_client.h"
#include "support/room_snapshot_builder.h"
#include "theme/style_helpers.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_room_panel.h"
#include "ui/panels/room_block.h"
#include "user/abstract_user_resolver.h"
#include "user/user_profile.h"
#include "user/user_state.h"
#include "wiring/main_window_wiring.h"
#include "wiring/room_panel_state.h"
#include "wiring/room_panels_feed.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QStyleFactory>

#include <benchmark/benchmark.h>

namespace {

constexpr int kMembers = 500;
constexpr int kEvents = 1000;

class Names : public AbstractUserResolver
{
public:
    void request(const QString &) override {}
    void requestMany(const QStringList &) override {}
    QString nickname(const QString &userId) const override { return QStringLiteral("成员 ") + userId.mid(5); }
    QString username(const QString &) const override { return {}; }
};

QString member(int i)
{
    return QStringLiteral("user-%1").arg(i, 3, 10, QLatin1Char('0'));
}

// The client as the shell builds it for one signed-in user in a big room with two small
// sub-rooms, and three more rooms in the user's list.
struct Client
{
    testsupport::FakeHttpClient http;
    RoomEntityStore store;
    RoomEntityFeed feed{&store};
    RoomAdapterRegistry registry{&store};
    WatchRegistry watches;
    ActiveRoomSession session{&http, &store, &feed, &registry};
    RoomListService list{&http, &store};
    UserState user;
    Names names;
    MainWindow window{MainWindowOptions{}};
    wiring::RoomPanelsFeed *panels = nullptr;
    const int members;
    qint64 version = 1;
    int rebuilds = 0;

    explicit Client(int memberCount = kMembers)
        : members(memberCount)
    {
        user.applyProfile(UserProfile{"me", "me", "Me", {}, {}});
        session.setWatchRegistry(&watches);
        session.setUserIdProvider([] { return QStringLiteral("me"); });
        session.setSessionIdProvider([] { return QStringLiteral("s1"); });
        QObject::connect(&watches, &WatchRegistry::streamReady, &session, &ActiveRoomSession::onStreamReady);
        panels = wiring::wireRoomPanels(&window, &session, &store, nullptr, nullptr, nullptr, nullptr, &list, nullptr,
                                        &user, &names, nullptr, nullptr);
        QObject::connect(panels, &wiring::RoomPanelsFeed::assembleTicked, [this] { ++rebuilds; });

        QStringList present{"me"};
        for (int i = 0; i < members - 1; ++i)
            present << member(i);
        testsupport::RoomSnapshotBuilder big("big");
        big.name("大房间")
            .persistent(true)
            .present(present)
            .child("side-a")
            .child("side-b")
            .role(-1, "owner", 100, {"core.room.speak"})
            .role(1, "member", 1, {"core.room.speak"})
            .memberRole("me", -1);
        for (int i = 0; i < members - 1; ++i)
            big.memberRole(member(i), 1);

        session.enter("big");
        watches.onWatchResult(publicStreamTarget("big"), true);
        watches.onWatchResult(privateStreamTarget("big"), true);
        feed.onStreamSnapshot(big.publicTarget(), big.publicSnapshot());
        for (const QString &id : QStringList{"side-a", "side-b", "other-1", "other-2", "other-3"}) {
            testsupport::RoomSnapshotBuilder room(id);
            room.name(id)
                .persistent(true)
                .present({QStringLiteral("guest-") + id})
                .role(1, "member", 1, {"core.room.speak"})
                .memberRole(QStringLiteral("guest-") + id, 1);
            if (id.startsWith("side"))
                room.parent("big");
            store.retain(id);
            feed.onStreamSnapshot(room.publicTarget(), room.publicSnapshot());
        }
        list.bootstrap();
        http.reply(http.calls.size() - 1,
                   testsupport::jsonReply(200, {{"rooms", QJsonArray{"big", "other-1", "other-2", "other-3"}},
                                                {"activeRoomId", "big"}}));
        window.resize(1200, 900);
        window.show();
        QApplication::processEvents();
        QApplication::processEvents();
    }

    void event(const char *name, const QJsonObject &payload)
    {
        feed.onGatewayEvent(QString::fromLatin1(name), payload, ++version);
    }

    // 1,000 events in which `changing` members end up changed (half of them dropped or
    // back, half of them muted or unmuted) and every other event is undone within the
    // burst. `round` flips the direction of the real changes.
    void burst(int changing, int round)
    {
        const bool on = round % 2 == 0;
        int sent = 0;
        for (int i = 0; i < changing; ++i, ++sent) {
            const QString id = member(i);
            if (i % 2 == 0)
                event("room.presence.conn-state",
                      {{"roomId", "big"}, {"userId", id}, {"connState", on ? "disconnected" : "connected"}});
            else
                event(on ? "room.member.muted" : "room.member.unmuted",
                      {{"roomId", "big"}, {"userId", id}, {"variant", "voice"}});
        }
        for (int i = 0; sent < kEvents; ++i) {
            const QString id = member(changing + (i / 2) % (members - 1 - changing));
            const bool undo = i % 2 == 1;
            if ((i / 2) % 2 == 0)
                event("room.presence.conn-state",
                      {{"roomId", "big"}, {"userId", id}, {"connState", undo ? "connected" : "disconnected"}});
            else
                event(undo ? "room.member.unmuted" : "room.member.muted",
                      {{"roomId", "big"}, {"userId", id}, {"variant", "voice"}});
            ++sent;
        }
    }
};

void BM_RebuildAfterBurst(benchmark::State &state)
{
    Client client(int(state.range(1)));
    const int changing = int(state.range(0));
    auto *current = qobject_cast<CurrentRoomPanel *>(client.window.currentRoomPanel());
    auto *mine = qobject_cast<MyRoomPanel *>(client.window.myRoomPanel());
    int round = 0;
    qint64 rebuildsPerBurst = 0;
    qint64 kept = 0;
    qint64 blocks = 0;
    QElapsedTimer turn;
    double untilRebuilt = 0;
    QObject::connect(client.panels, &wiring::RoomPanelsFeed::assembleTicked,
                     [&] { untilRebuilt += double(turn.nsecsElapsed()) / 1e6; });
    for (auto _ : state) {
        state.PauseTiming();
        const QList<blocks::RoomBlock *> before = {current->roomBlock("big"),    current->roomBlock("side-a"),
                                                   current->roomBlock("side-b"), mine->roomBlock("big"),
                                                   mine->roomBlock("other-1"),   mine->roomBlock("other-2"),
                                                   mine->roomBlock("other-3")};
        const int rebuildsBefore = client.rebuilds;
        client.burst(changing, round++);
        state.ResumeTiming();

        // The turn after the burst: the one rebuild, with layout and painting.
        turn.start();
        QApplication::processEvents();

        state.PauseTiming();
        rebuildsPerBurst = client.rebuilds - rebuildsBefore;
        const QList<blocks::RoomBlock *> after = {current->roomBlock("big"),    current->roomBlock("side-a"),
                                                  current->roomBlock("side-b"), mine->roomBlock("big"),
                                                  mine->roomBlock("other-1"),   mine->roomBlock("other-2"),
                                                  mine->roomBlock("other-3")};
        kept = 0;
        for (int i = 0; i < before.size(); ++i)
            kept += before.at(i) != nullptr && before.at(i) == after.at(i);
        blocks = before.size();
        state.ResumeTiming();
    }
    state.counters["rebuilds_per_burst"] = double(rebuildsPerBurst);
    state.counters["blocks_kept"] = double(kept);
    state.counters["blocks"] = double(blocks);
    // From the start of the turn until both panels had their records.
    state.counters["ms_until_rebuilt"] = untilRebuilt / double(state.iterations());
}
BENCHMARK(BM_RebuildAfterBurst)
    ->ArgNames({"changing", "members"})
    ->Args({50, 500})
    ->Args({500, 500})
    ->Args({50, 5000})
    ->Args({5000, 5000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One event per loop turn, as a quiet room brings them: a member is muted or unmuted, and
// the turn that follows rebuilds the panels. Timed: the event's delivery and that turn.
void BM_OneEventPerTurn(benchmark::State &state)
{
    Client client(int(state.range(0)));
    QElapsedTimer clock;
    double delivering = 0;
    bool on = true;
    for (auto _ : state) {
        clock.start();
        client.event(on ? "room.member.muted" : "room.member.unmuted",
                     {{"roomId", "big"}, {"userId", member(7)}, {"variant", "voice"}});
        delivering += double(clock.nsecsElapsed()) / 1e6;
        QApplication::processEvents();
        on = !on;
    }
    state.counters["ms_delivering"] = delivering / double(state.iterations());
}
BENCHMARK(BM_OneEventPerTurn)->ArgName("members")->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

// The builders alone, on the store as the burst left it.
void BM_BuildersOnly(benchmark::State &state)
{
    Client client(int(state.range(0)));
    client.burst(50, 0);
    QApplication::processEvents();
    wiring::RoomPanelsInput input;
    input.store = &client.store;
    input.activeRoomId = "big";
    input.rooms = client.list.entries();
    input.ownSpeakers = {member(3), member(7)};
    input.displayName = [&client](const QString &id) { return client.names.nickname(id); };
    for (auto _ : state) {
        benchmark::DoNotOptimize(wiring::buildCurrentRoomPanelState(input));
        benchmark::DoNotOptimize(wiring::buildMyRoomPanelState(input));
    }
}
BENCHMARK(BM_BuildersOnly)->ArgName("members")->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

// Each panel's setBlocks alone, alternating between the records before and after a burst
// in which 50 members change (argument 0: current-room panel, 1: my-rooms panel; then the
// number of members).
void BM_PanelUpdateOnly(benchmark::State &state)
{
    Client client(int(state.range(1)));
    wiring::RoomPanelsInput input;
    input.store = &client.store;
    input.activeRoomId = "big";
    input.rooms = client.list.entries();
    input.displayName = [&client](const QString &id) { return client.names.nickname(id); };
    const bool currentPanel = state.range(0) == 0;
    const auto build = [&] {
        return currentPanel ? wiring::buildCurrentRoomPanelState(input) : wiring::buildMyRoomPanelState(input);
    };
    const blocks::BlockListData before = build();
    client.burst(50, 0);
    const blocks::BlockListData after = build();
    QApplication::processEvents();
    blocks::BlockListPanel *panel =
        currentPanel
            ? static_cast<blocks::BlockListPanel *>(qobject_cast<CurrentRoomPanel *>(client.window.currentRoomPanel()))
            : qobject_cast<MyRoomPanel *>(client.window.myRoomPanel());
    bool flip = false;
    for (auto _ : state) {
        panel->setBlocks(flip ? before : after);
        flip = !flip;
    }
}
BENCHMARK(BM_PanelUpdateOnly)
    ->ArgNames({"panel", "members"})
    ->Args({0, 500})
    ->Args({1, 500})
    ->Args({0, 5000})
    ->Args({1, 5000})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFile sheet(QStringLiteral(":/minimal-theme.qss"));
    if (sheet.open(QIODevice::ReadOnly)) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
        app.setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
