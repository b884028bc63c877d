#include "wiring/main_window_wiring.h"
#include "wiring/room_settings_wiring.h"
#include "wiring_test_fixture.h"

#include "channel/channel_entity_store.h"
#include "realtime/fake_socket_client.h"
#include "realtime/gateway_service.h"
#include "room/room_chat_service.h"
#include "room/room_service_fixture.h"
#include "room/room_settings_service.h"
#include "support/test_main.h"
#include "ui/settings/room_base_settings_view.h"
#include "ui/settings/room_delete_view.h"
#include "ui/settings/room_perms_view.h"
#include "ui/settings/room_settings_dialog.h"
#include "ui/widgets/segmented_control.h"

#include <QComboBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::RoomSnapshotBuilder;
using namespace wiringtest;

namespace {

const QStringList kAdminKeys{"core.room.change_name", "core.room.manage_roles", "core.room.delete",
                             "core.room.manage_pref"};

// A persistent room of no channel: "me" is admin (level 50), A and b members, a the owner.
RoomSnapshotBuilder lobby(int version = 1)
{
    return RoomSnapshotBuilder("r1")
        .name("Lobby")
        .version(version)
        .persistent(true)
        .present({"me", "A", "a", "b"})
        .role(-1, "房主", 100, {"core.room.change_name"})
        .role(3, "member", 10, {}, true)
        .role(2, "admin", 50, kAdminKeys)
        .role(4, "helper", 50, {})
        .memberRole("me", 2)
        .memberRole("b", 3)
        .memberRole("A", 3)
        .memberRole("a", -1)
        .setting("bitrate", 32000)
        .setting("accessMode", "public")
        .setting("prefMembers", QJsonArray{"b", "zz"});
}

ChannelEntity channelWithRole(const QString &userId, const QStringList &permissions)
{
    ChannelEntity entity;
    entity.valid = true;
    entity.name = "ch";
    ChannelRole role;
    role.roleId = 7;
    role.level = 1;
    role.permissions = permissions;
    entity.roles = {role};
    entity.members = {ChannelMember{userId, 7, 0}};
    return entity;
}

struct Fixture
{
    WindowFixture ui;
    RoomServiceFixture room;
    RoomSettingsService settings{&room.http, &room.store, &room.feed};
    RoomChatService chat{&room.http, nullptr, &room.session};
    ChannelEntityStore channels;
    UserState user;
    ScriptedResolver users;
    FakeSocketClient socket;
    GatewayService gateway{&socket};

    Fixture()
    {
        signIn(user, "me", "Me");
        users.names.insert("A", {"Alpha", "alpha"});
        wiring::wireRoomSettings(&ui.window, &room.session, &room.store, &room.registry, &settings, &user, &users,
                                 &gateway, &channels, &chat);
    }
    RoomSettingsDialog *dialog() const { return findDialog<RoomSettingsDialog>(&ui.window); }
    // Opens the dialog for r1 and lets its first snapshot arrive.
    RoomSettingsDialog *openFilled(const RoomSnapshotBuilder &snapshot = lobby())
    {
        emit ui.myRoomPanel->roomSettingsRequested("r1");
        room.snapshot(snapshot);
        QTest::qWait(0);
        QCoreApplication::processEvents();
        room.clearCalls();
        return dialog();
    }
    RoomViewModel *model() { return room.registry.viewModel("r1"); }
    QList<qint64> railOrder() const
    {
        QList<qint64> ids;
        QListWidget *rail = dialog()->rolesPage()->roleList();
        for (int i = 0; i < rail->count(); ++i)
            ids << rail->item(i)->data(Qt::UserRole + 1).toLongLong();
        return ids;
    }
};

} // namespace

class TestRoomSettingsWiring : public QObject
{
    Q_OBJECT

private slots:
    void opensForARoomAndFillsWhenItsSnapshotArrives();
    void rightsFollowThePermissionKeys();
    void membersInUserIdOrderAndRolesHighestFirst();
    void ownLevelDecidesWhichRolesAreEditable_data();
    void ownLevelDecidesWhichRolesAreEditable();
    void deleteNeedsAPersistentRoomOfNoChannel_data();
    void deleteNeedsAPersistentRoomOfNoChannel();
    void eachChangeLeavesAsOneRequest();
    void rolesReorderIsSentReversed();
    void failureIsShownAndUndoneByTheNextRefill();
    void refillsOncePerLoopTurn();
    void closesOnItsRoomHiddenOrExpiredAndReleasesTheRoom();
    void tagSystemStateFollowsTheChatService();
};

