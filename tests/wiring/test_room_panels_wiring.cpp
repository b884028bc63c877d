#include "wiring/main_window_wiring.h"
#include "wiring/room_panel_state.h"
#include "wiring/room_panels_feed.h"
#include "wiring/room_panels_wiring.h"

#include "../room/room_service_fixture.h"
#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "platform/dock/dock_area_widget.h"
#include "platform/dock/dock_widget.h"
#include "room/room_chat_service.h"
#include "room/room_follow_code_service.h"
#include "room/room_list_service.h"
#include "room/room_moderation_service.h"
#include "room/room_subroom_service.h"
#include "support/log_capture.h"
#include "support/test_json.h"
#include "support/test_main.h"
#include "ui/chat/mixed_feed_view.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "user/abstract_user_resolver.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

using testsupport::RoomSnapshotBuilder;

namespace {

class NameCache : public AbstractUserResolver
{
public:
    QHash<QString, QString> nicknames;
    QStringList requested;

    void request(const QString &userId) override { requested << userId; }
    void requestMany(const QStringList &userIds) override { requested << userIds; }
    QString nickname(const QString &userId) const override { return nicknames.value(userId); }
    QString username(const QString &) const override { return {}; }
};

const QStringList kModeration = {"core.room.mute_voice_members", "core.room.mute_text_members",
                                 "core.room.kick_members", "core.room.ban_members"};

// The room services of one signed-in user "me" over a fake REST client, a main window,
// and the names the directory knows.
struct Services
{
    RoomServiceFixture rooms;
    UserState user;
    NameCache users;
    ChannelEntityStore channels;
    RoomModerationService moderation{&rooms.http, &rooms.session};
    RoomSubroomService subrooms{&rooms.http, &rooms.session};
    RoomFollowCodeService followCode{&rooms.http, &rooms.session};
    RoomListService list{&rooms.http, &rooms.store};
    std::optional<MainWindow> shown;

    // Made on first use: most menu rules need no window.
    MainWindow &window()
    {
        if (!shown)
            shown.emplace(MainWindowOptions{});
        return *shown;
    }

    explicit Services(const QString &ownId = QStringLiteral("me"))
    {
        if (!ownId.isEmpty())
            user.applyProfile(UserProfile{ownId, ownId, {}, {}, {}});
        list.setUserIdProvider([this] { return user.userId(); });
    }

    wiring::RoomMenuContext menus() { return {&rooms.session, &rooms.store, &user, &channels, nullptr}; }

    void add(const RoomSnapshotBuilder &room)
    {
        rooms.store.retain(room.roomId());
        rooms.snapshot(room);
    }

    // The user's channel role in "c1" holds the cascade.
    void grantCascade()
    {
        channels.retain("c1");
        ChannelEntity channel;
        channel.channelId = "c1";
        channel.valid = true;
        ChannelRole role;
        role.roleId = 5;
        role.permissions = {"core.channel.cascade_rooms"};
        channel.roles = {role};
        channel.members = {ChannelMember{"me", 5, 0}};
        channels.applyBundle("c1", channel);
    }

    // Loads the room list with these rooms and the server's active room; returns the
    // number of calls made before the answer.
    qsizetype loadList(const QStringList &ids, const QString &active)
    {
        QJsonObject body{{"rooms", QJsonArray::fromStringList(ids)}};
        if (!active.isEmpty())
            body.insert("activeRoomId", active);
        list.bootstrap();
        const qsizetype sent = rooms.http.calls.size();
        rooms.http.reply(sent - 1, testsupport::jsonReply(200, body));
        return sent;
    }

