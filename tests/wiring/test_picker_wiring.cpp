#include "wiring/channel_panel_wiring.h"
#include "wiring/main_window_wiring.h"
#include "wiring/picker_wiring.h"
#include "wiring/room_settings_wiring.h"
#include "wiring_test_fixture.h"

#include "channel/channel_actions_service.h"
#include "channel/channel_entity_store.h"
#include "channel/channel_list_service.h"
#include "match/i_pref_storage.h"
#include "match/preference_service.h"
#include "realtime/fake_socket_client.h"
#include "realtime/gateway_service.h"
#include "room/room_chat_service.h"
#include "room/room_list_service.h"
#include "room/room_service_fixture.h"
#include "room/room_settings_service.h"
#include "support/test_main.h"
#include "ui/connect/config_window.h"
#include "ui/settings/channel_settings_dialog.h"
#include "ui/settings/pref_member_list_view.h"
#include "ui/settings/room_settings_dialog.h"
#include "ui/settings/user_picker_dialog.h"

#include "ui/settings/room_delete_view.h"
#include "ui/settings/room_member_pick_view.h"
#include <QSignalSpy>
#include <QJsonArray>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::RoomSnapshotBuilder;
using namespace wiringtest;

namespace {

class MemoryPrefStorage : public IPrefStorage
{
public:
    QList<PrefConfig> load() override { return stored; }
    void save(const QList<PrefConfig> &configs) override { stored = configs; }
    QList<PrefConfig> stored;
};

RoomSnapshotBuilder lobby()
{
    return RoomSnapshotBuilder("r1")
        .name("Lobby")
        .persistent(true)
        .present({"me", "c", "b", "x"})
        .role(2, "admin", 50, {"core.room.manage_pref"})
        .role(3, "member", 10, {})
        .memberRole("me", 2)
        .memberRole("c", 3)
        .memberRole("b", 3)
        .memberRole("x", 77) // a role the room does not have: level 0, "成员"
        .setting("prefMembers", QJsonArray{"b"});
}

QJsonObject channelRole(qint64 id, const QString &name, int level, const QStringList &permissions)
{
    return {{"roleId", id}, {"name", name}, {"level", level}, {"permissions", QJsonArray::fromStringList(permissions)}};
}

ChannelEntity channel(const QStringList &ownPermissions, int ownLevel = 10)
{
    QJsonObject json{{"channelId", "c1"},
                     {"name", "Guild"},
                     {"description", "about"},
                     {"code", "K123"},
                     {"codeEnabled", true},
                     {"defaultRoleId", 3},
                     {"members", QJsonArray{QJsonObject{{"userId", "zed"}, {"roleId", 3}},
                                            QJsonObject{{"userId", "me"}, {"roleId", 2}},
                                            QJsonObject{{"userId", "boss"}, {"roleId", -1}}}},
                     {"roles", QJsonArray{channelRole(3, "member", 1, {}), channelRole(-1, "owner", 100, {"*"}),
                                          channelRole(2, "mine", ownLevel, ownPermissions),
                                          channelRole(4, "peer", 10, {}), channelRole(5, "junior", 9, {"*"})}}};
    return ChannelEntity::fromJson(json);
}

struct Fixture
{
    WindowFixture ui;
    RoomServiceFixture room;
    RoomSettingsService settings{&room.http, &room.store, &room.feed};
    RoomChatService chat{&room.http, nullptr, &room.session};
    ChannelEntityStore channels;
    ChannelListService list{&room.http, &channels};
    ChannelActionsService actions{&room.http};
    RoomListService roomList{&room.http, &room.store};
    UserState user;
    ScriptedResolver users;
    FakeSocketClient socket;
    GatewayService gateway{&socket};
    MemoryPrefStorage prefStorage;
    std::unique_ptr<PreferenceService> prefs;

