#pragma once

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
// compact row, "U" for an upload card.
inline QStringList trace(const ChatFeedView &view)
{
    QStringList out;
    QVBoxLayout *list = view.flatListLayout();
    for (int i = 1; i < list->count(); ++i) {
        QWidget *widget = list->itemAt(i)->widget();
        if (!widget)
            continue;
        if (auto *row = qobject_cast<ChatMessageRow *>(widget)) {
            out << (row->isCompact() ? QStringLiteral("C:") : QStringLiteral("R:")) + row->currentMessage().id;
        } else if (widget->findChild<QProgressBar *>()) {
            out << QStringLiteral("U");
        } else if (auto *label = widget->findChild<QLabel *>()) {
            out << QStringLiteral("D:") + label->text();
        }
    }
    return out;
}

} // namespace chattest
