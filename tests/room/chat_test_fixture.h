#pragma once

#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_chat_service.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_stream_target.h"
#include "support/fake_http_client.h"
#include "support/fake_raw_uploader.h"
#include "support/room_snapshot_builder.h"

#include <QJsonArray>
#include <QStringList>

// The chat service over a real active room session, the fake uploader (without a watch registry: the
// test confirms the stream targets itself) and the fake REST client. Every
// subscription signal is recorded in order as "sub X", "unsub X", "cleared X" or "feeds".
struct ChatFixture
{
    testsupport::FakeHttpClient http;
    RoomEntityStore store;
    RoomEntityFeed feed{&store};
    RoomAdapterRegistry registry{&store};
    ActiveRoomSession session{&http, &store, &feed, &registry};
    testsupport::FakeRawUploader uploads;
    RoomChatService chat{&http, &uploads, &session};
    QStringList events;

    ChatFixture()
    {
        QObject::connect(&session, &ActiveRoomSession::activeRoomChanged, &chat, &RoomChatService::onActiveRoomChanged);
        QObject::connect(&chat, &RoomChatService::subscribeRequested,
                         [this](const QString &id) { events << "sub " + id; });
        QObject::connect(&chat, &RoomChatService::unsubscribeRequested,
                         [this](const QString &id) { events << "unsub " + id; });
        QObject::connect(&chat, &RoomChatService::chatCleared,
                         [this](const QString &id) { events << "cleared " + id; });
        QObject::connect(&chat, &RoomChatService::feedsChanged, [this] { events << "feeds"; });
    }

    // Enters the room (session side only; no REST call).
    void enter(const QString &roomId)
    {
        session.enter(roomId);
        session.onStreamReady(publicStreamTarget(roomId));
        session.onStreamReady(privateStreamTarget(roomId));
    }

    void snapshot(const testsupport::RoomSnapshotBuilder &room)
    {
        feed.onStreamSnapshot(room.publicTarget(), room.publicSnapshot());
    }

    // Loads the followed rooms and answers with `rooms`.
    void follow(const QJsonArray &rooms)
    {
        chat.fetchSubscriptions();
        http.reply(http.calls.size() - 1, testsupport::jsonReply(200, {{"rooms", rooms}}));
    }

    QString subscriptionText() const
    {
        QStringList parts;
        for (const RoomChatService::Subscription &s : chat.subscriptions())
            parts << QStringLiteral("%1:%2").arg(s.roomId).arg(s.role);
        return parts.join(' ');
    }
};
