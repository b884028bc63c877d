#pragma once

#include <QMetaType>
#include <QString>

// The code argument of the code-join, code-attach and preference-match failure signals.
enum class MatchErrorCode : int {
    Other = 0,          // any other server code or reason, the empty one included
    InvalidCode = 1,    // "match.invalid_code"
    ChannelBanned = 2,  // "match.channel_banned"
    RoomGone = 3,       // "match.room_gone"
    JoinRejected = 4,   // "match.join_rejected"
    AttachRejected = 5, // "match.attach_rejected"
};

// Maps an error body's "code" or a refusal's "reason"; exact, case-sensitive.
MatchErrorCode classifyMatchError(const QString &code);

Q_DECLARE_METATYPE(MatchErrorCode)
