#include "user/profile_service.h"

#include "net/http_reply.h"
#include "net/i_http_client.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>

#include <algorithm>

Q_LOGGING_CATEGORY(lcProfile, "user.profile", QtInfoMsg)

namespace {
constexpr int kMaxShift = 5;
constexpr int kMaxDelayUnits = 30;
} // namespace

ProfileService::ProfileService(IHttpClient *http_, UserState *state_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , state(state_)
{
    retryTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &ProfileService::fetchProfile);
    // A signed-out session must not keep retrying in the background.
    connect(state, &UserState::cleared, this, &ProfileService::stopRetrying);
}

void ProfileService::setRetryUnitMs(int unitMs)
{
    retryUnitMs = std::max(1, unitMs);
}

std::optional<int> ProfileService::pendingRetryDelayMs() const
{
    if (!retryTimer.isActive())
        return std::nullopt;
    return retryTimer.interval();
}

void ProfileService::fetchProfile()
{
    retryTimer.stop();
    const quint64 generation = state->generation();
    QPointer<ProfileService> self(this);
    http->get(QStringLiteral("/v1/users/me"), [self, generation](const HttpResponse &response) {
        if (self)
            self->onFetchFinished(generation, response);
    });
}

void ProfileService::onFetchFinished(quint64 generation, const HttpResponse &response)
{
    if (generation != state->generation()) {
        qCInfo(lcProfile) << "profile reply dropped, session ended";
        return;
    }
    if (response.isSuccess()) {
        attempt = 0;
        const UserProfile profile = parseUserProfile(response.json);
        // A body that names no user is no profile: applying it would wipe the signed-in user.
        if (profile.userId.isEmpty()) {
            qCWarning(lcProfile).noquote()
                << "profile response malformed, missing user id " + describeFailedReply(response);
            return;
        }
        qCInfo(lcProfile).noquote().nospace()
            << "profile fetched user_id=" << profile.userId << " status=" << profile.status;
        state->applyProfile(profile);
        emit profileFetched();
        return;
    }

    qCWarning(lcProfile).noquote() << "profile fetch failed " + describeFailedReply(response);
    if (response.status != 0 && response.status < 500)
        return;

    const int delay = std::min(retryUnitMs << std::min(attempt, kMaxShift), kMaxDelayUnits * retryUnitMs);
    ++attempt;
    qCInfo(lcProfile).nospace() << "profile fetch retry scheduled attempt=" << attempt << " delay_ms=" << delay;
    retryTimer.start(delay);
}

void ProfileService::onProfileUpdatedEvent(const QString &name, const QJsonObject &payload)
{
    if (name != QLatin1String("user.profile-updated"))
        return;
    const QJsonValue userId = payload.value(QLatin1String("userId"));
    // Nobody signed in: no event can be the own one.
    if (state->userId().isEmpty() || !userId.isString() || userId.toString() != state->userId())
        return;
    qCInfo(lcProfile) << "own profile updated via realtime, syncing nickname";
    state->setNickname(payload.value(QLatin1String("nickname")).toString());
}

void ProfileService::stopRetrying()
{
    retryTimer.stop();
    attempt = 0;
}
