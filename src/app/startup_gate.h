#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class IRawDownloader;
class LegalService;
class UpdateService;

// Checks, at every start and before the login window, that the client is the current
// version and which legal document versions are current: fetches the update manifest,
// its signature and the legal version file in parallel, installs a newer signed version,
// or records the legal versions and passes. Failures are retried automatically a few
// times; after that the gate asks for a manual retry and waits. GUI thread only.
class StartupGate : public QObject
{
    Q_OBJECT
public:
    StartupGate(IRawDownloader *downloader, UpdateService *updateService, LegalService *legalService,
                QObject *parent = nullptr);
    ~StartupGate() override;

    // Stores the callback run once the gate passes (may be empty), restores the retry
    // budget and runs the first attempt.
    void start(std::function<void()> onPassed);

    // The pause before an automatic retry (1000 ms unless set).
    void setRetryDelayMs(int ms) { retryDelayMs = ms; }

public slots:
    // Restores the retry budget and runs a new attempt; the retry dialog's request.
    void onManualRetry();

signals:
    // At the start of every attempt.
    void checking();
    // The automatic retries are used up; the gate waits for onManualRetry.
    void needRetry();

private:
    void runAttempt();
    void fetchOne(int attempt, const QString &url, QByteArray *buffer);
    void onAllFetched();
    // Ends attempt `attempt` (once: a superseded attempt does nothing) and retries it.
    void scheduleRetry(int attempt);

    IRawDownloader *downloader;
    UpdateService *updateService;
    LegalService *legalService;
    std::function<void()> onPassed;
    int maxAutoRetries = 3;
    int retryDelayMs = 1000;
    int generation = 0; // number of the current attempt; answers of older ones are ignored
    int pending = 0;    // fetches of the current attempt still outstanding
    int retriesLeft = 0;
    QByteArray manifestBytes;
    QByteArray signatureBytes;
    QByteArray legalBytes;
};