    QString lastCall() const
    {
        if (rooms.http.calls.isEmpty())
            return QStringLiteral("(none)");
        const auto &call = rooms.http.calls.last();
        static const char *methods[] = {"POST", "GET", "DELETE", "PUT", "PATCH"};
        QString text = QString::fromLatin1(methods[int(call.method)]) + " " + call.path;
        if (!call.body.isEmpty())
            text += " " + QString::fromUtf8(QJsonDocument(call.body).toJson(QJsonDocument::Compact));
        return text;
    }
};

// A room in which "me" holds `ownRole` and the listed members hold theirs.
RoomSnapshotBuilder aclRoom(const QString &id)
{
    RoomSnapshotBuilder b(id);
    b.name(id)
        .present({"me", "peer"})
        .role(-1, "owner", 100, kModeration + QStringList{"core.room.speak", "core.room.dissolve"})
        .role(2, "admin", 50,
              kModeration
                  + QStringList{"core.room.speak", "core.room.manage_attach_to_parent_room",
                                "core.room.approve_subroom_attach", "core.room.override_child_broadcast",
                                "core.room.dissolve", "core.room.manage_follow_code"})
        .role(3, "voice keeper", 40, {"core.room.mute_voice_members", "core.room.speak"})
        .role(1, "member", 1, {"core.room.speak"});
    return b;
}

QString describeParticipant(const ParticipantContextMenuBuilder::State &s)
{
    QStringList parts;
    if (s.canVoiceMute)
        parts << "voice";
    if (s.canTextMute)
        parts << "text";
    if (s.canKick)
        parts << "kick";
    if (s.canBan)
        parts << "ban";
    if (s.voiceMuted)
        parts << "voiceMuted";
    if (s.textMuted)
        parts << "textMuted";
    if (s.invitePlaceholder)
        parts << "invite";
    return parts.join(' ');
}

QString describeRoom(const RoomContextMenuBuilder::State &s)
{
    QStringList parts{QStringLiteral("kind=%1").arg(s.relation)};
    const QList<QPair<bool, const char *>> flags = {{s.isMember, "member"},
                                                    {s.canDissolve, "dissolve"},
                                                    {s.canManageAttach, "attach"},
                                                    {s.canApproveSubroomAttach, "approve"},
                                                    {s.canOverrideChildBroadcast, "ovBroadcast"},
                                                    {s.canOverrideChildChat, "ovChat"},
                                                    {s.canAttachHere, "here"},
                                                    {s.currentHasParent, "hasParent"},
                                                    {s.childBroadcastDenied, "deniedBroadcast"},
                                                    {s.childChatDenied, "deniedChat"},
                                                    {s.chatSubscribed, "subscribed"}};
    for (const auto &flag : flags) {
        if (flag.first)
            parts << flag.second;
    }
    return parts.join(' ');
}

using Action = std::function<void(MainWindow &)>;
using Failure = std::function<void(Services &, const QString &message)>;

template<typename Panel>
Panel *panelOf(QWidget *widget)
{
    return qobject_cast<Panel *>(widget);
}

} // namespace

Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(Failure)

class TestRoomPanelsWiring : public QObject
{
    Q_OBJECT

private slots:
    void participantMenu_data();
    void participantMenu();
    void participantMenuWithoutRoomOrUser();
    void roomMenu_data();
    void roomMenu();
    void actionsReachTheServices_data();
    void actionsReachTheServices();
    void failuresShowTheMessageElseTheFixedText_data();
    void failuresShowTheMessageElseTheFixedText();
    void followCodeCopyPutsTheCodeOnTheClipboard();
    void panelsAreAssembledOncePerTurn();
    void roomActionsFollowTheActiveRoom();
    void preferenceMemberNamesRefreshAtOnceAndNextTurn();
    void samePreferenceMembersKeepTheirRows();
    void chatDockFollowsOnlyARealChangeOfRoom();
    void mergedFeedMenuListsTheSubscribedRooms();
    void reconnectPrompt_data();
    void reconnectPrompt();
    void reconnectPromptWaitsForTheSnapshot();
    void reconnectAnswerAfterASignOutIsDropped_data();
    void reconnectAnswerAfterASignOutIsDropped();
    void reconnectPromptWaitsForTheProfile();
    void reconnectPromptEndsWithoutAnActiveRoom();
};

void TestRoomPanelsWiring::participantMenu_data()
{
    QTest::addColumn<qint64>("ownRole");  // 0: no entry
    QTest::addColumn<qint64>("peerRole"); // 0: no entry; -2: entry with role id 0
    QTest::addColumn<bool>("cascade");
    QTest::addColumn<bool>("peerMuted");
    QTest::addColumn<QString>("expected");
    QTest::newRow("admin on a member") << qint64(2) << qint64(1) << false << false << "voice text kick ban";
    QTest::newRow("owner on an admin") << qint64(-1) << qint64(2) << false << false << "voice text kick ban";
    QTest::newRow("equal level") << qint64(2) << qint64(2) << false << false << "";
    QTest::newRow("member above nobody") << qint64(1) << qint64(1) << false << false << "";
    QTest::newRow("target without a role entry") << qint64(2) << qint64(0) << false << false << "";
    QTest::newRow("target with role id 0") << qint64(2) << qint64(-2) << false << false << "";
    QTest::newRow("target role unknown to the list") << qint64(2) << qint64(77) << false << false << "";
    QTest::newRow("own role unknown to the list") << qint64(77) << qint64(1) << false << false << "";
    QTest::newRow("own rights decide the items") << qint64(3) << qint64(1) << false << false << "voice";
    QTest::newRow("cascade lifts above an equal level")
        << qint64(2) << qint64(2) << true << false << "voice text kick ban";
    QTest::newRow("cascade still needs a known target role") << qint64(2) << qint64(0) << true << false << "";
    QTest::newRow("mutes shown without rights") << qint64(1) << qint64(1) << false << true << "voiceMuted textMuted";
}

