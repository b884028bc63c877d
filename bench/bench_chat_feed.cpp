#include "theme/style_helpers.h"
#include "ui/chat/chat_feed_view.h"
#include "ui/chat/mixed_feed_view.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleFactory>

#include <ctime>
#include <malloc.h>
#include <unistd.h>

// What a user meets: a shown feed under the application style sheet, one message per turn
// of the event loop, and the turn itself (layout, scrolling and painting) inside the time.
namespace {

constexpr int kPageSize = 50;

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Realistic traffic: three senders taking turns in short runs, some markup, a link now and
// then, one message in ten with an image (an empty frame: no loader), over a few days.
ChatFeedView::Message makeMessage(qint64 seq, bool withImages = true)
{
    static const qint64 start = QDateTime(QDate(2026, 11, 1), QTime(8, 0)).toMSecsSinceEpoch();
    ChatFeedView::Message m;
    m.id = QStringLiteral("msg-%1").arg(seq);
    m.seq = seq;
    m.createdAt = start + seq * 90 * 1000;
    const int sender = int((seq / 3) % 3);
    m.senderId = QStringLiteral("user-%1").arg(sender);
    m.senderName = QStringList{QStringLiteral("Alice"), QStringLiteral("Bob"), QStringLiteral("小明")}.at(sender);
    m.content = QStringLiteral("message %1 with **bold** text, `code` and a ||spoiler||").arg(seq);
    if (seq % 7 == 0)
        m.content += QStringLiteral(" see https://example.org/page/%1").arg(seq);
    if (withImages && seq % 10 == 0) {
        ChatAttachment a;
        a.attachmentId = QStringLiteral("att-%1").arg(seq);
        a.width = 800;
        a.height = 600;
        m.attachments = {a};
    }
    return m;
}

// One turn of the event loop and what it posts for the next: layout requests, the
// deferred scroll and the paint of the window. A running loop, as in the client, so that
// widgets released with deleteLater are deleted (processEvents alone never does it for
// deletions requested outside any loop, and they would pile up in the event queue).
void turn()
{
    for (int i = 0; i < 3; ++i) {
        QEventLoop loop;
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

std::unique_ptr<ChatFeedView> shownFeed(qint64 firstSeq, int rows)
{
    auto view = std::make_unique<ChatFeedView>();
    view->resize(560, 720);
    view->show();
    turn();
    for (qint64 seq = firstSeq; seq < firstSeq + rows; ++seq)
        view->appendMessage(makeMessage(seq));
    turn();
    return view;
}

} // namespace

// Resident memory for 1,000 more text messages on a shown feed that already holds 1,000,
// each arriving in its own turn. Registered first, so that the heap is not yet full of
// what earlier cases freed; the heap in use (malloc's count) is given as well, since
// resident memory also follows how the allocator reuses freed pages.
static void BM_MemoryPerThousand(benchmark::State &state)
{
    for (auto _ : state) {
        auto view = shownFeed(1, 1000);
        const qint64 before = residentBytes();
        const size_t heapBefore = mallinfo2().uordblks;
        for (qint64 seq = 1001; seq <= 2000; ++seq) {
            view->appendMessage(makeMessage(seq, false));
            if (seq % 10 == 0)
                turn();
        }
        turn();
        state.counters["MB_resident_per_1000"] = double(residentBytes() - before) / (1024.0 * 1024.0);
        state.counters["MB_heap_per_1000"] = (double(mallinfo2().uordblks) - double(heapBefore)) / (1024.0 * 1024.0);
    }
}
BENCHMARK(BM_MemoryPerThousand)->Iterations(1)->Unit(benchmark::kMillisecond);

// One live message appended to a shown feed already holding `rows` messages, then the
// turn of the event loop that lays it out, scrolls to it and paints.
static void BM_AppendOnePerTurn(benchmark::State &state)
{
    const int rows = int(state.range(0));
    auto view = shownFeed(1, rows);
    qint64 seq = rows + 1;
    double cpu = 0;
    double appendOnly = 0;
    for (auto _ : state) {
        const double before = cpuMs();
        view->appendMessage(makeMessage(seq++));
        appendOnly += cpuMs() - before;
        turn();
        cpu += cpuMs() - before;
    }
    state.counters["cpu_ms_per_msg"] = cpu / double(state.iterations());
    state.counters["append_ms"] = appendOnly / double(state.iterations());
    QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
    state.counters["at_bottom"] = bar->value() == bar->maximum() ? 1 : 0;
}
BENCHMARK(BM_AppendOnePerTurn)->Arg(100)->Arg(1000)->Arg(10000)->Iterations(20)->Unit(benchmark::kMillisecond);

// A feed of `rows` messages scrolled to its top; the page of 50 older messages it asks
// for is prepended and the turn that lays it out and paints it is included.
static void BM_HistoryPage(benchmark::State &state)
{
    const int rows = int(state.range(0));
    const int pages = int(state.max_iterations);
    auto view = shownFeed(qint64(kPageSize) * pages + 1, rows);
    QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bar->setValue(0);
        turn();
        const qint64 oldest = view->oldestLoadedSeq();
        QList<ChatFeedView::Message> older;
        for (qint64 seq = oldest - kPageSize; seq < oldest; ++seq)
            older.append(makeMessage(seq));
        state.ResumeTiming();
        const double before = cpuMs();
        view->prependHistory(older);
        turn();
        cpu += cpuMs() - before;
    }
    state.counters["cpu_ms_per_page"] = cpu / double(state.iterations());
    state.counters["entries"] = double(view->flatEntries().size());
}
BENCHMARK(BM_HistoryPage)->Arg(1000)->Arg(10000)->Iterations(5)->Unit(benchmark::kMillisecond);

// The merged feed at its cap of 500: every message drops the oldest.
static void BM_MixedAtCap(benchmark::State &state)
{
    auto view = std::make_unique<MixedFeedView>();
    view->resize(560, 720);
    view->show();
    turn();
    auto item = [](qint64 seq) {
        MixedFeedView::Item it;
        const ChatFeedView::Message m = makeMessage(seq);
        it.roomId = QStringLiteral("room-%1").arg((seq / 5) % 3);
        it.messageId = m.id;
        it.seq = seq;
        it.sentAt = m.createdAt;
        it.senderId = m.senderId;
        it.content = m.content;
        it.attachments = m.attachments;
        return it;
    };
    qint64 seq = 1;
    for (; seq <= MixedFeedView::kMaxItems; ++seq)
        view->appendItem(item(seq));
    turn();
    double cpu = 0;
    for (auto _ : state) {
        const double before = cpuMs();
        view->appendItem(item(seq++));
        turn();
        cpu += cpuMs() - before;
    }
    state.counters["cpu_ms_per_msg"] = cpu / double(state.iterations());
}
BENCHMARK(BM_MixedAtCap)->Iterations(20)->Unit(benchmark::kMillisecond);

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
