#include "user/nickname_service.h"

#include "net/http_reply.h"
#include "net/i_http_client.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>

Q_LOGGING_CATEGORY(lcNickname, "user.nickname", QtInfoMsg)

NicknameService::NicknameService(IHttpClient *http_, UserState *state_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , state(state_)
{}

void NicknameService::updateNickname(const QString &nickname)
{
    const quint64 generation = state->generation();
    QPointer<NicknameService> self(this);
    http->patch(QStringLiteral("/v1/users/me"), QJsonObject{{QStringLiteral("nickname"), nickname}},
                [self, generation](const HttpResponse &response) {
                    if (self)
                        self->onUpdateFinished(generation, response);
                });
}

void NicknameService::onUpdateFinished(quint64 generation, const HttpResponse &response)
{
    // The account that asked has signed out; its dialog is gone with it.
    if (generation != state->generation()) {
        qCInfo(lcNickname) << "nickname reply dropped, session ended";
        return;
    }
    if (response.isSuccess()) {
        const UserProfile profile = parseUserProfile(response.json);
        qCInfo(lcNickname).noquote().nospace() << "nickname updated user_id=" << profile.userId;
        // The change was accepted; a reply that names no user must not wipe the signed-in user.
        if (!profile.userId.isEmpty())
            state->applyProfile(profile);
        emit updateSucceeded();
        return;
    }
    const QString msg = errorMessageOf(response);
    qCWarning(lcNickname).noquote() << "nickname update failed " + describeFailedReply(response);
    emit updateFailed(msg);
}