void TestRoomPanelsWiring::participantMenu()
{
    QFETCH(qint64, ownRole);
    QFETCH(qint64, peerRole);
    QFETCH(bool, cascade);
    QFETCH(bool, peerMuted);
    QFETCH(QString, expected);

    Services s;
    RoomSnapshotBuilder room = aclRoom("r1").channel("c1");
    if (ownRole != 0)
        room.memberRole("me", ownRole);
    if (peerRole != 0)
        room.memberRole("peer", peerRole == -2 ? 0 : peerRole);
    if (peerMuted)
        room.mute("peer", "voice").mute("peer", "text");
    if (cascade)
        s.grantCascade();
    s.rooms.activate("r1");
    s.rooms.snapshot(room);

    QCOMPARE(describeParticipant(wiring::participantMenuState(s.menus(), "peer")), expected);
}

void TestRoomPanelsWiring::participantMenuWithoutRoomOrUser()
{
    Services noUser{QString()};
    noUser.rooms.activate("r1");
    noUser.rooms.snapshot(aclRoom("r1").memberRole("me", -1).memberRole("peer", 1).mute("peer", "voice"));
    QCOMPARE(describeParticipant(wiring::participantMenuState(noUser.menus(), "peer")), QString());

    Services noRoom;
    QCOMPARE(describeParticipant(wiring::participantMenuState(noRoom.menus(), "peer")), QString());
}

void TestRoomPanelsWiring::roomMenu_data()
{
    QTest::addColumn<QString>("active"); // "me" (with parent "p"), "solo" or "" (none)
    QTest::addColumn<QString>("roomId");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty id") << "me"
                              << ""
                              << "kind=4";
    QTest::newRow("active room") << "me"
                                 << "me"
                                 << "kind=0 member dissolve attach approve ovBroadcast hasParent";
    QTest::newRow("child denied broadcast") << "me"
                                            << "kid"
                                            << "kind=1 attach approve ovBroadcast hasParent deniedBroadcast";
    QTest::newRow("child denied chat only") << "me"
                                            << "kid2"
                                            << "kind=1 attach approve ovBroadcast hasParent deniedChat";
    QTest::newRow("parent, dissolve of its own") << "me"
                                                 << "p"
                                                 << "kind=2 member attach approve ovBroadcast hasParent";
    QTest::newRow("sibling") << "me"
                             << "sib"
                             << "kind=3 attach approve ovBroadcast hasParent";
    QTest::newRow("unrelated room, active has a parent") << "me"
                                                         << "far"
                                                         << "kind=4 attach approve ovBroadcast hasParent";
    QTest::newRow("unstored room") << "me"
                                   << "ghost"
                                   << "kind=4 attach approve ovBroadcast hasParent";
    QTest::newRow("attach here: active without parent or children") << "solo"
                                                                    << "far"
                                                                    << "kind=4 attach approve ovBroadcast here";
    QTest::newRow("no active room") << ""
                                    << "far"
                                    << "kind=4";
}

void TestRoomPanelsWiring::roomMenu()
{
    QFETCH(QString, active);
    QFETCH(QString, roomId);
    QFETCH(QString, expected);

    Services s;
    s.add(aclRoom("p").memberRole("me", 1).child("me").child("sib"));
    s.add(aclRoom("sib").parent("p"));
    s.add(aclRoom("kid").parent("me"));
    s.add(aclRoom("kid2").parent("me"));
    s.add(aclRoom("far"));
    s.add(aclRoom("solo").memberRole("me", 2));
    if (active == "me") {
        s.rooms.activate("me");
        s.rooms.snapshot(aclRoom("me")
                             .memberRole("me", 2)
                             .parent("p")
                             .child("kid")
                             .child("kid2")
                             .childOverride("kid", "allowBroadcast", false)
                             .childOverride("kid2", "allowChat", false));
    } else if (active == "solo") {
        s.rooms.activate("solo");
    }
    QCOMPARE(describeRoom(wiring::roomMenuState(s.menus(), roomId)), expected);
}

