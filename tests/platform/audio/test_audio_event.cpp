#include "platform/audio/audio_event.h"
#include "support/test_main.h"

#include <QElapsedTimer>

#include <thread>

class AudioEventTest : public QObject
{
    Q_OBJECT

private slots:
    void signalWakesOneWaitAndResets()
    {
        AudioEvent event;
        QVERIFY(event.isValid());
        QVERIFY(!event.wait(0));
        event.signal();
        event.signal();
        QVERIFY(event.wait(0));
        QVERIFY(!event.wait(0)); // auto-reset: two signals wake one wait
        QVERIFY(!event.consume());
        event.signal();
        QVERIFY(event.consume());
        QVERIFY(!event.consume());
    }

    void waitTimesOutOrWakesFromAnotherThread()
    {
        AudioEvent event;
        QElapsedTimer t;
        t.start();
        QVERIFY(!event.wait(20));
        QVERIFY(t.elapsed() >= 15);

        std::thread other([&event] { event.signal(); });
        QVERIFY(event.wait(5000));
        other.join();
    }
};

KESTOVA_TEST_MAIN(AudioEventTest)
#include "test_audio_event.moc"
