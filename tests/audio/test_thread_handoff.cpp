#include "audio/thread_handoff.h"
#include "support/test_main.h"

#include <QThread>

#include <numeric>
#include <vector>

// The data below is plain on purpose: under the thread sanitizer these tests fail with a race
// report unless the hand-offs are visible to it.
class TestThreadHandoff : public QObject
{
    Q_OBJECT
private slots:
    void joinWaitsForTheFinishingSlots();
    void queuedDataIsReadOnTheThread();
    void joiningAThreadThatNeverRanReturns();
};

void TestThreadHandoff::joinWaitsForTheFinishingSlots()
{
    QThread thread;
    QObject context;
    context.moveToThread(&thread);
    std::vector<int> written;
    // Runs on the finishing thread, as an engine's shutdown does.
    connect(&thread, &QThread::finished, &context, [&written] { written.assign(1000, 7); });
    thread.start();

    quitAndJoin(thread);
    QVERIFY(thread.isFinished());
    QCOMPARE(written.size(), std::size_t(1000));
    QCOMPARE(written.back(), 7);
}

void TestThreadHandoff::queuedDataIsReadOnTheThread()
{
    QThread thread;
    QObject context;
    context.moveToThread(&thread);
    thread.start();

    std::vector<int> samples(480, 3); // written on this thread only
    long sum = 0;                     // written on the other thread only
    annotateHappensBefore(&context);
    QMetaObject::invokeMethod(
        &context,
        [&context, &samples, &sum] {
            annotateHappensAfter(&context);
            sum = std::accumulate(samples.begin(), samples.end(), 0L);
        },
        Qt::QueuedConnection);
    // Queued calls run in order: once this one has run, so has the one above.
    QMetaObject::invokeMethod(
        &context, [] {}, Qt::BlockingQueuedConnection);

    quitAndJoin(thread);
    QCOMPARE(sum, 1440L);
}

void TestThreadHandoff::joiningAThreadThatNeverRanReturns()
{
    QThread thread;
    quitAndJoin(thread);
    QVERIFY(!thread.isRunning());
}

KESTOVA_TEST_MAIN(TestThreadHandoff)
#include "test_thread_handoff.moc"
