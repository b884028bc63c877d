#include "match/match_error_code.h"

MatchErrorCode classifyMatchError(const QString &code)
{
    if (code == QLatin1String("match.invalid_code"))
        return MatchErrorCode::InvalidCode;
    if (code == QLatin1String("match.channel_banned"))
        return MatchErrorCode::ChannelBanned;
    if (code == QLatin1String("match.room_gone"))
        return MatchErrorCode::RoomGone;
    if (code == QLatin1String("match.join_rejected"))
        return MatchErrorCode::JoinRejected;
    if (code == QLatin1String("match.attach_rejected"))
        return MatchErrorCode::AttachRejected;
    return MatchErrorCode::Other;
}
