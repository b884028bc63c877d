#include "net/tracing_interceptor.h"

#include <QNetworkRequest>
#include <QRandomGenerator64>
#include <QUuid>

namespace tracing {

namespace {

// `count` lower-case hex digits, each from the top four bits of one 32-bit draw.
QByteArray randomHex(int count)
{
    static const char digits[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(count);
    QRandomGenerator64 *generator = QRandomGenerator64::global();
    for (int i = 0; i < count; ++i)
        out.append(digits[generator->QRandomGenerator::generate() >> 28]);
    return out;
}

} // namespace

void TracingInterceptor::onRequest(QNetworkRequest &request, const HttpOptions &)
{
    if (!request.hasRawHeader("traceparent")) {
        const QByteArray parentId = randomHex(16);
        const QByteArray traceId = randomHex(32);
        request.setRawHeader("traceparent", "00-" + traceId + '-' + parentId + "-01");
    }
    if (!request.hasRawHeader("X-Request-Id"))
        request.setRawHeader("X-Request-Id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8());
}

} // namespace tracing
