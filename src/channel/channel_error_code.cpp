#include "channel/channel_error_code.h"

ChannelErrorCode classifyChannelError(const QString &code)
{
    if (code == QLatin1StringView("channel.owner_cannot_leave"))
        return ChannelErrorCode::OwnerCannotLeave;
    return ChannelErrorCode::Other;
}