    Fixture()
    {
        signIn(user, "me", "Me");
        users.names.insert("c", {"Cee", "cee"});
        prefStorage.stored = {{"a", {"u1"}}, {"b", {"u2"}}};
        prefs = std::make_unique<PreferenceService>(&prefStorage);
        wiring::wireRoomSettings(&ui.window, &room.session, &room.store, &room.registry, &settings, &user, &users,
                                 &gateway, &channels, &chat);
        roomList.setUserIdProvider([this] { return user.userId(); });
        wiring::wirePrefConfigs(&ui.window, prefs.get(), &users, &room.session, &roomList, &user);
        wiring::wireChannelPanels(&ui.window, &list, &channels, &actions, &user, &users, nullptr, &room.store,
                                  &room.session, nullptr);
    }
    RoomSettingsDialog *openRoomDialog()
    {
        emit ui.myRoomPanel->roomSettingsRequested("r1");
        room.snapshot(lobby());
        QTest::qWait(0);
        room.clearCalls();
        return findDialog<RoomSettingsDialog>(&ui.window);
    }
    ChannelSettingsDialog *openChannelDialog()
    {
        emit ui.channelPanel->channelSettingsRequested("c1");
        return findDialog<ChannelSettingsDialog>(&ui.window);
    }
    static QStringList ids(const QList<PickEntry> &entries)
    {
        QStringList result;
        for (const PickEntry &entry : entries)
            result << entry.userId;
        return result;
    }
    static QPushButton *rowButton(UserPickerDialog *picker, int row)
    {
        QListWidget *list = picker->memberView()->listWidget();
        return list->itemWidget(list->item(row))->findChild<QPushButton *>();
    }
};

} // namespace

class TestPickerWiring : public QObject
{
    Q_OBJECT

private slots:
    void roomPickerListsTheMembersByRoleLevel();
    void roomPickerChangesThePreferenceGroupAndRedrawsAFailure();
    void roomPickerFromTheConnectionTabNeedsAnActiveRoom();
    void groupPickerActsOnTheSelectedGroup();
    void channelDialogFillsFromTheStore();
    void channelRolesEditableBelowTheOwnLevel();
    void channelRequestsWithTheirFailureTexts();
    void channelDialogRefreshesAndClosesWithTheChannel();
};

void TestPickerWiring::roomPickerListsTheMembersByRoleLevel()
{
    Fixture f;
    RoomSettingsDialog *dialog = f.openRoomDialog();
    emit dialog->prefMemberAddRequested();
    auto *picker = findDialog<UserPickerDialog>(dialog);
    QVERIFY(picker);
    QVERIFY(picker->isVisible());
    QCOMPARE(picker->windowTitle(), QString("添加成员 — 房间偏好组"));
    const QList<PickEntry> rows = picker->memberView()->members();
    QCOMPARE(Fixture::ids(rows), QStringList({"me", "b", "c", "x"}));
    QCOMPARE(rows.at(1).roleName, QString("member"));
    QVERIFY(rows.at(1).picked);
    QVERIFY(!rows.at(2).picked);
    QCOMPARE(rows.at(2).displayName, QString("Cee"));
    QCOMPARE(rows.at(3).roleName, QString("成员"));
}

void TestPickerWiring::roomPickerChangesThePreferenceGroupAndRedrawsAFailure()
{
    Fixture f;
    RoomSettingsDialog *dialog = f.openRoomDialog();
    emit dialog->prefMemberAddRequested();
    auto *picker = findDialog<UserPickerDialog>(dialog);
    QPushButton *addC = Fixture::rowButton(picker, 2);
    addC->click();
    QVERIFY(!addC->isEnabled());
    QCOMPARE(f.room.http.calls.size(), 1);
    QCOMPARE(f.room.http.calls.at(0).path, QString("/v1/rooms/r1/settings"));
    QCOMPARE(f.room.http.calls.at(0).body.value("pref").toArray(),
             QJsonArray({QJsonObject{{"userId", "b"}}, QJsonObject{{"userId", "c"}}}));
    f.room.http.reply(0, jsonReply(500, {}));
    QCOMPARE(playedMessages(f.ui.statusBar(), 1), QStringList{"设置保存失败，请稍后重试"});
    // The refill shows the stored state again: "c" can be added again.
    QTRY_VERIFY(Fixture::rowButton(picker, 2)->isEnabled());
    QCOMPARE(Fixture::rowButton(picker, 2)->text(), QString("添加"));

    emit picker->removeRequested("b");
    QCOMPARE(f.room.http.calls.last().body.value("pref").toArray(), QJsonArray());
}

void TestPickerWiring::roomPickerFromTheConnectionTabNeedsAnActiveRoom()
{
    Fixture f;
    emit f.ui.tab->openRoomPrefEditRequested();
    QVERIFY(!findDialog<UserPickerDialog>(&f.ui.window));
    f.room.activate("r1");
    f.room.snapshot(lobby());
    emit f.ui.tab->openRoomPrefEditRequested();
    auto *picker = findDialog<UserPickerDialog>(&f.ui.window);
    QVERIFY(picker);
    QCOMPARE(picker->parentWidget(), &f.ui.window);
    QCOMPARE(picker->memberView()->members().size(), 4);
}