void TestRoomPanelsWiring::actionsReachTheServices_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("expected");
    const auto current = [](MainWindow &w) { return panelOf<CurrentRoomPanel>(w.currentRoomPanel()); };
    const auto mine = [](MainWindow &w) { return panelOf<MyRoomPanel>(w.myRoomPanel()); };
    const auto channels = [](MainWindow &w) { return panelOf<MyChannelPanel>(w.myChannelPanel()); };

    QTest::newRow("control panel disconnect")
        << Action([](MainWindow &w) { emit w.controlPanel()->disconnectRoomRequested(); })
        << "DELETE /v1/rooms/r1/members/me";
    QTest::newRow("current leave") << Action([=](MainWindow &w) { emit current(w)->leaveRoomRequested(); })
                                   << "DELETE /v1/rooms/r1/members/me";
    QTest::newRow("kick") << Action([=](MainWindow &w) { emit current(w)->kickRequested("u2"); })
                          << "DELETE /v1/rooms/r1/members/u2";
    QTest::newRow("voice mute") << Action([=](MainWindow &w) { emit current(w)->forceMuteRequested("u2"); })
                                << "PUT /v1/rooms/r1/members/u2/mutes/voice";
    QTest::newRow("voice unmute") << Action([=](MainWindow &w) { emit current(w)->forceUnmuteRequested("u2"); })
                                  << "DELETE /v1/rooms/r1/members/u2/mutes/voice";
    QTest::newRow("text mute") << Action([=](MainWindow &w) { emit current(w)->textMuteRequested("u2"); })
                               << "PUT /v1/rooms/r1/members/u2/mutes/text";
    QTest::newRow("text unmute") << Action([=](MainWindow &w) { emit current(w)->textUnmuteRequested("u2"); })
                                 << "DELETE /v1/rooms/r1/members/u2/mutes/text";
    QTest::newRow("ban") << Action([=](MainWindow &w) { emit current(w)->banRequested("u2"); })
                         << "PUT /v1/rooms/r1/bans/u2";
    QTest::newRow("dissolve") << Action([=](MainWindow &w) { emit current(w)->dissolveRequested(); })
                              << "POST /v1/rooms/r1/dissolve";
    QTest::newRow("detach child") << Action([=](MainWindow &w) { emit current(w)->detachChildRequested("k1"); })
                                  << "DELETE /v1/rooms/r1/children/k1";
    QTest::newRow("detach from parent") << Action([=](MainWindow &w) { emit current(w)->detachFromParentRequested(); })
                                        << "DELETE /v1/rooms/r1/parent";
    QTest::newRow("deny broadcast") << Action([=](MainWindow &w) {
        emit current(w)->childOverrideToggled("k1", true, true);
    }) << "PATCH /v1/rooms/r1/children/k1 {\"allowBroadcast\":false}";
    QTest::newRow("lift chat denial") << Action([=](MainWindow &w) {
        emit current(w)->childOverrideToggled("k1", false, false);
    }) << "PATCH /v1/rooms/r1/children/k1 {\"allowChat\":null}";
    QTest::newRow("follow code assign") << Action([](MainWindow &w) {
        emit qobject_cast<ConnectSettingsTab *>(w.connectSettingsTab())->followCodeAssignRequested();
    }) << "POST /v1/rooms/r1/follow-code";
    QTest::newRow("follow code invalidate") << Action([](MainWindow &w) {
        emit qobject_cast<ConnectSettingsTab *>(w.connectSettingsTab())->followCodeInvalidateRequested();
    }) << "DELETE /v1/rooms/r1/follow-code";
    QTest::newRow("my rooms enter") << Action([=](MainWindow &w) { emit mine(w)->roomEnterRequested("r9"); })
                                    << "POST /v1/rooms/r9/join {\"sessionId\":\"s1\"}";
    QTest::newRow("my rooms attach") << Action([=](MainWindow &w) { emit mine(w)->attachToRoomRequested("r9"); })
                                     << "PUT /v1/rooms/r1/parent {\"parentRoomId\":\"r9\"}";
    QTest::newRow("my rooms override") << Action([=](MainWindow &w) {
        emit mine(w)->childOverrideToggled("k1", false, true);
    }) << "PATCH /v1/rooms/r1/children/k1 {\"allowChat\":false}";
    QTest::newRow("my rooms leave") << Action([=](MainWindow &w) { emit mine(w)->leaveRoomRequested(); })
                                    << "DELETE /v1/rooms/r1/members/me";
    QTest::newRow("my rooms dissolve") << Action([=](MainWindow &w) { emit mine(w)->dissolveRequested(); })
                                       << "POST /v1/rooms/r1/dissolve";
    QTest::newRow("my channels enter") << Action([=](MainWindow &w) { emit channels(w)->roomEnterRequested("r8"); })
                                       << "POST /v1/rooms/r8/join {\"sessionId\":\"s1\"}";
    QTest::newRow("my channels detach child")
        << Action([=](MainWindow &w) { emit channels(w)->detachChildRequested("k2"); })
        << "DELETE /v1/rooms/r1/children/k2";
    QTest::newRow("my channels detach from parent")
        << Action([=](MainWindow &w) { emit channels(w)->detachFromParentRequested(); })
        << "DELETE /v1/rooms/r1/parent";
    QTest::newRow("my channels attach") << Action([=](MainWindow &w) { emit channels(w)->attachToRoomRequested("r7"); })
                                        << "PUT /v1/rooms/r1/parent {\"parentRoomId\":\"r7\"}";
    QTest::newRow("current panel attach reaches nothing")
        << Action([=](MainWindow &w) { emit current(w)->attachToRoomRequested("r7"); }) << "(none)";
}

void TestRoomPanelsWiring::actionsReachTheServices()
{
    QFETCH(Action, action);
    QFETCH(QString, expected);
    Services s;
    wiring::wireRoomPanels(&s.window(), &s.rooms.session, &s.rooms.store, nullptr, &s.moderation, nullptr,
                           &s.followCode, &s.list, &s.subrooms, &s.user, &s.users, &s.channels, nullptr);
    s.rooms.activate("r1");
    s.rooms.snapshot(aclRoom("r1").memberRole("me", -1).parent("p").child("k1").child("k2"));
    s.rooms.clearCalls();

    action(s.window());
    QCOMPARE(s.lastCall(), expected);
    QVERIFY(s.rooms.http.calls.size() <= 1);
}

