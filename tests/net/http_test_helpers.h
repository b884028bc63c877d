#pragma once

#include "net/http_client.h"
#include "net/http_types.h"
#include "net/raw_transfer_client.h"
#include "support/loopback_http_server.h"

#include <QList>

#include <memory>

// Collects every response handed to its callback.
struct ResponseCollector
{
    QList<HttpResponse> responses;

    HttpCallback callback()
    {
        return [this](const HttpResponse &response) { responses.append(response); };
    }
    int count() const { return int(responses.size()); }
    const HttpResponse &last() const { return responses.last(); }
};

// A loopback HTTP server, an HttpClient whose base URL points at it, and a raw
// transfer client. A test class
// inherits it beside QObject, calls startLoopback() from init() and stopLoopback() from
// cleanup(), so every test function starts with an empty server and a client without
// interceptors.
class LoopbackClientFixture
{
protected:
    // False when the server could not listen on a loopback port.
    bool startLoopback()
    {
        server = std::make_unique<testsupport::LoopbackHttpServer>();
        if (!server->listen())
            return false;
        client = std::make_unique<HttpClient>();
        client->setBaseUrl(server->baseUrl());
        raw = std::make_unique<RawTransferClient>();
        return true;
    }
    // The clients go first, while the server it talks to still exists.
    void stopLoopback()
    {
        client.reset();
        raw.reset();
        server.reset();
    }

    std::unique_ptr<testsupport::LoopbackHttpServer> server;
    std::unique_ptr<HttpClient> client;
    std::unique_ptr<RawTransferClient> raw;
};
