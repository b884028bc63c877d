#include "legal/legal_service.h"

LegalService::LegalService(IRawDownloader *downloader, QObject *parent)
    : QObject(parent)
    , downloader(downloader)
{
}

LegalService::~LegalService() = default;