void TestRoomSettingsWiring::opensForARoomAndFillsWhenItsSnapshotArrives()
{
    Fixture f;
    emit f.ui.currentRoomPanel->roomSettingsRequested(QString());
    QVERIFY(!f.dialog());

    emit f.ui.channelPanel->roomSettingsRequested("r1");
    RoomSettingsDialog *dialog = f.dialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isModal());
    QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(f.room.store.find("r1")); // held while the dialog lives
    QVERIFY(!dialog->basePage()->nameField()->isEnabled());
    QCOMPARE(dialog->basePage()->nameField()->text(), QString());
    QCOMPARE(dialog->rolesPage()->roleList()->count(), 0);
    // The tag state is asked for at once.
    QCOMPARE(f.room.http.callsTo("/v1/im/rooms/r1/tags").size(), 1);

    f.room.snapshot(lobby());
    QCOMPARE(dialog->basePage()->nameField()->text(), QString()); // not before the next turn
    QTRY_COMPARE(dialog->basePage()->nameField()->text(), QString("Lobby"));
    QCOMPARE(dialog->basePage()->bitrateBox()->currentData().toInt(), 32000);
    QVERIFY(dialog->basePage()->nameField()->isEnabled());
    QCOMPARE(dialog->prefList()->members().size(), 2);
    QCOMPARE(dialog->prefList()->members().at(0).userId, QString("b"));
}

void TestRoomSettingsWiring::rightsFollowThePermissionKeys()
{
    Fixture f;
    RoomViewModel *model = f.model();
    QCOMPARE(wiring::roomSettingsPermissions(model, &f.user, &f.channels).changeName, false); // not yet available
    f.openFilled();
    RoomSettingsDialog::Permissions rights = wiring::roomSettingsPermissions(model, &f.user, &f.channels);
    QVERIFY(rights.changeName);
    QVERIFY(rights.manageRoles);
    QVERIFY(rights.managePref);
    QVERIFY(!rights.changeBitrate);
    QVERIFY(!rights.assignRoles);
    QVERIFY(!rights.configTagSystem);

    // A channel role that cascades grants every key of the channel's rooms.
    f.channels.retain("c1");
    f.channels.applyBundle("c1", channelWithRole("me", {"*"}));
    f.room.snapshot(lobby(2).channel("c1"));
    rights = wiring::roomSettingsPermissions(model, &f.user, &f.channels);
    QVERIFY(rights.changeBitrate);
    QVERIFY(rights.assignRoles);
    QVERIFY(rights.configTagSystem);
    // Signed out: nothing.
    f.user.clear();
    QVERIFY(!wiring::roomSettingsPermissions(model, &f.user, &f.channels).changeName);
}

void TestRoomSettingsWiring::membersInUserIdOrderAndRolesHighestFirst()
{
    Fixture f;
    RoomSettingsDialog *dialog = f.openFilled();
    const QList<MemberEntry> members = wiring::roomSettingsMembers(f.model(), &f.users);
    QStringList ids;
    for (const MemberEntry &member : members)
        ids << member.userId;
    QCOMPARE(ids, QStringList({"A", "a", "b", "me"}));
    QCOMPARE(members.at(0).displayName, QString("Alpha"));
    QCOMPARE(members.at(0).username, QString("alpha"));
    QCOMPARE(members.at(1).isOwner, true);
    QCOMPARE(members.at(2).isOwner, false);
    QCOMPARE(members.at(2).displayName, QString("\u2026")); // unknown: fetched

    const QList<RoleEntry> roles = wiring::roomSettingsRoles(f.model(), &f.user, &f.channels);
    QCOMPARE(roles.size(), 4);
    QCOMPARE(roles.at(0).id, -1);
    QVERIFY(roles.at(0).isOwnerRole);
    QCOMPARE(roles.at(0).memberCount, 1);
    QVERIFY((roles.at(1).id == 2 && roles.at(2).id == 4) || (roles.at(1).id == 4 && roles.at(2).id == 2));
    QCOMPARE(roles.at(3).id, 3);
    QCOMPARE(roles.at(3).memberCount, 2);
    QVERIFY(roles.at(3).isDefault);
    for (const RoleEntry &role : roles) {
        QCOMPARE(role.isMine, role.id == 2);
        QCOMPARE(role.editable, role.id == 3); // strictly below the own level 50
        if (role.id == 2) {
            QCOMPARE(QSet<QString>(role.permKeys.begin(), role.permKeys.end()),
                     QSet<QString>(kAdminKeys.begin(), kAdminKeys.end()));
        }
    }
    // The dialog's rail shows the same order.
    QList<qint64> builderOrder;
    for (const RoleEntry &role : roles)
        builderOrder << role.id;
    QList<qint64> rail = f.railOrder();
    rail.removeAll(-1);
    builderOrder.removeAll(-1);
    QCOMPARE(rail, builderOrder);
    QVERIFY(dialog);
}

