#include "legal/legal_service.h"

#include "net/i_raw_downloader.h"
#include "net/server_addresses.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QUrl>

Q_LOGGING_CATEGORY(lcLegal, "legal", QtInfoMsg)

namespace {

constexpr int kDocTimeoutMs = 3000;
constexpr int kLoggedBodyBytes = 512;

QString docKey(LegalDoc doc)
{
    return doc == LegalDoc::Terms ? QStringLiteral("terms") : QStringLiteral("privacy");
}

} // namespace

LegalService::LegalService(IRawDownloader *downloader_, QObject *parent)
    : QObject(parent)
    , downloader(downloader_)
{}

LegalService::~LegalService() = default;

void LegalService::fetchDoc(LegalDoc doc, DocCallback callback)
{
    const QString key = docKey(doc);
    const auto cached = docCache.constFind(key);
    if (cached != docCache.constEnd()) {
        callback(true, cached.value());
        return;
    }

    const QString version = doc == LegalDoc::Terms ? currentTerms : currentPrivacy;
    if (version.isEmpty()) {
        qCWarning(lcLegal).noquote() << "fetchDoc: version not ready, doc=" + key;
        callback(false, QString());
        return;
    }

    // The version comes from the asset host; encode it so that it stays one path segment.
    const QString url =
        serveraddress::assetBaseUrl()
        + QStringLiteral("/legal/%1-%2.md").arg(key, QString::fromLatin1(QUrl::toPercentEncoding(version)));

    QPointer<LegalService> self(this);
    downloader->rawGet(
        url,
        [self, key, version, callback = std::move(callback)](const HttpResponse &response) {
            const bool ok = response.isSuccess() && !response.body.isEmpty();
            if (!ok) {
                qCWarning(lcLegal).noquote()
                    << QStringLiteral("legal doc fetch failed doc=%1 status=%2 net_err=%3 body=%4")
                           .arg(key)
                           .arg(response.status)
                           .arg(response.error, QString::fromUtf8(response.body.left(kLoggedBodyBytes)));
                callback(false, QString());
                return;
            }
            const QString text = QString::fromUtf8(response.body);
            if (self) {
                // A document of a version that was replaced meanwhile must not fill the
                // cache that now stands for the new version.
                const QString current = key == QLatin1String("terms") ? self->currentTerms : self->currentPrivacy;
                if (current == version)
                    self->docCache.insert(key, text);
            }
            qCInfo(lcLegal).noquote()
                << QStringLiteral("legal doc fetched doc=%1 bytes=%2").arg(key).arg(response.body.size());
            callback(true, text);
        },
        kDocTimeoutMs);
}

void LegalService::applyVersions(const LegalVersions &versions)
{
    if (versions.terms.isEmpty() || versions.privacy.isEmpty())
        return;
    const bool changed = versions.terms != currentTerms || versions.privacy != currentPrivacy;
    currentTerms = versions.terms;
    currentPrivacy = versions.privacy;
    ready = true;
    if (!changed)
        return;
    docCache.clear();
    qCInfo(lcLegal).noquote()
        << QStringLiteral("legal version applied terms=%1 privacy=%2").arg(versions.terms, versions.privacy);
}

QString LegalService::versionTag() const
{
    if (!ready)
        return QString();
    return QStringLiteral("terms@%1+privacy@%2")
        .arg(escapeLegalVersion(currentTerms), escapeLegalVersion(currentPrivacy));
}

std::unique_ptr<LegalService> createLegalService(IRawDownloader *downloader)
{
    return std::make_unique<LegalService>(downloader);
}