void TestRoomPanelsWiring::failuresShowTheMessageElseTheFixedText_data()
{
    QTest::addColumn<Failure>("fail");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    const Failure enter = [](Services &s, const QString &m) { emit s.rooms.session.enterFailed(RoomErrorCode(0), m); };
    const Failure leave = [](Services &s, const QString &m) { emit s.rooms.session.leaveFailed(RoomErrorCode(0), m); };
    const Failure moderation = [](Services &s, const QString &m) {
        emit s.moderation.moderationFailed(RoomErrorCode(0), m);
    };
    const Failure subroom = [](Services &s, const QString &m) { emit s.subrooms.subroomFailed(RoomErrorCode(0), m); };
    const Failure follow = [](Services &s, const QString &m) {
        emit s.followCode.followCodeFailed(RoomErrorCode(0), m);
    };
    const Failure pending = [](Services &s, const QString &) { emit s.subrooms.attachPending("anything"); };
    QTest::newRow("enter, fixed") << enter << ""
                                  << "进入房间失败，请稍后重试";
    QTest::newRow("enter, server") << enter << "房间已满"
                                   << "房间已满";
    QTest::newRow("leave, fixed") << leave << ""
                                  << "离开房间失败，请稍后重试";
    QTest::newRow("moderation, fixed") << moderation << ""
                                       << "操作失败，请稍后重试";
    QTest::newRow("moderation, server") << moderation << "权限不足"
                                        << "权限不足";
    QTest::newRow("sub-room, fixed") << subroom << ""
                                     << "子房间操作失败，请稍后重试";
    QTest::newRow("follow code, fixed") << follow << ""
                                        << "跟随码操作失败，请稍后重试";
    QTest::newRow("follow code, server") << follow << "已过期"
                                         << "已过期";
    QTest::newRow("attach pending") << pending << ""
                                    << "挂载申请已发送，等待对方房间同意";
}

void TestRoomPanelsWiring::failuresShowTheMessageElseTheFixedText()
{
    QFETCH(Failure, fail);
    QFETCH(QString, message);
    QFETCH(QString, expected);
    Services s;
    wiring::wireRoomPanels(&s.window(), &s.rooms.session, &s.rooms.store, nullptr, &s.moderation, nullptr,
                           &s.followCode, &s.list, &s.subrooms, &s.user, &s.users, &s.channels, nullptr);
    fail(s, message);
    QCOMPARE(s.window().statusBar()->currentMessage(), expected);
}

void TestRoomPanelsWiring::followCodeCopyPutsTheCodeOnTheClipboard()
{
    Services s;
    wiring::wireRoomPanels(&s.window(), &s.rooms.session, &s.rooms.store, nullptr, &s.moderation, nullptr,
                           &s.followCode, &s.list, &s.subrooms, &s.user, &s.users, &s.channels, nullptr);
    auto *tab = qobject_cast<ConnectSettingsTab *>(s.window().connectSettingsTab());
    QGuiApplication::clipboard()->setText("before");
    emit tab->followCodeCopyRequested();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

    s.rooms.activate("r1");
    s.rooms.feed.onStreamSnapshot(RoomSnapshotBuilder("r1").privateTarget(),
                                  RoomSnapshotBuilder("r1").followCode("FOLLOW7", 0).privateSnapshot());
    emit tab->followCodeCopyRequested();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("FOLLOW7"));
}

