#pragma once

#include "realtime/events/chat_events.h"

#include <QList>

// The recent chat messages of one room: ascending by seq, no two with the same seq,
// at most kRoomChatBufferCap of them. GUI thread only.
struct RoomChatBuffer
{
    QList<ImMessageSentEvent> messages;
    bool loaded = false;     // the latest page was fetched since the buffer was made or cleared
    bool stale = false;      // a gateway resync happened since that fetch
    qint64 gapBeforeSeq = 0; // first buffered message after a hole in the history; 0: none
};

inline constexpr qsizetype kRoomChatBufferCap = 1000;

// Inserts by seq from the newest end (a message with a buffered seq replaces that
// one in place), drops the oldest beyond the cap, and clears the gap mark once no
// message before the hole is left. Messages are told apart by seq only.
void bufferChatMessage(RoomChatBuffer &buffer, const ImMessageSentEvent &message);

// Applies the latest page, given in the order it is walked (the page array from its
// last element to its first, unparsable elements left out), and settles the gap
// mark. A page that starts after the message following the newest one buffered
// before it leaves a hole that ends at the page's lowest seq. A page that does not
// reach into an earlier hole keeps that hole's mark, one that reaches into it moves
// the mark to where the page begins, and one that reaches back across it clears it.
// Marks the buffer loaded and no longer stale.
void applyLatestChatPage(RoomChatBuffer &buffer, const QList<ImMessageSentEvent> &walkedPage);
