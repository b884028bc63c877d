#include "app/startup_gate.h"

#include "legal/legal_service.h"
#include "legal/legal_versions.h"
#include "net/i_raw_downloader.h"
#include "net/server_addresses.h"
#include "update/update_service.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

Q_LOGGING_CATEGORY(lcGate, "app.startup.gate", QtInfoMsg)

namespace {

QString assetUrl(const char *path)
{
    return serveraddress::assetBaseUrl() + QLatin1String(path);
}

} // namespace

StartupGate::StartupGate(IRawDownloader *downloader_, UpdateService *updateService_, LegalService *legalService_,
                         QObject *parent)
    : QObject(parent)
    , downloader(downloader_)
    , updateService(updateService_)
    , legalService(legalService_)
{}

StartupGate::~StartupGate() = default;

void StartupGate::start(std::function<void()> passed)
{
    onPassed = std::move(passed);
    retriesLeft = maxAutoRetries;
    runAttempt();
}

void StartupGate::onManualRetry()
{
    qCInfo(lcGate) << "startup gate manual retry";
    retriesLeft = maxAutoRetries;
    runAttempt();
}

void StartupGate::runAttempt()
{
    emit checking();
    const int attempt = ++generation;
    pending = 3;
    manifestBytes.clear();
    signatureBytes.clear();
    legalBytes.clear();
    qCInfo(lcGate).noquote() << "startup gate checking base=" + serveraddress::assetBaseUrl();

    fetchOne(attempt, assetUrl("/core/latest.json"), &manifestBytes);
    fetchOne(attempt, assetUrl("/core/latest.json.sig"), &signatureBytes);
    fetchOne(attempt, assetUrl("/legal/version.json"), &legalBytes);
}

void StartupGate::fetchOne(int attempt, const QString &url, QByteArray *buffer)
{
    QPointer<StartupGate> self(this);
    // A time-out of 0 is the transport's default (30 s).
    downloader->rawGet(
        url,
        [self, attempt, url, buffer](const HttpResponse &response) {
            if (!self || attempt != self->generation)
                return;
            const bool ok = response.isSuccess() && !response.body.isEmpty();
            if (!ok) {
                qCWarning(lcGate).noquote() << "startup version fetch failed:" << response.error
                                            << QStringLiteral("status=%1 url=%2").arg(response.status).arg(url);
                self->scheduleRetry(attempt);
                return;
            }
            *buffer = response.body;
            if (--self->pending == 0)
                self->onAllFetched();
        },
        0);
}

void StartupGate::onAllFetched()
{
    const int attempt = generation;
    const ManifestVerdict verdict = updateService->evaluateManifest(manifestBytes, signatureBytes);
    if (verdict == ManifestVerdict::Refused) {
        scheduleRetry(attempt);
        return;
    }
    if (verdict == ManifestVerdict::UpdateAvailable) {
        // The gate does not pass: once the installer starts, the application quits.
        QPointer<StartupGate> self(this);
        updateService->downloadAndInstall([self, attempt](bool ok) {
            if (!ok && self)
                self->scheduleRetry(attempt);
        });
        return;
    }

    const LegalVersions versions = parseLegalVersions(legalBytes);
    if (versions.terms.isEmpty() || versions.privacy.isEmpty()) {
        qCWarning(lcGate) << "legal version invalid, retrying";
        scheduleRetry(attempt);
        return;
    }
    legalService->applyVersions(versions);
    qCInfo(lcGate) << "startup gate passed, proceeding to ui";
    if (onPassed)
        onPassed();
}

void StartupGate::scheduleRetry(int attempt)
{
    if (attempt != generation)
        return;
    ++generation; // the attempt's outstanding answers are ignored from here on

    if (retriesLeft <= 0) {
        qCWarning(lcGate) << "startup gate blocked (auto-retries exhausted), showing retry";
        emit needRetry();
        return;
    }
    --retriesLeft;
    qCInfo(lcGate).noquote() << "startup gate auto-retry, left=" + QString::number(retriesLeft);
    QTimer::singleShot(retryDelayMs, this, &StartupGate::runAttempt);
}
