#include "support/log_capture.h"

#include <QMutex>

namespace testsupport {
namespace {
QMutex mutex;
QList<LogCapture::Entry> *active = nullptr;
} // namespace

LogCapture::LogCapture()
{
    QMutexLocker lock(&mutex);
    active = new QList<Entry>();
    previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
    QMutexLocker lock(&mutex);
    delete active;
    active = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QMutexLocker lock(&mutex);
    if (active)
        active->append({type, QString::fromLatin1(context.category ? context.category : "default"), message});
}

QList<LogCapture::Entry> LogCapture::entries() const
{
    QMutexLocker lock(&mutex);
    return active ? *active : QList<Entry>();
}

int LogCapture::count(const QString &category, const QString &text) const
{
    int n = 0;
    for (const Entry &e : entries()) {
        if (e.category == category && e.message.contains(text))
            ++n;
    }
    return n;
}

void LogCapture::clear()
{
    QMutexLocker lock(&mutex);
    if (active)
        active->clear();
}

} // namespace testsupport