void TestRoomSettingsWiring::ownLevelDecidesWhichRolesAreEditable_data()
{
    QTest::addColumn<QString>("ownRole");
    QTest::addColumn<bool>("cascade");
    QTest::addColumn<QList<qint64>>("editable");
    QTest::newRow("no role: level -1") << "none" << false << QList<qint64>{};
    QTest::newRow("member of level 10") << "member" << false << QList<qint64>{};
    QTest::newRow("owner of level 100") << "owner" << false << QList<qint64>{2, 3, 4};
    QTest::newRow("channel cascade") << "none" << true << QList<qint64>{-1, 2, 3, 4};
}

void TestRoomSettingsWiring::ownLevelDecidesWhichRolesAreEditable()
{
    QFETCH(QString, ownRole);
    QFETCH(bool, cascade);
    QFETCH(QList<qint64>, editable);
    Fixture f;
    RoomSnapshotBuilder snapshot = lobby();
    if (ownRole == "none")
        snapshot = RoomSnapshotBuilder(lobby()).memberRole("me", 0);
    else if (ownRole == "member")
        snapshot.memberRole("me", 3);
    else
        snapshot.memberRole("me", -1);
    if (cascade) {
        f.channels.retain("c1");
        f.channels.applyBundle("c1", channelWithRole("me", {"core.channel.cascade_rooms"}));
        snapshot.channel("c1");
    }
    f.openFilled(snapshot);
    QList<qint64> shown;
    bool anyMine = false;
    for (const RoleEntry &role : wiring::roomSettingsRoles(f.model(), &f.user, &f.channels)) {
        if (role.editable)
            shown << role.id;
        anyMine = anyMine || role.isMine;
    }
    std::sort(shown.begin(), shown.end());
    QCOMPARE(shown, editable);
    QCOMPARE(anyMine, ownRole != "none");
}

void TestRoomSettingsWiring::deleteNeedsAPersistentRoomOfNoChannel_data()
{
    QTest::addColumn<bool>("persistent");
    QTest::addColumn<bool>("inChannel");
    QTest::addColumn<bool>("hasKey");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("persistent, own room") << true << false << true << true;
    QTest::newRow("temporary") << false << false << true << false;
    QTest::newRow("channel room") << true << true << true << false;
    QTest::newRow("without the key") << true << false << false << false;
}

void TestRoomSettingsWiring::deleteNeedsAPersistentRoomOfNoChannel()
{
    QFETCH(bool, persistent);
    QFETCH(bool, inChannel);
    QFETCH(bool, hasKey);
    QFETCH(bool, enabled);
    Fixture f;
    RoomSnapshotBuilder snapshot = lobby().persistent(persistent);
    if (inChannel) {
        // Even a channel that cascades grants no deletion.
        f.channels.retain("c1");
        f.channels.applyBundle("c1", channelWithRole("me", {"*"}));
        snapshot.channel("c1");
    }
    if (!hasKey)
        snapshot.memberRole("me", 3);
    RoomSettingsDialog *dialog = f.openFilled(snapshot);
    QVERIFY(dialog->deletePage() != nullptr || !persistent);
    if (dialog->deletePage() != nullptr)
        QCOMPARE(dialog->deletePage()->confirmButton()->isEnabled(), enabled);
}

