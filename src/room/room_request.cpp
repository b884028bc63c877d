#include "room/room_request.h"

#include "net/http_reply.h"
#include "net/i_http_client.h"

#include <QObject>
#include <QPointer>
#include <QUuid>

RoomRequestError roomRequestErrorOf(const HttpResponse &response)
{
    return RoomRequestError{classifyRoomError(errorCodeOf(response)), errorMessageOf(response)};
}

namespace {

// The failure fields with the usual quoting, inside a line that writes its composed lead unquoted.
struct QuotedFailureFields
{
    ReplyFailureFields fields;
};

QDebug operator<<(QDebug debug, const QuotedFailureFields &fields)
{
    debug.quote();
    return debug << fields.fields;
}

} // namespace

QDebug operator<<(QDebug debug, const ReplyFailureFields &fields)
{
    const HttpResponse &response = fields.response;
    debug << " status=" << response.status;
    if (fields.detail >= FailureDetail::Code)
        debug << " code=" << errorCodeOf(response);
    if (fields.detail >= FailureDetail::NetError)
        debug << " net_err=" << response.error;
    if (fields.detail >= FailureDetail::Body)
        debug << " body=" << loggedBodyOf(response);
    return debug;
}

HttpOptions idempotentRequestOptions()
{
    HttpOptions options;
    options.headers.insert(QByteArrayLiteral("Idempotency-Key"),
                           QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1());
    return options;
}

void sendRoomRequest(IHttpClient *http, QMessageLogger::CategoryFunction category, const QObject *receiver,
                     RoomRequest request, RoomRequestSuccess onSuccess, RoomRequestFailure onFailure)
{
    QPointer<const QObject> alive(receiver);
    HttpCallback done = [alive, category, lead = request.failureLead, detail = request.detail,
                         stillWanted = std::move(request.stillWanted), onSuccess = std::move(onSuccess),
                         onFailure = std::move(onFailure)](const HttpResponse &response) {
        if (!alive || (stillWanted && !stillWanted()))
            return;
        if (isFailedReply(response)) {
            // The lead is composed already; the failure fields keep the usual quoting.
            qCWarning(category).nospace().noquote() << lead << QuotedFailureFields{failureFields(response, detail)};
            if (onFailure)
                onFailure(roomRequestErrorOf(response));
            return;
        }
        if (onSuccess)
            onSuccess(response);
    };

    switch (request.method) {
        case HttpMethod::Get: http->get(request.path, std::move(done), request.options); break;
        case HttpMethod::Post: http->post(request.path, request.body, std::move(done), request.options); break;
        case HttpMethod::Put: http->put(request.path, request.body, std::move(done), request.options); break;
        case HttpMethod::Patch: http->patch(request.path, request.body, std::move(done), request.options); break;
        case HttpMethod::Delete: http->del(request.path, std::move(done), request.options); break;
    }
}
