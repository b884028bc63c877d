#pragma once

#include <memory>

class HttpClient;
class IHttpClient;
class IRawDownloader;
class IRawUploader;
class IRequestInterceptor;
class RawTransferClient;
class IResponseInterceptor;
namespace tracing {
class TracingInterceptor;
}

// The transport module: owns the process's one HttpClient and its raw transfers,
// points the client at the API base URL in use (built in unless given at start) and
// installs tracing as the first request interceptor.
class HttpTransport
{
public:
    HttpTransport();
    ~HttpTransport();

    IHttpClient *api() const;
    IRawDownloader *downloader() const;
    IRawUploader *uploader() const;
    HttpClient *httpClient() const { return client.get(); }

    void addRequestInterceptor(IRequestInterceptor *interceptor);
    void addResponseInterceptor(IResponseInterceptor *interceptor);

private:
    std::unique_ptr<HttpClient> client;
    std::unique_ptr<RawTransferClient> raw;
    std::unique_ptr<tracing::TracingInterceptor> tracing;
};
