#include "user/deactivate_service.h"

DeactivateService::DeactivateService(IHttpClient *http_, QObject *parent)
    : QObject(parent)
    , http(http_)
{}
