#pragma once

#include "net/http_types.h"
#include "room/room_error.h"

#include <QDebug>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QString>

#include <functional>

class IHttpClient;
class QObject;

// The conventions that every REST request of the room and chat services shares:
// when a reply counts as failed, how the failure is logged, and how it becomes the
// (code, message) pair of a failure signal. GUI thread only.

// A reply fails when its status is outside 200..299 or it timed out or failed below HTTP.
inline bool isFailedReply(const HttpResponse &response)
{
    return !response.isSuccess();
}

// What a failure signal carries: the classified server "code" and its "message"
// (empty when the body has none).
struct RoomRequestError
{
    RoomErrorCode code = RoomErrorCode::Other;
    QString message;
};
RoomRequestError roomRequestErrorOf(const HttpResponse &response);

// How much of a failed reply a failure warning shows. Most operations show all four
// fields; a few show fewer.
enum class FailureDetail {
    Status,   // " status=<n>"
    Code,     // ... " code=<c>"
    NetError, // ... " net_err=<e>"
    Body,     // ... " body=<first 512 bytes>"
};

// The failure fields that end every failure warning, streamed into a log line:
//   qCWarning(lcRoomLifecycle).nospace() << "join failed room_id=" << id << failureFields(response);
// writes ` status=<n> code="<c>" net_err="<e>" body="<first 512 bytes>"`, or the
// leading part of it that `detail` names. Strings keep the log stream's quoting.
struct ReplyFailureFields
{
    const HttpResponse &response;
    FailureDetail detail = FailureDetail::Body;
};
inline ReplyFailureFields failureFields(const HttpResponse &response, FailureDetail detail = FailureDetail::Body)
{
    return ReplyFailureFields{response, detail};
}
QDebug operator<<(QDebug debug, const ReplyFailureFields &fields);

// Composes log text the way a log line is composed: no automatic spaces, strings in
// double quotes, numbers bare. logText("kick failed room_id=", id) gives
// `kick failed room_id="r1"`.
template<typename... Parts>
QString logText(const Parts &...parts)
{
    QString text;
    {
        QDebug debug(&text);
        debug.nospace();
        ((debug << parts), ...);
    }
    return text;
}

// One REST request of a room service, sent the shared way.
struct RoomRequest
{
    HttpMethod method = HttpMethod::Post;
    QString path;                               // built with apiPath, so that every id is one path segment
    QJsonObject body;                           // sent by post, put and patch; an empty object unless keys are listed
    QString failureLead;                        // the operation's lead text with its values, from logText
    FailureDetail detail = FailureDetail::Body; // what the failure warning shows of the reply
    HttpOptions options;                        // the default unless the operation needs headers
    // Asked when the reply arrives: false drops it unseen (no log, no callback),
    // for a reply that a later state made meaningless. Empty: always wanted.
    std::function<bool()> stillWanted;
};

// Options with a fresh "Idempotency-Key" (a random UUID without braces): every POST
// of the chat service carries its own, so the server tells a repeated request from a new one.
HttpOptions idempotentRequestOptions();

using RoomRequestSuccess = std::function<void(const HttpResponse &response)>;
using RoomRequestFailure = std::function<void(const RoomRequestError &error)>;

// Sends the request with `http`. The reply is handled only while `receiver` exists:
// on failure one warning `<failureLead> status=... code=... net_err=... body=...` (as
// much as `detail` names) is
// written to `category`, then `onFailure` runs with the classified error; on success
// `onSuccess` runs (it writes the operation's info line). Either callback may be empty.
void sendRoomRequest(IHttpClient *http, QMessageLogger::CategoryFunction category, const QObject *receiver,
                     RoomRequest request, RoomRequestSuccess onSuccess, RoomRequestFailure onFailure);
