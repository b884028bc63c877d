#pragma once

#include "realtime/events/chat_events.h"
#include "room/room_chat_service.h"
#include "ui/chat/chat_feed_view.h"
#include "ui/chat/mixed_feed_view.h"

#include <QHash>
#include <QList>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

class AbstractUserResolver;
class ActiveRoomSession;
class ChannelEntityStore;
class CurrentRoomPanel;
class IRawDownloader;
class MainStatusBar;
class MainWindow;
class MyChannelPanel;
class MyRoomPanel;
class RoomEntityStore;
class RoomModerationService;
class UserState;

// The chat of the main window: the chat service's records turned into what the feed
// views draw, the feed tabs, the permission questions of the message actions, the
// merged feed's names, and every chat request of the user sent to its service. The
// tab-side joins live in chat_wiring_tab.h. GUI thread only.
namespace wiring {

// What the chat section joins besides the chat tab and its merged feed. Only the
// pointers a caller has need to be set: a missing panel joins nothing.
struct ChatWiring
{
    ActiveRoomSession *activeRoom = nullptr;
    RoomEntityStore *roomStore = nullptr;
    RoomChatService *chat = nullptr;
    RoomModerationService *moderation = nullptr;
    UserState *user = nullptr;
    AbstractUserResolver *users = nullptr;
    ChannelEntityStore *channelStore = nullptr;
    IRawDownloader *downloader = nullptr;
    MainStatusBar *statusBar = nullptr;
    MyRoomPanel *myRoomPanel = nullptr;
    CurrentRoomPanel *currentRoomPanel = nullptr;
    MyChannelPanel *myChannelPanel = nullptr;
    // The merged feed's room menu, run when the tab asks for it; none when empty.
    std::function<void(const QPoint &globalPos)> mergedFeedMenu;
};

// The chat section's inputs read from a main window (its status bar and room panels)
// and the services.
ChatWiring chatWiringFor(MainWindow *window, ActiveRoomSession *activeRoom, RoomEntityStore *roomStore,
                         RoomModerationService *moderation, RoomChatService *chat, UserState *user,
                         AbstractUserResolver *users, ChannelEntityStore *channelStore, IRawDownloader *downloader);

// Records.
ChatAttachment toChatAttachment(const ImAttachment &attachment);
// `ownUserId` is the signed-in user's id; an empty one makes no message own.
ChatFeedView::Message toChatMessage(const ImMessageSentEvent &event, AbstractUserResolver *users,
                                    const QString &ownUserId);
QList<ChatFeedView::Message> toChatMessages(const QList<ImMessageSentEvent> &events, AbstractUserResolver *users,
                                            const QString &ownUserId);
MixedFeedView::Item toMixedFeedItem(const QString &roomId, const ImMessageSentEvent &event);
ChatFeedView::TagInfo toTagInfo(const RoomChatService::ChatTagInfo &tag, AbstractUserResolver *users);
RoomChatService::LocalImage toLocalImage(const ChatPendingImage &image);
QList<RoomChatService::LocalImage> toLocalImages(const QList<ChatPendingImage> &images);

// The name a chat shows for a room: the stored room's name, else the name the room's
// chat was followed under, else the room id.
QString chatRoomName(RoomEntityStore *roomStore, RoomChatService *chat, const QString &roomId);
// The name of the channel a stored room belongs to; empty when unknown.
QString chatChannelName(RoomEntityStore *roomStore, ChannelEntityStore *channelStore, const QString &roomId);

// One feed tab: the room and its caption.
struct ChatFeedTab
{
    QString roomId;
    QString label;
};
// The caption of a room's tab for its subscription role; empty for an unknown role.
QString chatFeedLabel(int role, const QString &baseName);
// One tab per chat subscription, in the service's order.
QList<ChatFeedTab> chatFeedTabs(RoomChatService *chat, RoomEntityStore *roomStore);

// Room id to tag id to tag name, for the merged feed's tag chips. Written by the tags
// handler only; shared with the merged feed's provider.
using ChatTagNames = QHash<QString, QHash<qint64, QString>>;
// Replaces the room's names by those of `tags` (a repeated id keeps the last name).
void recordChatTagNames(ChatTagNames &names, const QString &roomId, const QList<RoomChatService::ChatTagInfo> &tags);

// The permission questions of the chat's controls, each asked anew at every call.
struct ChatPredicates
{
    std::function<bool(const QString &roomId, const QString &senderId, bool isOwn)> canHide;
    std::function<bool(const QString &roomId, const QString &userId)> canMute;
    std::function<bool(const QString &roomId, const QString &userId)> canBan;
    std::function<bool(const QString &roomId, const QString &senderId, bool isOwn)> canRetag;
    std::function<bool(const QString &roomId, const QString &tagCreatorId)> canEditTag;
    std::function<bool(const QString &roomId)> canCreateTag;
    std::function<bool(const QString &roomId)> canUnsubscribe;
};
ChatPredicates chatPredicates(const ChatWiring &in);

// The merged feed's four name providers.
void assignMergedFeedProviders(MixedFeedView *mixed, const ChatWiring &in,
                               std::shared_ptr<const ChatTagNames> tagNames);

// The status bar text of a failed send.
inline constexpr char kSendFailedText[] = "消息发送失败，请稍后重试";

} // namespace wiring
