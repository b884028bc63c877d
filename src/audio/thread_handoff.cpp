#include "audio/thread_handoff.h"

#include <QThread>

#if defined(__SANITIZE_THREAD__)
#define KESTOVA_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KESTOVA_TSAN 1
#endif
#endif

#ifdef KESTOVA_TSAN
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

void annotateHappensBefore(const void *token)
{
#ifdef KESTOVA_TSAN
    __tsan_release(const_cast<void *>(token));
#else
    Q_UNUSED(token)
#endif
}

void annotateHappensAfter(const void *token)
{
#ifdef KESTOVA_TSAN
    __tsan_acquire(const_cast<void *>(token));
#else
    Q_UNUSED(token)
#endif
}

void quitAndJoin(QThread &thread)
{
    // Connected last, so it runs on the finishing thread after every other slot on finished. It
    // captures nothing: the sanitizer would see its captures written here and read there.
    const QMetaObject::Connection lastWork = QObject::connect(
        &thread, &QThread::finished, &thread, [] { annotateHappensBefore(QThread::currentThread()); },
        Qt::DirectConnection);
    thread.quit();
    thread.wait();
    annotateHappensAfter(&thread);
    QObject::disconnect(lastWork);
}