void TestPickerWiring::groupPickerActsOnTheSelectedGroup()
{
    Fixture f;
    // The user is in "r1" and has a second room "r2" with someone else present.
    f.room.activate("r1");
    f.room.snapshot(lobby());
    f.room.store.retain("r2");
    f.room.snapshot(RoomSnapshotBuilder("r2").name("Den").present({"me", "d", "c"}));
    f.roomList.bootstrap();
    f.room.http.answer("/v1/rooms/mine", 0, jsonReply(200, {{"rooms", QJsonArray{"r1", "r2"}}}));

    emit f.ui.tab->openPrefEditRequested(0);
    auto *editor = findDialog<ConfigWindow>(&f.ui.window);
    emit editor->findChild<PrefMemberListView *>()->addRequested();
    auto *picker = findDialog<UserPickerDialog>(editor);
    QVERIFY(picker);
    QCOMPARE(picker->windowTitle(), QString("添加成员 — 偏好组"));
    // The active room's members by role level, then the other rooms' people; never the
    // user themself.
    QCOMPARE(Fixture::ids(picker->memberView()->members()), QStringList({"b", "c", "x", "d"}));
    QCOMPARE(picker->memberView()->members().at(1).displayName, QString("Cee"));
    QCOMPARE(picker->memberView()->members().at(3).roleName, QString("Den"));

    // Adding through the dialog's row puts the user into the selected group, and the
    // row shows it once the picker is refilled.
    QPushButton *add = Fixture::rowButton(picker, 1);
    QVERIFY(add && add->isEnabled());
    add->click();
    QCOMPARE(f.prefs->configs().at(0).memberIds, QStringList({"u1", "c"}));
    QTRY_VERIFY(picker->memberView()->members().at(1).picked);

    // Another group selected: the requests follow it.
    editor->setCurrentIndex(1);
    QTRY_VERIFY(!picker->memberView()->members().at(1).picked);
    Fixture::rowButton(picker, 3)->click();
    emit picker->removeRequested("u2");
    QCOMPARE(f.prefs->configs().at(1).memberIds, QStringList({"d"}));
}

void TestPickerWiring::channelDialogFillsFromTheStore()
{
    Fixture f;
    // Not held yet: the dialog stays as constructed until the channel arrives.
    ChannelSettingsDialog *dialog = f.openChannelDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->basePage()->values().name, QString());
    f.channels.retain("c1");
    f.channels.applyBundle("c1", channel({"core.channel.change_name", "core.channel.delete_channel"}));
    QTRY_COMPARE(dialog->basePage()->values().name, QString("Guild"));
    QCOMPARE(dialog->basePage()->values().code, QString("K123"));
    QVERIFY(dialog->basePage()->nameField()->isEnabled());
    QVERIFY(!dialog->basePage()->descriptionField()->isEnabled());
    QVERIFY(dialog->deletePage()->confirmButton()->isEnabled());
}

void TestPickerWiring::channelRolesEditableBelowTheOwnLevel()
{
    Fixture f;
    const ChannelEntity entity = channel({"core.channel.manage_roles"}, 10);
    const QList<RoleEntry> roles = wiring::channelSettingsRoles(entity, "me");
    QList<qint64> ids;
    QList<qint64> editable;
    for (const RoleEntry &role : roles) {
        ids << role.id;
        if (role.editable)
            editable << role.id;
        QCOMPARE(role.isMine, role.id == 2);
        QCOMPARE(role.isOwnerRole, role.id == -1);
        QCOMPARE(role.isDefault, role.id == 3);
    }
    QCOMPARE(ids.first(), qint64(-1));
    QCOMPARE(ids.mid(3), QList<qint64>({5, 3}));
    QCOMPARE(editable, QList<qint64>({5, 3})); // level 9 and 1; the peer of level 10 is not
    QCOMPARE(roles.at(0).permKeys.size(), 13); // "*" shown as every key
    QCOMPARE(roles.at(0).permKeys.first(), QString("core.channel.remove_members"));
    QCOMPARE(roles.last().memberCount, 1);

    // Without the key, or without a role, nothing is editable.
    for (const RoleEntry &role : wiring::channelSettingsRoles(channel({}, 10), "me"))
        QVERIFY(!role.editable);
    for (const RoleEntry &role : wiring::channelSettingsRoles(entity, "stranger"))
        QVERIFY(!role.editable && !role.isMine);

    // Members keep the channel's order; an unknown name shows the id and is fetched.
    f.users.names.insert("boss", {"Boss", "bossy"});
    const QList<MemberEntry> members = wiring::channelSettingsMembers(entity, &f.users);
    QCOMPARE(members.size(), 3);
    QCOMPARE(members.at(0).userId, QString("zed"));
    QCOMPARE(members.at(0).displayName, QString("zed"));
    QVERIFY(f.users.requested.contains("zed"));
    QCOMPARE(members.at(2).displayName, QString("Boss"));
    QCOMPARE(members.at(2).username, QString("bossy"));
    QVERIFY(members.at(2).isOwner);
}

