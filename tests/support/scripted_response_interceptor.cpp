#include "support/scripted_response_interceptor.h"

namespace testsupport {

bool ScriptedResponseInterceptor::onResponse(const HttpResponse &response, const QString &path,
                                             const HttpOptions &options, int attempt, ResponseControl control)
{
    Offer offer{response, path, options, attempt, control};
    recorded.append(offer);
    const Action action = script ? script(offer) : Action::PassOn;
    switch (action) {
        case Action::PassOn: return false;
        case Action::Hold: return true;
        case Action::Replay:
            if (control.replay)
                control.replay();
            return true;
        case Action::Deliver:
            if (control.deliver)
                control.deliver(substitute ? *substitute : response);
            return true;
    }
    return false;
}

void ScriptedResponseInterceptor::setAction(Action action)
{
    script = [action](const Offer &) { return action; };
}

void ScriptedResponseInterceptor::setScript(Script newScript)
{
    script = std::move(newScript);
}

void ScriptedResponseInterceptor::setSubstitute(const HttpResponse &response)
{
    substitute = response;
}

} // namespace testsupport
