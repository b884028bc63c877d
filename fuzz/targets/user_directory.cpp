#include "fuzz_target.h"

#include "user/user_directory_service.h"
#include "user/user_profile.h"

#include "support/fake_http_client.h"

#include <QCoreApplication>

// A batch reply of the user directory, a profile event and a single profile object.
KESTOVA_FUZZ_TARGET(user_directory)
{
    fuzzing::ensureApplication();
    const QByteArray bytes = fuzzing::bytesOf(data, size);
    const QJsonObject json = fuzzing::objectOf(bytes);
    (void)parseUserProfile(json);

    testsupport::FakeHttpClient http;
    UserDirectoryService directory(&http);
    directory.setBatchDelayMs(0);
    directory.requestMany({QStringLiteral("u1"), QStringLiteral("u2")});
    QCoreApplication::processEvents();
    HttpResponse response;
    response.status = 200;
    response.body = bytes;
    response.json = json;
    for (const testsupport::FakeHttpClient::Call &call : http.calls) {
        if (call.callback)
            call.callback(response);
    }
    directory.onProfileUpdatedEvent(QStringLiteral("profile.updated"), json);
    (void)directory.nickname(QStringLiteral("u1"));
}
