#include "net/http_transport.h"

#include "build_config.h"
#include "net/http_client.h"
#include "net/tracing_interceptor.h"

#include "net/net_log.h"

HttpTransport::HttpTransport()
    : client(std::make_unique<HttpClient>())
{
    const QString baseUrl = QString::fromLatin1(buildconfig::kApiBaseUrl);
    static_cast<IHttpClient *>(client.get())->setBaseUrl(baseUrl);
    tracing = std::make_unique<tracing::TracingInterceptor>();
    client->addRequestInterceptor(tracing.get());
    qCInfo(lcNet).nospace() << "http transport ready base_url=" << baseUrl;
}

HttpTransport::~HttpTransport()
{
    tracing.reset();
    client.reset();
}

IHttpClient *HttpTransport::api() const { return client.get(); }
IRawDownloader *HttpTransport::downloader() const { return client.get(); }
IRawUploader *HttpTransport::uploader() const { return client.get(); }

void HttpTransport::addRequestInterceptor(IRequestInterceptor *interceptor)
{
    client->addRequestInterceptor(interceptor);
}

void HttpTransport::addResponseInterceptor(IResponseInterceptor *interceptor)
{
    client->addResponseInterceptor(interceptor);
}
