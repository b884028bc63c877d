#include "room/room_request.h"

#include "net/http_reply.h"
#include "net/i_http_client.h"

#include <QObject>
#include <QPointer>

RoomRequestError roomRequestErrorOf(const HttpResponse &response)
{
    return RoomRequestError{classifyRoomError(errorCodeOf(response)), errorMessageOf(response)};
}

namespace {

// The failure fields with the usual quoting, inside a line that writes its composed lead unquoted.
struct QuotedFailureFields
{
    const HttpResponse &response;
    bool withBody = true;
};

QDebug operator<<(QDebug debug, const QuotedFailureFields &fields)
{
    debug.quote();
    return debug << ReplyFailureFields{fields.response, fields.withBody};
}

} // namespace

QDebug operator<<(QDebug debug, const ReplyFailureFields &fields)
{
    const HttpResponse &response = fields.response;
    debug << " status=" << response.status << " code=" << errorCodeOf(response) << " net_err=" << response.error;
    if (fields.withBody)
        debug << " body=" << loggedBodyOf(response);
    return debug;
}

void sendRoomRequest(IHttpClient *http, QMessageLogger::CategoryFunction category, const QObject *receiver,
                     RoomRequest request, RoomRequestSuccess onSuccess, RoomRequestFailure onFailure)
{
    QPointer<const QObject> alive(receiver);
    HttpCallback done = [alive, category, lead = request.failureLead, logBody = request.logBody,
                         onSuccess = std::move(onSuccess), onFailure = std::move(onFailure)](const HttpResponse &response) {
        if (!alive)
            return;
        if (isFailedReply(response)) {
            // The lead is composed already; the failure fields keep the usual quoting.
            qCWarning(category).nospace().noquote() << lead << QuotedFailureFields{response, logBody};
            if (onFailure)
                onFailure(roomRequestErrorOf(response));
            return;
        }
        if (onSuccess)
            onSuccess(response);
    };

    switch (request.method) {
    case HttpMethod::Get:
        http->get(request.path, std::move(done), request.options);
        break;
    case HttpMethod::Post:
        http->post(request.path, request.body, std::move(done), request.options);
        break;
    case HttpMethod::Put:
        http->put(request.path, request.body, std::move(done), request.options);
        break;
    case HttpMethod::Patch:
        http->patch(request.path, request.body, std::move(done), request.options);
        break;
    case HttpMethod::Delete:
        http->del(request.path, std::move(done), request.options);
        break;
    }
}
