#include "ui/chat/chat_feed_view.h"
#include "ui/chat/chat_message_row.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollArea>
#include <QScrollBar>

#include <unistd.h>

namespace {

constexpr int kAppends = 1000;
constexpr int kPageSize = 50;
constexpr int kPages = 10;

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

// Realistic traffic: three senders taking turns in short runs, some markup, a link
// now and then, one message in ten with an image, over a few days.
ChatFeedView::Message makeMessage(qint64 seq)
{
    static const qint64 start = QDateTime(QDate(2026, 12, 1), QTime(8, 0)).toMSecsSinceEpoch();
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
    if (seq % 10 == 0) {
        ChatAttachment a;
        a.attachmentId = QStringLiteral("att-%1").arg(seq);
        a.width = 800;
        a.height = 600;
        m.attachments = {a};
    }
    return m;
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

// 1,000 live messages appended to a shown feed; the time includes building every row
// and the turn of the event loop that lays them out and scrolls to the bottom.
static void BM_AppendThousand(benchmark::State &state)
{
    double appendOnlyUs = 0;
    double bytesPerRow = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<ChatFeedView>();
        view->resize(560, 720);
        view->show();
        settle();
        const qint64 before = residentBytes();
        state.ResumeTiming();

        QElapsedTimer timer;
        timer.start();
        for (qint64 seq = 1; seq <= kAppends; ++seq)
            view->appendMessage(makeMessage(seq));
        appendOnlyUs += timer.nsecsElapsed() / 1000.0;
        settle();

        state.PauseTiming();
        bytesPerRow += double(residentBytes() - before) / kAppends;
        view.reset();
        settle();
        state.ResumeTiming();
    }
    state.counters["us_per_append"] = appendOnlyUs / double(state.iterations()) / kAppends;
    state.counters["kB_per_row"] = bytesPerRow / double(state.iterations()) / 1024.0;
}
BENCHMARK(BM_AppendThousand)->Unit(benchmark::kMillisecond)->Iterations(3);

// A feed of the newest 1,000 messages scrolled back through 10 older pages of 50: each
// arrival at the top asks for a page, the page is prepended and the position kept. Rows
// that stay must be the same widgets afterwards.
static void BM_TenHistoryPages(benchmark::State &state)
{
    qint64 rebuilt = 0;
    qint64 requests = 0;
    double pageMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<ChatFeedView>();
        QObject::connect(view.get(), &ChatFeedView::loadOlderRequested, [&requests](qlonglong) { ++requests; });
        view->resize(560, 720);
        view->show();
        const qint64 first = kPageSize * kPages + 1;
        for (qint64 seq = first; seq < first + kAppends; ++seq)
            view->appendMessage(makeMessage(seq));
        settle();
        QList<const ChatMessageRow *> kept;
        for (const ChatFeedView::Entry &entry : view->flatEntries())
            kept.append(entry.row);
        QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
        state.ResumeTiming();

        QElapsedTimer timer;
        timer.start();
        for (int page = 0; page < kPages; ++page) {
            bar->setValue(0); // arrival at the top asks for the page before the oldest
            const qint64 oldest = view->oldestLoadedSeq();
            QList<ChatFeedView::Message> older;
            for (qint64 seq = oldest - kPageSize; seq < oldest; ++seq)
                older.append(makeMessage(seq));
            view->prependHistory(older);
            settle();
        }
        pageMs += timer.nsecsElapsed() / 1e6;

        state.PauseTiming();
        const QList<ChatFeedView::Entry> &entries = view->flatEntries();
        for (int i = 0; i < kept.size(); ++i) {
            if (entries.at(kPageSize * kPages + i).row != kept.at(i))
                ++rebuilt;
        }
        view.reset();
        settle();
        state.ResumeTiming();
    }
    state.counters["ms_per_page"] = pageMs / double(state.iterations()) / kPages;
    state.counters["rebuilt_rows"] = double(rebuilt);
    state.counters["page_requests"] = double(requests) / double(state.iterations());
}
BENCHMARK(BM_TenHistoryPages)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
