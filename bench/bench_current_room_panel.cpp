// Rebuilds of the current-room panel for a room of 500 to 10,000 members, as the composition
// feeds it once per loop turn while the room changes. Each case alternates between two
// record sets that are built apart (equal records do not share their lists), so that every
// comparison really runs. The first argument 0 times setBlocks alone; 1 adds the rest of the
// loop turn (layout, polish and painting into the offscreen window). The second argument is
// the number of members.

#include "ui/panels/block_records.h"
#include "ui/panels/current_room_panel.h"

#include <QApplication>
#include <QFile>
#include <QScrollBar>
#include <QStyleFactory>

#include "theme/style_helpers.h"

#include <benchmark/benchmark.h>

namespace {

// speakingEvery: every n-th member speaks (0: nobody); extra: members added at the end.
blocks::BlockListData roomOf(int members, int speakingEvery, int extra = 0, bool allBlocked = false)
{
    blocks::RoomBlockData room;
    room.roomId = QStringLiteral("room-1");
    room.title = QStringLiteral("大房间");
    room.draggable = false;
    room.expanded = true;
    room.statusDot = speakingEvery > 0 ? 2 : 1;
    for (int i = 0; i < members + extra; ++i) {
        blocks::MemberRowData member;
        member.userId = QStringLiteral("user-%1").arg(i);
        member.name = QStringLiteral("成员 %1").arg(i);
        const bool speaking = speakingEvery > 0 && i % speakingEvery == 0;
        member.indicators = {allBlocked ? 3 : (speaking ? 2 : 1)};
        room.members.append(member);
    }
    room.memberCount = int(room.members.size());
    blocks::BlockListData data;
    data.sections = {{QString(), {room}, {}}};
    data.emptyText = QStringLiteral("无当前房间");
    data.hasContent = true;
    data.rowSeparators = true;
    return data;
}

struct ShownPanel
{
    CurrentRoomPanel panel;

    ShownPanel()
    {
        panel.resize(320, 800);
        panel.show();
        QApplication::processEvents();
    }
};

void alternate(benchmark::State &state, const blocks::BlockListData &a, const blocks::BlockListData &b)
{
    ShownPanel shown;
    const bool withLoopTurn = state.range(0) != 0;
    shown.panel.setBlocks(a);
    QApplication::processEvents();
    bool flip = false;
    for (auto _ : state) {
        shown.panel.setBlocks(flip ? a : b);
        if (withLoopTurn)
            QApplication::processEvents();
        flip = !flip;
    }
}

int membersOf(const benchmark::State &state)
{
    return int(state.range(1));
}

// Both timings for a room of 500, 5,000 and 10,000 members.
void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"loop_turn", "members"});
    for (const int members : {500, 5000, 10000})
        for (const int loopTurn : {0, 1})
            b->Args({loopTurn, members});
}

void BM_Unchanged(benchmark::State &state)
{
    alternate(state, roomOf(membersOf(state), 0), roomOf(membersOf(state), 0));
}
BENCHMARK(BM_Unchanged)->Apply(sizes)->Unit(benchmark::kMillisecond);

void BM_FiveInHundredStartOrStopSpeaking(benchmark::State &state)
{
    alternate(state, roomOf(membersOf(state), 20), roomOf(membersOf(state), 0));
}
BENCHMARK(BM_FiveInHundredStartOrStopSpeaking)->Apply(sizes)->Unit(benchmark::kMillisecond);

void BM_EveryDotChanges(benchmark::State &state)
{
    alternate(state, roomOf(membersOf(state), 0, 0, true), roomOf(membersOf(state), 0));
}
BENCHMARK(BM_EveryDotChanges)->Apply(sizes)->Unit(benchmark::kMillisecond);

void BM_OneMemberJoinsOrLeaves(benchmark::State &state)
{
    alternate(state, roomOf(membersOf(state), 0, 1), roomOf(membersOf(state), 0));
}
BENCHMARK(BM_OneMemberJoinsOrLeaves)->Apply(sizes)->Unit(benchmark::kMillisecond);

void BM_FirstShow(benchmark::State &state)
{
    const blocks::BlockListData data = roomOf(membersOf(state), 0);
    const bool withLoopTurn = state.range(0) != 0;
    for (auto _ : state) {
        ShownPanel shown;
        shown.panel.setBlocks(data);
        if (withLoopTurn)
            QApplication::processEvents();
    }
}
BENCHMARK(BM_FirstShow)->Apply(sizes)->Unit(benchmark::kMillisecond);

// Scrolling the shown room by a page (or by a wheel step of three lines) per loop turn, back
// to the top at the end: the rows that leave the view serve the members that come into it.
void BM_Scroll(benchmark::State &state)
{
    ShownPanel shown;
    shown.panel.setBlocks(roomOf(membersOf(state), 20));
    QApplication::processEvents();
    QScrollBar *bar = shown.panel.verticalScrollBar();
    const int step = state.range(0) != 0 ? bar->pageStep() : 3 * bar->singleStep();
    for (auto _ : state) {
        bar->setValue(bar->value() + step >= bar->maximum() ? 0 : bar->value() + step);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_Scroll)
    ->ArgNames({"page", "members"})
    ->Args({0, 5000})
    ->Args({1, 5000})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The application style sheet is what makes every widget's polish cost what it costs.
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
