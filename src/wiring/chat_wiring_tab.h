#pragma once

#include "room/active_room_session.h"
#include "room/room_chat_service.h"
#include "room/room_entity.h"
#include "room/room_entity_store.h"
#include "room/room_moderation_service.h"
#include "ui/chat/chat_feed_view.h"
#include "ui/chat/mixed_feed_view.h"
#include "ui/main/main_window.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "user/user_state.h"
#include "wiring/chat_wiring.h"
#include "wiring/wiring_common.h"

#include <QList>
#include <QObject>

#include <memory>

// The chat section's joins to the chat tab of the main window. Written against the
// tab's interface rather than its class: `Tab` is the chat dock's messages tab, a
// QObject that relays each room feed's requests with the room id in front, forwards
// per-room data to the room's feed view and offers:
//   - the feed list (`Tab::FeedTab` {roomId, label, text}; setFeeds; setCurrentFeed),
//   - setImageDownloader and the seven permission predicate setters,
//   - the per-room forwarders appendMessage, prependHistory, setTagHistory, setTags,
//     markHidden, retagMessage, clearFeed, markGap, setUploadProgress, finishUpload,
//     failUpload,
//   - the request signals (sendMessageRequested, ..., feedActivated, unsubscribeRequested,
//     mixedMenuRequested),
//   - `ChatFeedView *feedView(const QString &roomId) const`, the room's feed or null,
//   - `MixedFeedView *mixedFeed() const` (used by wireChat only).
// GUI thread only.
namespace wiring {

namespace chatdetail {

// Rebuilds the feed tabs from the subscription list, then tells the merged feed which
// rooms it keeps.
template<class Tab>
void refreshChatFeeds(Tab *tab, MixedFeedView *mixed, RoomChatService *chat, RoomEntityStore *roomStore)
{
    QList<typename Tab::FeedTab> feeds;
    QStringList roomIds;
    for (const ChatFeedTab &t : chatFeedTabs(chat, roomStore)) {
        typename Tab::FeedTab feed;
        feed.roomId = t.roomId;
        feed.label = t.label;
        feeds.append(feed);
        roomIds.append(t.roomId);
    }
    tab->setFeeds(feeds);
    mixed->setRooms(roomIds);
}

template<class Panel>
void connectPanelToChat(Panel *panel, const ChatWiring &in)
{
    if (panel == nullptr)
        return;
    RoomChatService *chat = in.chat;
    RoomEntityStore *roomStore = in.roomStore;
    QObject::connect(panel, &Panel::roomChatSubscribeRequested, chat, [chat, roomStore](const QString &roomId) {
        const RoomEntity *room = roomStore != nullptr ? roomStore->find(roomId) : nullptr;
        chat->subscribeRoomChat(roomId, room != nullptr ? room->name : QString());
    });
}

template<class Tab, class Panel>
void connectPanelSelection(Panel *panel, Tab *tab, RoomChatService *chat)
{
    if (panel == nullptr)
        return;
    QObject::connect(panel, &blocks::BlockListPanel::roomSelected, tab, [tab, chat](const QString &roomId) {
        // The service reconciles first, so the room's tab exists when it is made current.
        chat->setSelectedRoom(roomId);
        tab->setCurrentFeed(roomId);
    });
}

} // namespace chatdetail

// Joins the chat service (and the two chat moderation actions) to the tab, its merged
// feed and the three room panels. Nothing without a tab, a merged feed or a chat service.
template<class Tab>
void wireChatTab(Tab *tab, MixedFeedView *mixed, const ChatWiring &in)
{
    RoomChatService *chat = in.chat;
    if (tab == nullptr || mixed == nullptr || chat == nullptr)
        return;
    RoomEntityStore *roomStore = in.roomStore;
    AbstractUserResolver *users = in.users;
    UserState *user = in.user;
    MainStatusBar *statusBar = in.statusBar;
    auto ownId = [user] { return user != nullptr ? user->userId() : QString(); };

    // 1. Images of every feed go through the tab's loader over this downloader.
    tab->setImageDownloader(in.downloader);

    // 2. The permission questions, before any feed view exists.
    const ChatPredicates predicates = chatPredicates(in);
    tab->setCanHidePredicate(predicates.canHide);
    tab->setCanMutePredicate(predicates.canMute);
    tab->setCanBanPredicate(predicates.canBan);
    tab->setCanRetagPredicate(predicates.canRetag);
    tab->setCanEditTagPredicate(predicates.canEditTag);
    tab->setCanCreateTagPredicate(predicates.canCreateTag);
    tab->setCanUnsubscribePredicate(predicates.canUnsubscribe);

    // 3. The feed tabs follow the subscriptions and the active room.
    auto refresh = [tab, mixed, chat, roomStore] { chatdetail::refreshChatFeeds(tab, mixed, chat, roomStore); };
    QObject::connect(chat, &RoomChatService::feedsChanged, tab, refresh);
    if (in.activeRoom != nullptr)
        QObject::connect(in.activeRoom, &ActiveRoomSession::activeRoomChanged, tab, refresh);
    refresh();

    // 4. The merged feed's names.
    auto tagNames = std::make_shared<ChatTagNames>();
    assignMergedFeedProviders(mixed, in, tagNames);

    // 5. Everything else, in a fixed order: where two joins share a signal, the merged
    // feed is served before the room's feed.
    if (in.mergedFeedMenu)
        QObject::connect(tab, &Tab::mixedMenuRequested, tab, in.mergedFeedMenu);
    QObject::connect(chat, &RoomChatService::messageHidden, mixed, &MixedFeedView::markHidden);
    QObject::connect(chat, &RoomChatService::messageRetagged, mixed,
                     [mixed](const QString &roomId, const QString &messageId, qlonglong tagId) {
                         mixed->retagMessage(roomId, messageId, tagId);
                     });
    // No local echo: the message is shown when the server's copy comes back.
    QObject::connect(tab, &Tab::sendMessageRequested, chat, &RoomChatService::sendMessage);
    QObject::connect(tab, &Tab::sendImagesRequested, chat,
                     [chat](const QString &roomId, const QString &batchId, const QList<ChatPendingImage> &images,
                            const QString &content, qlonglong tagId, const QString &title) {
                         chat->uploadAndSend(roomId, batchId, toLocalImages(images), content, tagId, title);
                     });
    QObject::connect(tab, &Tab::postImagesRequested, chat,
                     [chat](const QString &roomId, const QString &batchId, const QList<ChatPendingImage> &images,
                            const QString &tagName, const QString &title, const QString &content) {
                         chat->uploadAndPost(roomId, batchId, toLocalImages(images), tagName, title, content);
                     });
    QObject::connect(tab, &Tab::uploadCancelRequested, chat, &RoomChatService::cancelUpload);
    QObject::connect(chat, &RoomChatService::uploadProgress, tab,
                     [tab](const QString &roomId, const QString &batchId, int percent) {
                         tab->setUploadProgress(roomId, batchId, percent);
                     });
    QObject::connect(chat, &RoomChatService::uploadFinished, tab,
                     [tab](const QString &roomId, const QString &batchId) { tab->finishUpload(roomId, batchId); });
    QObject::connect(chat, &RoomChatService::uploadFailed, tab,
                     [tab](const QString &roomId, const QString &batchId, const QString &reason) {
                         tab->failUpload(roomId, batchId, reason);
                     });
    QObject::connect(tab, &Tab::loadOlderRequested, chat, &RoomChatService::loadOlder);
    QObject::connect(chat, &RoomChatService::historyLoaded, tab,
                     [tab, users, ownId](const QString &roomId, const QList<ImMessageSentEvent> &messages) {
                         const QString own = ownId();
                         for (const ImMessageSentEvent &m : messages)
                             tab->appendMessage(roomId, toChatMessage(m, users, own));
                     });
    QObject::connect(chat, &RoomChatService::olderLoaded, tab,
                     [tab, users, ownId](const QString &roomId, const QList<ImMessageSentEvent> &messages) {
                         tab->prependHistory(roomId, toChatMessages(messages, users, ownId()));
                     });
    QObject::connect(chat, &RoomChatService::messageReceived, tab,
                     [tab, mixed, users, ownId](const QString &roomId, const ImMessageSentEvent &m) {
                         tab->appendMessage(roomId, toChatMessage(m, users, ownId()));
                         mixed->appendItem(toMixedFeedItem(roomId, m));
                     });
    QObject::connect(chat, &RoomChatService::messageHidden, tab,
                     [tab](const QString &roomId, const QString &messageId) { tab->markHidden(roomId, messageId); });
    QObject::connect(tab, &Tab::hideMessageRequested, chat, &RoomChatService::hideMessage);
    QObject::connect(chat, &RoomChatService::chatCleared, tab,
                     [tab](const QString &roomId) { tab->clearFeed(roomId); });
    QObject::connect(tab, &Tab::feedActivated, chat, &RoomChatService::onFeedActivated);
    QObject::connect(chat, &RoomChatService::gapMarked, tab,
                     [tab](const QString &roomId, qlonglong gapBeforeSeq) { tab->markGap(roomId, gapBeforeSeq); });
    QObject::connect(tab, &Tab::unsubscribeRequested, chat, &RoomChatService::unsubscribeRoomChat);
    chatdetail::connectPanelToChat(in.myRoomPanel, in);
    chatdetail::connectPanelToChat(in.currentRoomPanel, in);
    chatdetail::connectPanelToChat(in.myChannelPanel, in);
    chatdetail::connectPanelSelection(in.myRoomPanel, tab, chat);
    chatdetail::connectPanelSelection(in.currentRoomPanel, tab, chat);
    chatdetail::connectPanelSelection(in.myChannelPanel, tab, chat);
    QObject::connect(chat, &RoomChatService::tagsChanged, tab,
                     [tab, users, tagNames](const QString &roomId, bool enabled,
                                            const QList<RoomChatService::ChatTagInfo> &tags) {
                         recordChatTagNames(*tagNames, roomId, tags);
                         QList<ChatFeedView::TagInfo> infos;
                         infos.reserve(tags.size());
                         for (const RoomChatService::ChatTagInfo &tag : tags)
                             infos.append(toTagInfo(tag, users));
                         tab->setTags(roomId, enabled, infos);
                     });
    QObject::connect(chat, &RoomChatService::tagHistoryLoaded, tab,
                     [tab, users, ownId](const QString &roomId, qlonglong tagId, qlonglong afterSeq,
                                         const QList<ImMessageSentEvent> &messages) {
                         tab->setTagHistory(roomId, tagId, afterSeq, toChatMessages(messages, users, ownId()));
                     });
    QObject::connect(tab, &Tab::loadTagHistoryRequested, chat, &RoomChatService::loadTagHistory);
    QObject::connect(tab, &Tab::tagOpenedReported, chat, &RoomChatService::reportTagOpened);
    QObject::connect(chat, &RoomChatService::messageRetagged, tab,
                     [tab](const QString &roomId, const QString &messageId, qlonglong tagId) {
                         tab->retagMessage(roomId, messageId, tagId);
                     });
    QObject::connect(tab, &Tab::postRequested, chat, &RoomChatService::createTag);
    QObject::connect(tab, &Tab::retagMessageRequested, chat, &RoomChatService::retagMessage);
    QObject::connect(tab, &Tab::renameTagRequested, chat, &RoomChatService::renameTag);
    QObject::connect(tab, &Tab::archiveTagRequested, chat, &RoomChatService::archiveTag);
    if (RoomModerationService *moderation = in.moderation) {
        QObject::connect(tab, &Tab::muteUserRequested, moderation, &RoomModerationService::muteTextIn);
        QObject::connect(tab, &Tab::banRequested, moderation, &RoomModerationService::banIn);
    }
    QObject::connect(chat, &RoomChatService::sendFailed, tab, [statusBar](RoomErrorCode, const QString &msg) {
        showFailure(statusBar, msg, QString::fromUtf8(kSendFailedText));
    });

    // A typed line stays read-only until its send is settled: cleared once the server
    // took the message, given back for editing when it did not.
    QObject::connect(chat, &RoomChatService::sendFinished, tab, [tab](const QString &roomId, bool sent) {
        if (ChatFeedView *feed = tab->feedView(roomId)) {
            if (sent)
                feed->sendAccepted();
            else
                feed->sendFailed();
        }
    });
    // Messages mapped before the signed-in user was known came in as someone else's.
    if (user != nullptr) {
        QObject::connect(user, &UserState::userIdChanged, tab, [tab](const QString &userId) {
            for (ChatFeedView *feed : tab->template findChildren<ChatFeedView *>())
                feed->setOwnSender(userId);
        });
    }
}

// The chat section of a main window: the window's messages tab (of class `Tab`), its
// merged feed, its status bar and room panels, joined to the services. Nothing while
// the window holds no such tab or no chat service is given.
template<class Tab>
void wireChat(MainWindow *window, ActiveRoomSession *activeRoom, RoomEntityStore *roomStore,
              RoomModerationService *moderation, RoomChatService *chat, UserState *user, AbstractUserResolver *users,
              ChannelEntityStore *channelStore, IRawDownloader *downloader,
              std::function<void(const QPoint &globalPos)> mergedFeedMenu = {})
{
    Tab *tab = window != nullptr ? qobject_cast<Tab *>(window->messagesTab()) : nullptr;
    if (tab == nullptr)
        return;
    ChatWiring in =
        chatWiringFor(window, activeRoom, roomStore, moderation, chat, user, users, channelStore, downloader);
    in.mergedFeedMenu = std::move(mergedFeedMenu);
    wireChatTab(tab, tab->mixedFeed(), in);
}

} // namespace wiring
