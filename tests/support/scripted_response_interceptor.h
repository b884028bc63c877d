#pragma once

#include "net/interceptors.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace testsupport {

// A response interceptor for tests: records every response offered to it and acts on
// it as scripted. A held offer keeps its control, so a test can replay or deliver later
// with `offers()[i].control`.
class ScriptedResponseInterceptor : public IResponseInterceptor
{
public:
    enum class Action {
        PassOn,  // return false: the next interceptor or the callback gets the response
        Hold,    // return true and do nothing yet
        Replay,  // return true and replay at once
        Deliver, // return true and deliver at once (the substitute response when one is set)
    };

    struct Offer
    {
        HttpResponse response;
        QString path;
        HttpOptions options;
        int attempt = 0;
        ResponseControl control;
    };

    using Script = std::function<Action(const Offer &offer)>;

    bool onResponse(const HttpResponse &response, const QString &path, const HttpOptions &options, int attempt,
                    ResponseControl control) override;

    // The same action for every offer (default PassOn).
    void setAction(Action action);
    // The action decided per offer, e.g. Replay for attempt 0 and PassOn after.
    void setScript(Script script);
    // What Deliver hands to the callback instead of the offered response.
    void setSubstitute(const HttpResponse &response);

    QList<Offer> offers() const { return recorded; }
    int offerCount() const { return int(recorded.size()); }

private:
    Script script;
    std::optional<HttpResponse> substitute;
    QList<Offer> recorded;
};

} // namespace testsupport
