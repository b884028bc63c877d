#pragma once

#include <QDebug>
#include <QList>
#include <QMetaType>
#include <QString>

#include <optional>

class QJsonArray;
class QJsonObject;

// One attached file of a chat message.
struct ImAttachment
{
    QString attachmentId;
    QString contentType;
    qint64 sizeBytes = 0;
    int width = 0;
    int height = 0;
    QString url;
    QString thumbUrl;
    QString fileName;

    bool operator==(const ImAttachment &) const = default;

    // Every object gives an attachment; no key is required.
    static ImAttachment fromJson(const QJsonObject &object);
};

// One chat message, from the "im.message.sent" event or a page of history alike.
// Messages of a room are ordered by seq; tagId 0 means no tag; times are
// milliseconds since the epoch.
struct ImMessageSentEvent
{
    QString roomId;
    QString messageId;
    QString userId;
    QString content;
    qint64 tagId = 0;
    qint64 seq = 0;
    qint64 sentAt = 0;
    bool hidden = false;
    QString title;
    QList<ImAttachment> attachments;

    bool operator==(const ImMessageSentEvent &) const = default;

    // Nothing unless "roomId" is a non-empty string; every other field falls back
    // to its default.
    static std::optional<ImMessageSentEvent> fromJson(const QJsonObject &payload);
};

// "im.message.hidden": hidden is the message's new state (false: shown again).
struct ImMessageHiddenEvent
{
    QString roomId;
    QString messageId;
    bool hidden = false;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const ImMessageHiddenEvent &) const = default;

    static std::optional<ImMessageHiddenEvent> fromJson(const QJsonObject &payload);
};

// "im.message.retagged": tagId is the tag the message now belongs to.
struct ImMessageRetaggedEvent
{
    QString roomId;
    QString messageId;
    qint64 tagId = 0;
    QString byUserId;
    qint64 changedAt = 0;

    bool operator==(const ImMessageRetaggedEvent &) const = default;

    static std::optional<ImMessageRetaggedEvent> fromJson(const QJsonObject &payload);
};

// One attachment per element, in order; an element that is not an object gives an
// attachment with empty texts and zero numbers.
QList<ImAttachment> parseImAttachments(const QJsonArray &array);

// "ImAttachment{attachmentId=..., ...}" with the texts quoted as QDebug quotes them.
QDebug operator<<(QDebug debug, const ImAttachment &attachment);
// "ImMessageSentEvent{roomId=..., ..., attachments=QList(...)}".
QDebug operator<<(QDebug debug, const ImMessageSentEvent &message);

// The chat service's signals carry single messages and history pages.
Q_DECLARE_METATYPE(ImMessageSentEvent)
