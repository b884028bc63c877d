#pragma once

#include "realtime/watch_registry.h"
#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_stream_target.h"
#include "support/fake_http_client.h"
#include "support/room_snapshot_builder.h"

#include <QJsonDocument>
#include <QObject>

// The room state model and an active room session over a fake REST client, for the
// tests of the services that act on the active room. activate() makes a room active
// the way the gateway would: both of its stream watches are confirmed.
struct RoomServiceFixture
{
    testsupport::FakeHttpClient http;
    RoomEntityStore store;
    RoomEntityFeed feed{&store};
    RoomAdapterRegistry registry{&store};
    WatchRegistry watches;
    ActiveRoomSession session{&http, &store, &feed, &registry};

    RoomServiceFixture()
    {
        session.setWatchRegistry(&watches);
        session.setUserIdProvider([] { return QStringLiteral("me"); });
        session.setSessionIdProvider([] { return QStringLiteral("s1"); });
        QObject::connect(&watches, &WatchRegistry::streamReady, &session, &ActiveRoomSession::onStreamReady);
        QObject::connect(&watches, &WatchRegistry::streamDenied, &session, &ActiveRoomSession::onStreamDenied);
    }

    void activate(const QString &roomId)
    {
        session.enter(roomId);
        watches.onWatchResult(publicStreamTarget(roomId), true);
        watches.onWatchResult(privateStreamTarget(roomId), true);
    }

    void snapshot(const testsupport::RoomSnapshotBuilder &room)
    {
        feed.onStreamSnapshot(room.publicTarget(), room.publicSnapshot());
    }

    // Forgets the calls made so far (activation may have sent none, but a test starts clean).
    void clearCalls() { http.calls.clear(); }

    static QByteArray compact(const QJsonObject &body) { return QJsonDocument(body).toJson(QJsonDocument::Compact); }
};
