#include "fuzz_target.h"

#include "auth/login_service.h"
#include "auth/session_service.h"
#include "auth/sms_service.h"
#include "net/http_types.h"

#include "auth/memory_session_store.h"
#include "support/fake_http_client.h"

#include <array>

namespace {

HttpResponse replyOf(unsigned selector, const QByteArray &body)
{
    static constexpr std::array<int, 8> statuses{200, 201, 400, 401, 403, 429, 500, 0};
    HttpResponse response;
    response.status = statuses[selector % statuses.size()];
    response.networkError = response.status == 0;
    response.body = body;
    response.json = fuzzing::objectOf(body);
    return response;
}

void answerFirst(testsupport::FakeHttpClient &http, const HttpResponse &response)
{
    if (!http.calls.isEmpty() && http.calls.first().callback)
        http.calls.first().callback(response);
}

} // namespace

// The replies of sending a code, signing in and refreshing the session; the first
// byte picks the status.
KESTOVA_FUZZ_TARGET(auth_replies)
{
    unsigned selector = 0;
    const HttpResponse response = replyOf(selector, fuzzing::takeSelector(data, size, &selector));
    const HttpResponse reply = replyOf(selector, response.body);
    {
        testsupport::FakeHttpClient http;
        SmsService sms(&http);
        sms.sendCode(QStringLiteral("+8613800000000"));
        answerFirst(http, reply);
    }
    {
        testsupport::FakeHttpClient http;
        MemorySessionStore store;
        LoginService login(&http, &store, QStringLiteral("device"));
        login.login(QStringLiteral("+8613800000000"), QStringLiteral("123456"), QStringLiteral("terms@1+privacy@1"));
        answerFirst(http, reply);
    }
    {
        testsupport::FakeHttpClient http;
        MemorySessionStore store;
        store.user = QStringLiteral("u1");
        store.refresh = QStringLiteral("refresh");
        SessionService session(&http, &store);
        session.refreshAccessToken([](bool) {});
        answerFirst(http, reply);
    }
}
