#include "update/update_service.h"

UpdateService::UpdateService(IRawDownloader *downloader, QObject *parent)
    : QObject(parent)
    , downloader(downloader)
{
}

UpdateService::~UpdateService() = default;