void TestRoomSettingsWiring::eachChangeLeavesAsOneRequest()
{
    Fixture f;
    RoomSettingsDialog *dialog = f.openFilled();
    FakeHttpClient &http = f.room.http;
    QJsonObject adminKeys;
    for (const QString &key : kAdminKeys)
        adminKeys.insert(key, true);
    struct Expected
    {
        const char *label;
        std::function<void()> trigger;
        HttpMethod method;
        QString path;
        QJsonObject body;
    };
    const QList<Expected> cases = {
        {"name",
         [&] {
             emit dialog->settingsSaved({{"name", "New"}});
         },
         HttpMethod::Patch,
         "/v1/rooms/r1/settings",
         {{"roomName", "New"}}},
        {"delete", [&] { emit dialog->roomDeleteRequested(); }, HttpMethod::Delete, "/v1/rooms/r1", {}},
        {"room code",
         [&] { emit dialog->roomCodeToggleRequested(true); },
         HttpMethod::Patch,
         "/v1/rooms/r1/room-code",
         {{"enabled", true}}},
        {"module", [&] { emit dialog->moduleDetachRequested(); }, HttpMethod::Delete, "/v1/rooms/r1/module", {}},
        {"pref remove",
         [&] { emit dialog->prefMemberRemoveRequested("b"); },
         HttpMethod::Patch,
         "/v1/rooms/r1/settings",
         {{"pref", QJsonArray{QJsonObject{{"userId", "zz"}}}}}},
        {"member role",
         [&] { emit dialog->memberRoleChanged("b", 2); },
         HttpMethod::Put,
         "/v1/rooms/r1/members/b/role",
         {{"roleId", 2}}},
        {"batch",
         [&] { emit dialog->memberRoleBatchReassignRequested(3, 4); },
         HttpMethod::Post,
         "/v1/rooms/r1/roles/reassign",
         {{"fromRoleId", 3}, {"toRoleId", 4}}},
        {"create role",
         [&] { emit dialog->roleCreateRequested("mods"); },
         HttpMethod::Post,
         "/v1/rooms/r1/roles",
         {{"name", "mods"}}},
        {"rename keeps the keys",
         [&] { emit dialog->roleRenameRequested(2, "chief"); },
         HttpMethod::Patch,
         "/v1/rooms/r1/roles/2",
         {{"name", "chief"}, {"permissions", adminKeys}}},
        {"permissions keep the name",
         [&] { emit dialog->rolePermissionsSaved(4, {"core.room.kick_members"}); },
         HttpMethod::Patch,
         "/v1/rooms/r1/roles/4",
         {{"name", "helper"}, {"permissions", QJsonObject{{"core.room.kick_members", true}}}}},
        {"delete role", [&] { emit dialog->roleDeleteRequested(4); }, HttpMethod::Delete, "/v1/rooms/r1/roles/4", {}},
        {"tag system",
         [&] { emit dialog->tagSystemToggleRequested(true); },
         HttpMethod::Put,
         "/v1/im/rooms/r1/tag-config",
         {{"enabled", true}}},
    };
    for (const Expected &expected : cases) {
        const qsizetype before = http.calls.size();
        expected.trigger();
        QVERIFY2(http.calls.size() == before + 1, expected.label);
        const FakeHttpClient::Call &call = http.calls.last();
        QVERIFY2(call.method == expected.method, expected.label);
        QCOMPARE(call.path, expected.path);
        for (auto it = expected.body.constBegin(); it != expected.body.constEnd(); ++it)
            QCOMPARE(call.body.value(it.key()), it.value());
    }
    // A role that the room no longer has is neither renamed nor given keys.
    const qsizetype before = http.calls.size();
    emit dialog->roleRenameRequested(99, "ghost");
    emit dialog->rolePermissionsSaved(99, {});
    QCOMPARE(http.calls.size(), before);
}

void TestRoomSettingsWiring::rolesReorderIsSentReversed()
{
    Fixture f;
    RoomSettingsDialog *dialog = f.openFilled();
    emit dialog->rolesReordered({2, 4, 3});
    QCOMPARE(f.room.http.calls.size(), 1);
    QCOMPARE(f.room.http.calls.at(0).path, QString("/v1/rooms/r1/roles/reorder"));
    QCOMPARE(f.room.http.calls.at(0).body.value("roleIds").toArray(), QJsonArray({3, 4, 2}));
}

