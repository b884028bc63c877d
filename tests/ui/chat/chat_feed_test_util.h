#pragma once

#include "ui/chat/chat_feed_list.h"
#include "ui/chat/chat_feed_view.h"
#include "ui/chat/chat_message_row.h"

#include <QDateTime>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QStringList>
#include <QVBoxLayout>

namespace chattest {

// Noon of a fixed local day: "today" for every test that sets the view's clock to it.
inline qint64 noon(int dayOffset = 0)
{
    return QDateTime(QDate(2026, 12, 10).addDays(dayOffset), QTime(12, 0)).toMSecsSinceEpoch();
}

inline ChatFeedView::Message message(const QString &id, qint64 seq, const QString &sender = QStringLiteral("u1"),
                                     int dayOffset = 0, qint64 tagId = 0)
{
    ChatFeedView::Message m;
    m.id = id;
    m.seq = seq;
    m.createdAt = noon(dayOffset) + seq * 1000;
    m.senderId = sender;
    m.senderName = QStringLiteral("name-") + sender;
    m.content = QStringLiteral("text %1").arg(id);
    m.tagId = tagId;
    return m;
}

inline ChatFeedView::TagInfo tag(qint64 id, const QString &name, const QString &createdBy = {},
                                 const QString &firstMessageId = {}, qint64 messageCount = 0)
{
    ChatFeedView::TagInfo info;
    info.tagId = id;
    info.name = name;
    info.createdBy = createdBy;
    info.firstMessageId = firstMessageId;
    info.messageCount = messageCount;
    return info;
}

// The flat list as tokens: "D:<divider text>", "R:<id>" for a full row, "C:<id>" for a
// compact row, "U" for an upload card. Items near the viewport are read from their
// widgets; the others (a long list keeps only those as widgets) from what the view keeps
// to build them again.
inline QStringList trace(const ChatFeedView &view)
{
    QStringList out;
    const ChatFeedList *list = view.flatListWidget();
    int entry = 0;
    for (int i = 0; i < list->count(); ++i) {
        const ChatFeedList::Item &item = list->at(i);
        QWidget *widget = item.widget;
        switch (item.kind) {
        case ChatFeedList::Kind::Row: {
            const ChatFeedView::Entry &e = view.flatEntries().at(entry++);
            if (widget && widget != e.row)
                out << QStringLiteral("?row");
            const bool compact = e.row ? e.row->isCompact() : e.compact;
            out << (compact ? QStringLiteral("C:") : QStringLiteral("R:")) + e.message.id;
            break;
        }
        case ChatFeedList::Kind::Widget:
            out << ((widget && widget->findChild<QProgressBar *>()) ? QStringLiteral("U") : QStringLiteral("?"));
            break;
        case ChatFeedList::Kind::Divider: {
            auto *label = widget ? widget->findChild<QLabel *>() : nullptr;
            out << QStringLiteral("D:") + (label ? label->text() : item.text);
            break;
        }
        }
    }
    return out;
}

} // namespace chattest
