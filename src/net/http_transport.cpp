#include "net/http_transport.h"

#include "net/http_client.h"
#include "net/net_log.h"
#include "net/raw_transfer_client.h"
#include "net/server_addresses.h"
#include "net/tracing_interceptor.h"

HttpTransport::HttpTransport()
    : client(std::make_unique<HttpClient>())
    , raw(std::make_unique<RawTransferClient>())
{
    const QString baseUrl = serveraddress::apiBaseUrl();
    client->setBaseUrl(baseUrl);
    tracing = std::make_unique<tracing::TracingInterceptor>();
    // First in the list, so every interceptor added later (the bearer token) runs after it.
    client->addRequestInterceptor(tracing.get());
    qCInfo(lcNet).nospace() << "http transport ready base_url=" << baseUrl;
}

// Tracing first, then the clients (which drop their requests in flight without calling back).
HttpTransport::~HttpTransport()
{
    tracing.reset();
    client.reset();
    raw.reset();
}

IHttpClient *HttpTransport::api() const
{
    return client.get();
}
IRawDownloader *HttpTransport::downloader() const
{
    return raw.get();
}
IRawUploader *HttpTransport::uploader() const
{
    return raw.get();
}

void HttpTransport::addRequestInterceptor(IRequestInterceptor *interceptor)
{
    client->addRequestInterceptor(interceptor);
}

void HttpTransport::addResponseInterceptor(IResponseInterceptor *interceptor)
{
    client->addResponseInterceptor(interceptor);
}
