#include "room/room_chat_buffer.h"

#include <algorithm>

void bufferChatMessage(RoomChatBuffer &buffer, const ImMessageSentEvent &message)
{
    QList<ImMessageSentEvent> &messages = buffer.messages;
    if (messages.isEmpty() || message.seq > messages.constLast().seq) {
        messages.append(message);
    } else {
        // Late and repeated messages land near the newest end: walk from there.
        qsizetype i = messages.size() - 1;
        while (i >= 0 && messages.at(i).seq > message.seq)
            --i;
        if (i >= 0 && messages.at(i).seq == message.seq)
            messages[i] = message;
        else
            messages.insert(i + 1, message);
    }
    if (messages.size() > kRoomChatBufferCap)
        messages.remove(0, messages.size() - kRoomChatBufferCap);
    if (buffer.gapBeforeSeq > 0 && !messages.isEmpty() && messages.constFirst().seq >= buffer.gapBeforeSeq)
        buffer.gapBeforeSeq = 0;
}

void applyLatestChatPage(RoomChatBuffer &buffer, const QList<ImMessageSentEvent> &walkedPage)
{
    const qint64 newestBefore = buffer.messages.isEmpty() ? 0 : buffer.messages.constLast().seq;
    const qint64 oldGap = buffer.gapBeforeSeq;
    // The newest message before the earlier hole: a page reaching back to the one
    // after it fills the hole.
    qint64 beforeOldGap = 0;
    if (oldGap > 0) {
        for (const ImMessageSentEvent &m : std::as_const(buffer.messages)) {
            if (m.seq >= oldGap)
                break;
            beforeOldGap = m.seq;
        }
    }

    qint64 lowest = 0;
    bool any = false;
    for (const ImMessageSentEvent &m : walkedPage) {
        lowest = any ? std::min(lowest, m.seq) : m.seq;
        any = true;
        bufferChatMessage(buffer, m);
    }

    if (newestBefore > 0 && any && lowest > newestBefore + 1) {
        buffer.gapBeforeSeq = lowest;
    } else if (oldGap > 0 && any && lowest <= beforeOldGap + 1) {
        buffer.gapBeforeSeq = 0; // the page reaches back across the earlier hole
    } else if (oldGap > 0 && any && lowest < oldGap) {
        buffer.gapBeforeSeq = lowest; // the hole shrank: it now ends where the page begins
    } else if (oldGap == 0) {
        buffer.gapBeforeSeq = 0;
    }
    // Otherwise the earlier hole was neither closed nor moved, and its mark stays
    // (bufferChatMessage has cleared it already if the hole aged out).
    buffer.loaded = true;
    buffer.stale = false;
}
