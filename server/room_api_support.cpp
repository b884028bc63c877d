#include "room_api_support.h"

namespace localservice::roomapi {

QString perm(const char *name)
{
    return QStringLiteral("core.room.") + QLatin1String(name);
}

} // namespace localservice::roomapi
