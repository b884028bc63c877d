#pragma once

#include "net/interceptors.h"

#include <QList>
#include <QPair>
#include <QUrl>

namespace testsupport {

// A request interceptor for tests: records what each request looked like when it
// ran (URL, raw headers set so far, options), then sets its own headers, if any.
class RecordingRequestInterceptor : public IRequestInterceptor
{
public:
    struct Call
    {
        QUrl url;
        QList<QPair<QByteArray, QByteArray>> headers; // raw headers present before this interceptor ran
        HttpOptions options;
    };

    void onRequest(QNetworkRequest &request, const HttpOptions &options) override;

    // A raw header set on every request after recording (e.g. "Authorization").
    void setHeader(const QByteArray &name, const QByteArray &value);

    QList<Call> calls() const { return recorded; }
    int callCount() const { return int(recorded.size()); }

private:
    QList<QPair<QByteArray, QByteArray>> ownHeaders;
    QList<Call> recorded;
};

} // namespace testsupport
