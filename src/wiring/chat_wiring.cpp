#include "wiring/chat_wiring.h"

#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "room/room_entity.h"
#include "room/room_entity_store.h"
#include "ui/main/main_window.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "user/user_state.h"
#include "wiring/wiring_common.h"

namespace wiring {

ChatWiring chatWiringFor(MainWindow *window, ActiveRoomSession *activeRoom, RoomEntityStore *roomStore,
                         RoomModerationService *moderation, RoomChatService *chat, UserState *user,
                         AbstractUserResolver *users, ChannelEntityStore *channelStore, IRawDownloader *downloader)
{
    ChatWiring in;
    in.activeRoom = activeRoom;
    in.roomStore = roomStore;
    in.chat = chat;
    in.moderation = moderation;
    in.user = user;
    in.users = users;
    in.channelStore = channelStore;
    in.downloader = downloader;
    if (window != nullptr) {
        in.statusBar = window->statusBar();
        in.myRoomPanel = qobject_cast<MyRoomPanel *>(window->myRoomPanel());
        in.currentRoomPanel = qobject_cast<CurrentRoomPanel *>(window->currentRoomPanel());
        in.myChannelPanel = qobject_cast<MyChannelPanel *>(window->myChannelPanel());
    }
    return in;
}

ChatAttachment toChatAttachment(const ImAttachment &a)
{
    return ChatAttachment{a.attachmentId, a.url, a.thumbUrl, a.width, a.height, a.contentType, a.sizeBytes, a.fileName};
}

namespace {

QList<ChatAttachment> toChatAttachments(const QList<ImAttachment> &attachments)
{
    QList<ChatAttachment> out;
    out.reserve(attachments.size());
    for (const ImAttachment &a : attachments)
        out.append(toChatAttachment(a));
    return out;
}

QString ownIdOf(UserState *user)
{
    return user != nullptr ? user->userId() : QString();
}

} // namespace

ChatFeedView::Message toChatMessage(const ImMessageSentEvent &e, AbstractUserResolver *users, const QString &ownUserId)
{
    ChatFeedView::Message m;
    m.id = e.messageId;
    m.seq = e.seq;
    m.createdAt = e.sentAt;
    m.senderId = e.userId;
    m.senderName = displayNameFor(users, e.userId);
    m.content = e.content;
    m.title = e.title;
    m.tagId = e.tagId;
    m.own = !ownUserId.isEmpty() && e.userId == ownUserId;
    m.hidden = e.hidden;
    m.attachments = toChatAttachments(e.attachments);
    return m;
}

QList<ChatFeedView::Message> toChatMessages(const QList<ImMessageSentEvent> &events, AbstractUserResolver *users,
                                            const QString &ownUserId)
{
    QList<ChatFeedView::Message> out;
    out.reserve(events.size());
    for (const ImMessageSentEvent &e : events)
        out.append(toChatMessage(e, users, ownUserId));
    return out;
}

MixedFeedView::Item toMixedFeedItem(const QString &roomId, const ImMessageSentEvent &e)
{
    MixedFeedView::Item item;
    item.roomId = roomId;
    item.messageId = e.messageId;
    item.seq = e.seq;
    item.sentAt = e.sentAt;
    item.senderId = e.userId;
    item.content = e.content;
    item.tagId = e.tagId;
    item.hidden = e.hidden;
    item.attachments = toChatAttachments(e.attachments);
    return item;
}

ChatFeedView::TagInfo toTagInfo(const RoomChatService::ChatTagInfo &tag, AbstractUserResolver *users)
{
    ChatFeedView::TagInfo info;
    info.tagId = tag.tagId;
    info.name = tag.name;
    info.createdBy = tag.createdBy;
    info.firstMessageId = tag.firstMessageId;
    info.messageCount = tag.messageCount;
    info.lastSeq = tag.lastSeq;
    info.unreadCount = tag.unread;
    info.firstTitle = tag.firstTitle;
    info.firstSenderName = tag.firstUserId.isEmpty() ? QString() : displayNameFor(users, tag.firstUserId);
    info.firstContent = tag.firstContent;
    info.firstHidden = tag.firstHidden;
    return info;
}

RoomChatService::LocalImage toLocalImage(const ChatPendingImage &image)
{
    return RoomChatService::LocalImage{image.fileName, image.data, image.mime, image.width, image.height};
}

QList<RoomChatService::LocalImage> toLocalImages(const QList<ChatPendingImage> &images)
{
    QList<RoomChatService::LocalImage> out;
    out.reserve(images.size());
    for (const ChatPendingImage &image : images)
        out.append(toLocalImage(image));
    return out;
}

QString chatRoomName(RoomEntityStore *roomStore, RoomChatService *chat, const QString &roomId)
{
    if (const RoomEntity *room = roomStore != nullptr ? roomStore->find(roomId) : nullptr) {
        if (!room->name.isEmpty())
            return room->name;
    }
    const QString followedName = chat != nullptr ? chat->subscribedRoomName(roomId) : QString();
    return followedName.isEmpty() ? roomId : followedName;
}

QString chatChannelName(RoomEntityStore *roomStore, ChannelEntityStore *channelStore, const QString &roomId)
{
    const RoomEntity *room = roomStore != nullptr ? roomStore->find(roomId) : nullptr;
    if (room == nullptr || room->publicState.channelId.isEmpty() || channelStore == nullptr)
        return QString();
    const ChannelEntity *channel = channelStore->find(room->publicState.channelId);
    return channel != nullptr ? channel->name : QString();
}

QString chatFeedLabel(int role, const QString &baseName)
{
    switch (role) {
        case RoomChatService::ActiveRole: return QStringLiteral("%1 (当前)").arg(baseName);
        case RoomChatService::ParentRole: return QStringLiteral("%1 (父房)").arg(baseName);
        case RoomChatService::SelectedRole: return QStringLiteral("%1 (选中)").arg(baseName);
        case RoomChatService::FollowedRole: return baseName;
        default: return QString();
    }
}

QList<ChatFeedTab> chatFeedTabs(RoomChatService *chat, RoomEntityStore *roomStore)
{
    QList<ChatFeedTab> tabs;
    if (chat == nullptr)
        return tabs;
    // A copy: naming a room may not, but must never be able to, change the list walked.
    const QList<RoomChatService::Subscription> subscriptions = chat->subscriptions();
    for (const RoomChatService::Subscription &s : subscriptions)
        tabs.append({s.roomId, chatFeedLabel(s.role, chatRoomName(roomStore, chat, s.roomId))});
    return tabs;
}

void recordChatTagNames(ChatTagNames &names, const QString &roomId, const QList<RoomChatService::ChatTagInfo> &tags)
{
    names.remove(roomId);
    QHash<qint64, QString> &room = names[roomId];
    for (const RoomChatService::ChatTagInfo &tag : tags)
        room.insert(tag.tagId, tag.name);
}

ChatPredicates chatPredicates(const ChatWiring &in)
{
    // Rooms are named by id: the chat of a followed room is not the active room.
    const PermissionContext context{nullptr, in.roomStore, in.channelStore, in.user};
    UserState *user = in.user;
    RoomChatService *chat = in.chat;
    ChatPredicates p;
    p.canHide = [context](const QString &roomId, const QString &senderId, bool isOwn) {
        return isOwn || roomPermission(context, roomId, QStringLiteral("core.room.hide_message"), senderId);
    };
    p.canMute = [context](const QString &roomId, const QString &userId) {
        return roomPermission(context, roomId, QStringLiteral("core.room.mute_text_members"), userId);
    };
    p.canBan = [context](const QString &roomId, const QString &userId) {
        return roomPermission(context, roomId, QStringLiteral("core.room.ban_members"), userId);
    };
    p.canRetag = [context](const QString &roomId, const QString &senderId, bool isOwn) {
        if (isOwn)
            return roomPermission(context, roomId, QStringLiteral("core.room.retag_own_message"));
        return roomPermission(context, roomId, QStringLiteral("core.room.retag_other_messages"), senderId);
    };
    p.canEditTag = [context, user](const QString &roomId, const QString &tagCreatorId) {
        if (!tagCreatorId.isEmpty() && tagCreatorId == ownIdOf(user))
            return roomPermission(context, roomId, QStringLiteral("core.room.edit_own_tag"));
        // A tag of unknown creator is judged without a level check.
        return roomPermission(context, roomId, QStringLiteral("core.room.edit_other_tags"), tagCreatorId);
    };
    p.canCreateTag = [context](const QString &roomId) {
        return roomPermission(context, roomId, QStringLiteral("core.room.create_tag"));
    };
    p.canUnsubscribe = [chat](const QString &roomId) {
        return chat != nullptr && chat->followedRoomIds().contains(roomId, Qt::CaseSensitive);
    };
    return p;
}

void assignMergedFeedProviders(MixedFeedView *mixed, const ChatWiring &in, std::shared_ptr<const ChatTagNames> tagNames)
{
    RoomEntityStore *roomStore = in.roomStore;
    RoomChatService *chat = in.chat;
    ChannelEntityStore *channelStore = in.channelStore;
    AbstractUserResolver *users = in.users;
    mixed->roomNameResolver = [roomStore, chat](const QString &roomId) {
        return chatRoomName(roomStore, chat, roomId);
    };
    mixed->channelNameResolver = [roomStore, channelStore](const QString &roomId) {
        return chatChannelName(roomStore, channelStore, roomId);
    };
    mixed->userNameResolver = [users](const QString &userId) { return displayNameFor(users, userId); };
    mixed->tagNameResolver = [tagNames](const QString &roomId, qint64 tagId) {
        return tagNames->value(roomId).value(tagId);
    };
}

} // namespace wiring
