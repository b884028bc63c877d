#pragma once

#include <QObject>

class IRawDownloader;

// Judges the signed update manifest and installs a newer client.
class UpdateService : public QObject
{
    Q_OBJECT
public:
    explicit UpdateService(IRawDownloader *downloader, QObject *parent = nullptr);
    ~UpdateService() override;

private:
    IRawDownloader *downloader;
};
