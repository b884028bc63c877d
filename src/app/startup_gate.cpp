#include "app/startup_gate.h"

StartupGate::StartupGate(IRawDownloader *downloader, UpdateService *updateService, LegalService *legalService,
                         QObject *parent)
    : QObject(parent)
    , downloader(downloader)
    , updateService(updateService)
    , legalService(legalService)
{
}

StartupGate::~StartupGate() = default;

void StartupGate::start(std::function<void()> passed)
{
    onPassed = std::move(passed);
    if (onPassed)
        onPassed();
}

void StartupGate::onManualRetry() {}
