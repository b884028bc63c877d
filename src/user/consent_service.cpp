#include "user/consent_service.h"

#include "legal/legal_service.h"
#include "legal/legal_versions.h"
#include "net/http_reply.h"
#include "net/i_http_client.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>

Q_LOGGING_CATEGORY(lcConsent, "user.consent", QtInfoMsg)

ConsentService::ConsentService(IHttpClient *http_, UserState *state_, LegalService *legal_, QObject *parent)
    : QObject(parent)
    , http(http_)
    , state(state_)
    , legal(legal_)
{}

void ConsentService::checkReconsent()
{
    const QString agreed = state->agreedLegalVersion();
    if (agreed.isEmpty() || !legal->versionsReady())
        return;
    const LegalVersions agreedVersions = parseLegalVersionTag(agreed);
    if (agreedVersions.terms.isEmpty() || agreedVersions.privacy.isEmpty()) {
        qCWarning(lcConsent) << "agreed legal version unparseable, skip reconsent";
        return;
    }
    QList<LegalDoc> changed;
    if (agreedVersions.terms != legal->termsVersion())
        changed << LegalDoc::Terms;
    if (agreedVersions.privacy != legal->privacyVersion())
        changed << LegalDoc::Privacy;
    if (changed.isEmpty())
        return;
    qCInfo(lcConsent).nospace() << "reconsent required, changed_docs=" << changed.size();
    emit reconsentRequired(changed);
}

void ConsentService::submitConsent()
{
    const quint64 generation = state->generation();
    QPointer<ConsentService> self(this);
    http->patch(QStringLiteral("/v1/users/me"),
                QJsonObject{{QStringLiteral("agreedLegalVersion"), legal->versionTag()}},
                [self, generation](const HttpResponse &response) {
                    if (self)
                        self->onSubmitFinished(generation, response);
                });
}

void ConsentService::onSubmitFinished(quint64 generation, const HttpResponse &response)
{
    // Signed out meanwhile: the reply must not bring the old profile back.
    if (generation != state->generation()) {
        qCInfo(lcConsent) << "consent reply dropped, session ended";
        return;
    }
    if (response.isSuccess()) {
        // The agreement was recorded; a reply that names no user must not wipe the signed-in user.
        const UserProfile profile = parseUserProfile(response.json);
        if (!profile.userId.isEmpty())
            state->applyProfile(profile);
        qCInfo(lcConsent) << "consent submitted";
        return;
    }
    qCWarning(lcConsent).noquote() << "consent submit failed " + describeFailedReply(response);
}
