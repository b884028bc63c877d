#pragma once

#include <QObject>

class IRawDownloader;

// Fetches and caches the legal documents from the asset host.
class LegalService : public QObject
{
    Q_OBJECT
public:
    explicit LegalService(IRawDownloader *downloader, QObject *parent = nullptr);
    ~LegalService() override;

private:
    IRawDownloader *downloader;
};
