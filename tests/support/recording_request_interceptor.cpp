#include "support/recording_request_interceptor.h"

#include <QNetworkRequest>

namespace testsupport {

void RecordingRequestInterceptor::onRequest(QNetworkRequest &request, const HttpOptions &options)
{
    Call call;
    call.url = request.url();
    call.options = options;
    const QList<QByteArray> names = request.rawHeaderList();
    for (const QByteArray &name : names)
        call.headers.append({name, request.rawHeader(name)});
    recorded.append(call);
    for (const auto &h : std::as_const(ownHeaders))
        request.setRawHeader(h.first, h.second);
}

void RecordingRequestInterceptor::setHeader(const QByteArray &name, const QByteArray &value)
{
    ownHeaders.append({name, value});
}

} // namespace testsupport
