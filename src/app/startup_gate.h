#pragma once

#include <QObject>

#include <functional>

class IRawDownloader;
class LegalService;
class UpdateService;

// Checks the update feed and the legal versions before the login window is shown.
class StartupGate : public QObject
{
    Q_OBJECT
public:
    StartupGate(IRawDownloader *downloader, UpdateService *updateService, LegalService *legalService,
                QObject *parent = nullptr);
    ~StartupGate() override;

    void start(std::function<void()> onPassed);

public slots:
    void onManualRetry();

signals:
    void checking();
    void needRetry();

private:
    IRawDownloader *downloader;
    UpdateService *updateService;
    LegalService *legalService;
    std::function<void()> onPassed;
};