void TestRoomPanelsWiring::panelsAreAssembledOncePerTurn()
{
    Services s;
    s.users.nicknames = {{"me", "Me"}, {"peer", "Peer"}};
    wiring::RoomPanelsFeed *feed =
        wiring::wireRoomPanels(&s.window(), &s.rooms.session, &s.rooms.store, nullptr, &s.moderation, nullptr,
                               &s.followCode, &s.list, &s.subrooms, &s.user, &s.users, &s.channels, nullptr);
    QVERIFY(feed != nullptr);
    QCOMPARE(feed->parent(), &s.window());
    QSignalSpy ticks(feed, &wiring::RoomPanelsFeed::assembleTicked);
    auto *current = panelOf<CurrentRoomPanel>(s.window().currentRoomPanel());
    auto *mine = panelOf<MyRoomPanel>(s.window().myRoomPanel());
    QVERIFY(current && mine);

    // Wiring marks the feed dirty once.
    QVERIFY(feed->isDirty());
    QTRY_COMPARE(ticks.size(), 1);
    QCOMPARE(current->blocksData().emptyText, QStringLiteral("无当前房间"));
    QCOMPARE(mine->blocksData().emptyText, QStringLiteral("无房间"));

    // Entering a room, its snapshot, the room list and a burst of presence changes in
    // one turn: one rebuild.
    s.rooms.activate("r1");
    s.rooms.snapshot(aclRoom("r1").memberRole("me", -1).persistent(true));
    s.loadList({"r1"}, QString());
    for (int i = 0; i < 50; ++i) {
        s.rooms.feed.onGatewayEvent("room.presence.joined",
                                    {{"roomId", "r1"}, {"userId", QStringLiteral("u%1").arg(i)}}, i + 2);
        feed->setOwnSpeakers({QStringLiteral("u%1").arg(i)});
    }
    QCOMPARE(ticks.size(), 1);
    QTRY_COMPARE(ticks.size(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(ticks.size(), 2);

    const blocks::BlockListData shown = current->blocksData();
    QCOMPARE(shown.sections.size(), 1);
    const blocks::RoomBlockData &block = shown.sections.at(0).rooms.at(0);
    QCOMPARE(block.roomId, QStringLiteral("r1"));
    QCOMPARE(block.memberCount, 52);
    QCOMPARE(block.statusDot, 2);
    QCOMPARE(mine->blocksData().sections.at(0).caption, QStringLiteral("持久房间"));
    QCOMPARE(mine->blocksData().sections.at(0).rooms.at(0).bold, true);

    // Equal speakers and an unchanged permission do not rebuild.
    feed->setOwnSpeakers({QStringLiteral("u49")});
    feed->setParentBroadcastAllowed(true);
    QVERIFY(!feed->isDirty());
    // A name arriving from the directory does.
    s.users.nicknames.insert("u1", "Uno");
    emit s.users.userInfoReady("u1", "Uno");
    QVERIFY(feed->isDirty());
    QTRY_COMPARE(ticks.size(), 3);
}

void TestRoomPanelsWiring::roomActionsFollowTheActiveRoom()
{
    Services s;
    wiring::wireRoomPanels(&s.window(), &s.rooms.session, &s.rooms.store, nullptr, &s.moderation, nullptr,
                           &s.followCode, &s.list, &s.subrooms, &s.user, &s.users, &s.channels, nullptr);
    auto *tab = qobject_cast<ConnectSettingsTab *>(s.window().connectSettingsTab());
    QPushButton *broadcast = s.window().controlPanel()->broadcastButton();

    // No room: lobby layout, no control panel, broadcast row hidden.
    QVERIFY(!tab->isInRoom());
    QVERIFY(!s.window().isInRoom());
    QVERIFY(broadcast->isHidden());

    // A room without a parent: in-room layout, broadcast row still hidden.
    s.rooms.activate("r1");
    s.rooms.snapshot(aclRoom("r1").memberRole("me", 1));
    QVERIFY(tab->isInRoom());
    QVERIFY(s.window().isInRoom());
    QVERIFY(broadcast->isHidden());

    // With a parent the row shows, allowed while the user may speak.
    s.rooms.snapshot(aclRoom("r1").memberRole("me", 1).parent("p"));
    QVERIFY(!broadcast->isHidden());
    QVERIFY(broadcast->isEnabled());
    s.rooms.snapshot(aclRoom("r1").memberRole("me", 1).parent("p").mute("me", "voice"));
    QVERIFY(!broadcast->isEnabled());

    // Leaving: the lobby again.
    s.rooms.session.reset();
    QVERIFY(!tab->isInRoom());
    QVERIFY(!s.window().isInRoom());
    QVERIFY(broadcast->isHidden());
}

void TestRoomPanelsWiring::preferenceMemberNamesRefreshAtOnceAndNextTurn()
{
    Services s;
    s.rooms.activate("r1");
    s.rooms.snapshot(aclRoom("r1").memberRole("me", 1).setting("prefMembers", QJsonArray{"pal"}));
    wiring::wireRoomPanels(&s.window(), &s.rooms.session, &s.rooms.store, nullptr, &s.moderation, nullptr,
                           &s.followCode, &s.list, &s.subrooms, &s.user, &s.users, &s.channels, nullptr);
    QVERIFY(s.users.requested.contains("pal"));
    s.users.requested.clear();
    emit s.users.userInfoReady("someone", "x");
    // The directory is asked again at once (the name is still unknown) ...
    QCOMPARE(s.users.requested.count("pal"), 1);
    // ... and once more on the next turn.
    QTRY_COMPARE(s.users.requested.count("pal"), 2);
    QCoreApplication::processEvents();
    QCOMPARE(s.users.requested.count("pal"), 2);
}

void TestRoomPanelsWiring::samePreferenceMembersKeepTheirRows()
{
    // Every room event refreshes the room actions; an unchanged preference member list
    // must not make the connection tab's rows again each time.
    Services s;
    s.users.nicknames.insert("pal", "Pal");
    s.rooms.activate("r1");
    s.rooms.snapshot(aclRoom("r1").memberRole("me", 1).setting("prefMembers", QJsonArray{"pal"}));
    wiring::wireRoomPanels(&s.window(), &s.rooms.session, &s.rooms.store, nullptr, &s.moderation, nullptr,
                           &s.followCode, &s.list, &s.subrooms, &s.user, &s.users, &s.channels, nullptr);
    auto *tab = qobject_cast<ConnectSettingsTab *>(s.window().connectSettingsTab());
    const auto palLabel = [tab]() -> QLabel * {
        for (QLabel *label : tab->findChildren<QLabel *>()) {
            if (label->text() == "Pal")
                return label;
        }
        return nullptr;
    };
    const QPointer<QLabel> before = palLabel();
    QVERIFY(before);
    s.rooms.feed.onGatewayEvent("room.presence.joined", {{"roomId", "r1"}, {"userId", "u7"}}, 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QVERIFY(before);
    QCOMPARE(palLabel(), before.data());

    // A changed list does rebuild.
    s.rooms.snapshot(aclRoom("r1").memberRole("me", 1).setting("prefMembers", QJsonArray{"pal", "mate"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(palLabel() != nullptr);
    QVERIFY(palLabel() != before.data());
}

void TestRoomPanelsWiring::chatDockFollowsOnlyARealChangeOfRoom()
{
    Services s;
    QStringList selected;
    wiring::wireChatDockFollow(&s.window(), &s.rooms.session, [&selected](const QString &id) { selected << id; });
    s.window().connectSettingsDock()->setAsCurrentTab();
    ads::CDockAreaWidget *area = s.window().chatDock()->dockAreaWidget();
    QVERIFY(area->currentDockWidget() != s.window().chatDock());

    s.rooms.activate("A");
    QCOMPARE(selected, QStringList{"A"});
    QCOMPARE(area->currentDockWidget(), s.window().chatDock());

    // A change of the room's data while in it: nothing.
    s.window().connectSettingsDock()->setAsCurrentTab();
    s.rooms.snapshot(aclRoom("A"));
    QCOMPARE(selected, QStringList{"A"});
    QVERIFY(area->currentDockWidget() != s.window().chatDock());

    // Leaving and entering the same room again follows again.
    s.rooms.session.reset();
    QCOMPARE(selected, QStringList{"A"});
    s.rooms.activate("A");
    QCOMPARE(selected, (QStringList{"A", "A"}));
    QCOMPARE(area->currentDockWidget(), s.window().chatDock());
}

void TestRoomPanelsWiring::mergedFeedMenuListsTheSubscribedRooms()
{
    Services s;
    RoomChatService chat{&s.rooms.http, nullptr, &s.rooms.session};
    s.add(aclRoom("f1").name("Followed one"));
    s.rooms.activate("me");
    chat.setSelectedRoom("sel");
    chat.fetchSubscriptions();
    const QString path = QStringLiteral("/v1/users/me/chat-subscriptions");
    QCOMPARE(s.rooms.http.callsTo(path).size(), 1);
    s.rooms.http.answer(path, 0, testsupport::jsonReply(200, {{"rooms", QJsonArray{"f1", "f2"}}}));

    QWidget anchor;
    MixedFeedView feed;
    QStringList shown;
    QTimer::singleShot(0, this, [&shown] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (menu == nullptr)
            return;
        QAction *followed = nullptr;
        for (QAction *action : menu->actions()) {
            if (action->isSeparator()) {
                shown << "--";
                continue;
            }
            shown << action->text() + (action->isChecked() ? "[x]" : "[ ]");
            if (action->text() == "Followed one")
                followed = action;
        }
        if (followed != nullptr)
            followed->trigger();
        menu->close();
    });
    const int rebuilds = feed.rebuildCount();
    wiring::showMergedFeedMenu(&anchor, &feed, {"f2"}, &chat, &s.rooms.store, QPoint(10, 10));
    QCOMPARE(shown, (QStringList{"当前[x]", "--", "Followed one[x]", "f2[ ]"}));
    // Unchecking hid the room in the merged feed.
    QCOMPARE(feed.rebuildCount(), rebuilds + 1);
}

void TestRoomPanelsWiring::reconnectPrompt_data()
{
    QTest::addColumn<QStringList>("disconnected");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("log");
    QTest::newRow("others online, accepted") << QStringList{"me"} << true << "Hall"
                                             << "POST /v1/rooms/r1/join {\"sessionId\":\"s1\"}"
                                             << "reconnect prompt check room_id=\"r1\" others_online=true";
    QTest::newRow("others online, declined") << QStringList{"me"} << false << "Hall"
                                             << "DELETE /v1/rooms/r1/members/me"
                                             << "reconnect prompt check room_id=\"r1\" others_online=true";
    QTest::newRow("everyone else dropped too") << QStringList{"me", "peer"} << true << ""
                                               << "(none)"
                                               << "reconnect prompt check room_id=\"r1\" others_online=false";
    QTest::newRow("user not disconnected") << QStringList{} << true << ""
                                           << "(none)"
                                           << "reconnect prompt skip active_room=\"r1\" reason=not_disconnected";
}

void TestRoomPanelsWiring::reconnectPrompt()
{
    QFETCH(QStringList, disconnected);
    QFETCH(bool, answer);
    QFETCH(QString, asked);
    QFETCH(QString, request);
    QFETCH(QString, log);

    testsupport::LogCapture logs;
    Services s;
    QStringList questions;
    wiring::wireReconnectPrompt(&s.window(), &s.list, &s.rooms.session, &s.user,
                                [&](const QString &name, QWidget *parent) {
                                    questions << name;
                                    return parent == &s.window() && answer;
                                });
    s.add(aclRoom("r1").name("Hall").disconnected(disconnected));
    const qsizetype sent = s.loadList({"r1"}, "r1");
    QCOMPARE(questions.join(','), asked);
    QCOMPARE(s.rooms.http.calls.size() > sent ? s.lastCall() : QStringLiteral("(none)"), request);
    QVERIFY(s.rooms.http.calls.size() <= sent + 1);
    // Decided once: a later list change asks nothing.
    emit s.list.listChanged();
    QCOMPARE(questions.join(','), asked);
    QVERIFY(logs.contains("room.list", log));
}

void TestRoomPanelsWiring::reconnectAnswerAfterASignOutIsDropped_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("rejoin") << true;
    QTest::newRow("leave") << false;
}

void TestRoomPanelsWiring::reconnectAnswerAfterASignOutIsDropped()
{
    // While the question is open the user signs out: the list is reset and the answer,
    // whatever it is, is spent on nothing.
    QFETCH(bool, answer);
    Services s;
    bool asked = false;
    wiring::wireReconnectPrompt(&s.window(), &s.list, &s.rooms.session, &s.user, [&](const QString &, QWidget *) {
        asked = true;
        s.list.reset();
        return answer;
    });
    s.add(aclRoom("r1").name("Hall").present({"me", "peer"}).disconnected({"me"}));
    const qsizetype sent = s.loadList({"r1"}, "r1");
    QVERIFY(asked);
    QCOMPARE(s.rooms.http.calls.size(), sent);
}

void TestRoomPanelsWiring::reconnectPromptWaitsForTheSnapshot()
{
    Services s;
    QStringList questions;
    wiring::wireReconnectPrompt(&s.window(), &s.list, &s.rooms.session, &s.user, [&](const QString &name, QWidget *) {
        questions << name;
        return false;
    });
    s.loadList({"r1"}, "r1");
    QVERIFY(questions.isEmpty());
    // The snapshot arrives: the list changes and the question comes (the name is the id
    // when the room has none).
    s.rooms.clearCalls();
    s.rooms.snapshot(aclRoom("r1").name("").present({"me", "peer"}).disconnected({"me"}));
    QCOMPARE(questions, QStringList{"r1"});
    QCOMPARE(s.lastCall(), QStringLiteral("DELETE /v1/rooms/r1/members/me"));
}

void TestRoomPanelsWiring::reconnectPromptWaitsForTheProfile()
{
    // A resume whose room list arrives before the profile: the own id is learnt late.
    Services s{QString()};
    QStringList questions;
    wiring::wireReconnectPrompt(&s.window(), &s.list, &s.rooms.session, &s.user, [&](const QString &name, QWidget *) {
        questions << name;
        return true;
    });
    s.add(aclRoom("r1").name("Hall").disconnected({"me"}));
    s.loadList({"r1"}, "r1");
    QVERIFY(questions.isEmpty());
    s.rooms.clearCalls();
    s.user.applyProfile(UserProfile{"me", "me", "Me", {}, {}});
    QCOMPARE(questions, QStringList{"Hall"});
    QCOMPARE(s.lastCall(), QStringLiteral("POST /v1/rooms/r1/join {\"sessionId\":\"s1\"}"));
    // Decided: another profile asks nothing.
    s.user.applyProfile(UserProfile{"me", "me", "Me", {}, {}});
    QCOMPARE(questions.size(), 1);
}

void TestRoomPanelsWiring::reconnectPromptEndsWithoutAnActiveRoom()
{
    testsupport::LogCapture logs;
    Services s;
    QStringList questions;
    wiring::wireReconnectPrompt(&s.window(), &s.list, &s.rooms.session, &s.user, [&](const QString &name, QWidget *) {
        questions << name;
        return true;
    });
    s.add(aclRoom("r1").name("Hall").disconnected({"me"}));
    s.loadList({"r1"}, QString());
    QVERIFY(logs.contains("room.list", "reconnect prompt skip reason=no_active_room"));
    // A later refetch that names an active room does not ask.
    s.loadList({"r1"}, "r1");
    QVERIFY(questions.isEmpty());
}

KESTOVA_TEST_MAIN(TestRoomPanelsWiring)
#include "test_room_panels_wiring.moc"
