#include "user/deactivate_service.h"

DeactivateService::DeactivateService(IHttpClient *http, QObject *parent)
    : QObject(parent)
    , http(http)
{
}