void TestPickerWiring::channelRequestsWithTheirFailureTexts()
{
    Fixture f;
    f.channels.retain("c1");
    f.channels.applyBundle("c1", channel({"*"}));
    ChannelSettingsDialog *dialog = f.openChannelDialog();
    f.room.clearCalls();
    FakeHttpClient &http = f.room.http;
    struct Expected
    {
        const char *label;
        std::function<void()> trigger;
        QString path;
        QString fixedText;
    };
    const QList<Expected> cases = {
        {"settings",
         [&] {
             emit dialog->settingsSaved({{"description", "new"}});
         },
         "/v1/channels/c1", "频道设置保存失败"},
        {"code", [&] { emit dialog->codeToggleRequested(false); }, "/v1/channels/c1", "频道码操作失败"},
        {"member role", [&] { emit dialog->memberRoleChanged("zed", 4); }, "/v1/channels/c1/members/zed/role",
         "身份分配失败"},
        {"batch", [&] { emit dialog->memberRoleBatchReassignRequested(3, 4); }, "/v1/channels/c1/roles/3/reassign",
         "批量改派失败"},
        {"create role", [&] { emit dialog->roleCreateRequested("new"); }, "/v1/channels/c1/roles", "创建身份失败"},
        {"rename", [&] { emit dialog->roleRenameRequested(5, "kid"); }, "/v1/channels/c1/roles/5", "重命名身份失败"},
        {"permissions", [&] { emit dialog->rolePermissionsSaved(4, {"core.channel.manage_code"}); },
         "/v1/channels/c1/roles/4", "保存权限失败"},
        {"delete role", [&] { emit dialog->roleDeleteRequested(4); }, "/v1/channels/c1/roles/4", "删除身份失败"},
        {"reorder",
         [&] {
             emit dialog->rolesReordered({2, 4, 3});
         },
         "/v1/channels/c1/role-order", "身份排序失败"},
        {"dissolve", [&] { emit dialog->channelDeleteRequested(); }, "/v1/channels/c1", "删除频道失败"},
    };
    // What the bar plays, however briefly a starved machine lets each message stand.
    QSignalSpy shown(f.ui.statusBar(), &MainStatusBar::transientMessageShown);
    for (const Expected &expected : cases) {
        const qsizetype before = http.calls.size();
        expected.trigger();
        QVERIFY2(http.calls.size() == before + 1, expected.label);
        QCOMPARE(http.calls.last().path, expected.path);
        http.reply(before, jsonReply(500, {}));
        // The bar keeps only a handful waiting: each failure is seen before the next, after the
        // one before it has had its few seconds on the bar.
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty() && shown.last().at(0).toString() == expected.fixedText, 20000);
    }
    // Only the key given travels; "*" is sent back unexpanded; the order is reversed.
    QVERIFY(!http.calls.at(0).body.contains("name"));
    QCOMPARE(http.calls.at(5).body.value("permissions").toArray(), QJsonArray{"*"});
    QCOMPARE(http.calls.at(6).body.value("name").toString(), QString("peer"));
    QCOMPARE(http.calls.at(8).body.value("roleIds").toArray(), QJsonArray({3, 4, 2}));
}

void TestPickerWiring::channelDialogRefreshesAndClosesWithTheChannel()
{
    Fixture f;
    f.channels.retain("c1");
    f.channels.applyBundle("c1", channel({}));
    QPointer<ChannelSettingsDialog> dialog = f.openChannelDialog();
    QCOMPARE(dialog->basePage()->values().name, QString("Guild"));
    ChannelEntity renamed = channel({});
    renamed.name = "Renamed";
    f.channels.applyBundle("c1", renamed);
    QCOMPARE(dialog->basePage()->values().name, QString("Guild")); // on the next turn
    QTRY_COMPARE(dialog->basePage()->values().name, QString("Renamed"));

    emit f.list.membershipLost("c2", "removed");
    QVERIFY(dialog->isVisible());
    emit f.list.membershipLost("c1", "banned");
    QTRY_VERIFY(dialog.isNull());
}

KESTOVA_TEST_MAIN(TestPickerWiring)
#include "test_picker_wiring.moc"