void TestRoomSettingsWiring::failureIsShownAndUndoneByTheNextRefill()
{
    Fixture f;
    RoomSettingsDialog *dialog = f.openFilled();
    QLineEdit *name = dialog->basePage()->nameField();
    // The user types and leaves the field.
    name->setFocus();
    name->setText("Renamed");
    name->clearFocus();
    QCOMPARE(f.room.http.calls.size(), 1);
    f.room.http.reply(0, jsonReply(403, {{"message", "没有权限"}}));
    emit dialog->memberRoleChanged("b", 4);
    f.room.http.reply(1, jsonReply(500, {}));
    QCOMPARE(playedMessages(f.ui.statusBar(), 2), QStringList({"没有权限", "设置保存失败，请稍后重试"}));
    // The failure itself refreshes nothing: the field keeps the user's text ...
    QCOMPARE(name->text(), QString("Renamed"));
    // ... until the room changes, which refills the dialog on the next turn.
    f.room.snapshot(lobby(2).present({"me", "A", "a", "b", "c"}));
    QCOMPARE(name->text(), QString("Renamed"));
    QTRY_COMPARE(name->text(), QString("Lobby"));
}

void TestRoomSettingsWiring::refillsOncePerLoopTurn()
{
    Fixture f;
    RoomSettingsDialog *dialog = f.openFilled();
    const QList<PrefMemberEntry> before = dialog->prefList()->members();
    QCOMPARE(before.at(0).displayName, QString("\u2026"));
    const int requestsBefore = int(f.users.requested.size());
    // Names arriving within one turn give one refill, which shows all of them.
    f.users.arrive("b", "Bee");
    f.users.arrive("zz", "Zed");
    QCOMPARE(dialog->prefList()->members().at(0).displayName, QString("\u2026"));
    QTRY_COMPARE(dialog->prefList()->members().at(0).displayName, QString("Bee"));
    QCOMPARE(dialog->prefList()->members().at(1).displayName, QString("Zed"));
    // One refill asked once more for the two users still unknown (a and me), no more.
    QCOMPARE(f.users.requested.size(), requestsBefore + 2);

    // A change of another channel does not refill; one of the room's own channel does.
    f.channels.retain("c1");
    f.channels.retain("c2");
    f.room.snapshot(lobby(2).channel("c1"));
    QTest::qWait(0);
    QCoreApplication::processEvents();
    dialog->basePage()->nameField()->clearFocus();
    dialog->basePage()->nameField()->setText("typed");
    f.channels.applyBundle("c2", channelWithRole("me", {}));
    QTest::qWait(5);
    QCOMPARE(dialog->basePage()->nameField()->text(), QString("typed"));
    f.channels.applyBundle("c1", channelWithRole("me", {}));
    QTRY_COMPARE(dialog->basePage()->nameField()->text(), QString("Lobby"));
}

void TestRoomSettingsWiring::closesOnItsRoomHiddenOrExpiredAndReleasesTheRoom()
{
    Fixture f;
    QPointer<RoomSettingsDialog> dialog = f.openFilled();
    emit f.gateway.eventReceived("room.expired", {{"roomId", "r2"}}, 1);
    emit f.gateway.eventReceived("room.updated", {{"roomId", "r1"}}, 1);
    QVERIFY(dialog->isVisible());
    emit f.gateway.eventReceived("room.expired", {{"roomId", "r1"}}, 1);
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(!f.room.store.find("r1"));

    QPointer<RoomSettingsDialog> second = f.openFilled();
    emit f.gateway.eventReceived("room.hidden", {{"roomId", "r1"}}, 1);
    QTRY_VERIFY(second.isNull());

    // Closed by the user: released too.
    QPointer<RoomSettingsDialog> third = f.openFilled();
    third->close();
    QTRY_VERIFY(third.isNull());
    QVERIFY(!f.room.store.find("r1"));
}

void TestRoomSettingsWiring::tagSystemStateFollowsTheChatService()
{
    Fixture f;
    RoomSettingsDialog *dialog = f.openFilled();
    SegmentedControl *tags = dialog->basePage()->tagSystemControl();
    emit f.chat.tagsChanged("r2", true, {});
    const QString before = tags->value();
    emit f.chat.tagsChanged("r1", true, {});
    const QString on = tags->value();
    emit f.chat.tagsChanged("r1", false, {});
    QVERIFY(on != tags->value());
    emit f.chat.tagsChanged("r2", true, {});
    QCOMPARE(tags->value(), before);
}

KESTOVA_TEST_MAIN(TestRoomSettingsWiring)
#include "test_room_settings_wiring.moc"
