#pragma once

#include <QString>

// Why a channel action failed, as far as the caller needs to tell the cases apart.
enum class ChannelErrorCode {
    Other = 0,            // any failure not listed below
    OwnerCannotLeave = 1, // "channel.owner_cannot_leave": the owner may not leave the channel
};

// The code for a server error code; exact comparison, anything unknown (or empty) is Other.
ChannelErrorCode classifyChannelError(const QString &code);
