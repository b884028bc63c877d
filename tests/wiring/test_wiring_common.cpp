#include "wiring/wiring_common.h"

#include "channel/channel_entity.h"
#include "channel/channel_entity_store.h"
#include "room/room_entity.h"
#include "room/room_entity_store.h"
#include "ui/main/main_status_bar.h"
#include "user/abstract_user_resolver.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

namespace {

// A resolver with a fixed cache that answers a request for a known user at once, as
// the real directory does, and counts every request.
class ScriptedResolver : public AbstractUserResolver
{
public:
    QHash<QString, QPair<QString, QString>> names; // id -> (nickname, username)
    QStringList requested;

    void request(const QString &userId) override
    {
        requested << userId;
        if (names.contains(userId))
            emit userInfoReady(userId, names.value(userId).first);
    }
    void requestMany(const QStringList &userIds) override
    {
        for (const QString &id : userIds)
            request(id);
    }
    QString nickname(const QString &userId) const override { return names.value(userId).first; }
    QString username(const QString &userId) const override { return names.value(userId).second; }
};

RoomAclRole role(qint64 id, int level, QSet<QString> permissions)
{
    RoomAclRole r;
    r.roleId = id;
    r.level = level;
    r.permissions = std::move(permissions);
    return r;
}

} // namespace

class TestWiringCommon : public QObject
{
    Q_OBJECT

private slots:
    void displayNameUsesTheCacheAndFetchesOnlyTheUnknown_data();
    void displayNameUsesTheCacheAndFetchesOnlyTheUnknown();
    void displayNameSlotDoesNotRecurse();
    void permissionTest_data();
    void permissionTest();
    void permissionNeedsARoomAndAUser();
    void failureMessageFallsBackToTheFixedText();
};

void TestWiringCommon::displayNameUsesTheCacheAndFetchesOnlyTheUnknown_data()
{
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<QString>("username");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("fetched");
    QTest::newRow("nickname wins") << "Nick"
                                   << "user"
                                   << "Nick" << false;
    QTest::newRow("username when no nickname") << ""
                                               << "user"
                                               << "user" << false;
    QTest::newRow("unknown user") << ""
                                  << ""
                                  << "\u2026" << true;
}

void TestWiringCommon::displayNameUsesTheCacheAndFetchesOnlyTheUnknown()
{
    QFETCH(QString, nickname);
    QFETCH(QString, username);
    QFETCH(QString, shown);
    QFETCH(bool, fetched);
    ScriptedResolver resolver;
    if (!nickname.isEmpty() || !username.isEmpty())
        resolver.names.insert("u1", {nickname, username});
    QCOMPARE(wiring::displayNameFor(&resolver, "u1"), shown);
    QCOMPARE(resolver.requested, fetched ? QStringList{"u1"} : QStringList{});
}

void TestWiringCommon::displayNameSlotDoesNotRecurse()
{
    // A label refreshed from userInfoReady asks for the name again; once the user is
    // known that must not start another request, or the slot would loop.
    ScriptedResolver resolver;
    QLabel label;
    int refreshes = 0;
    QObject::connect(&resolver, &AbstractUserResolver::userInfoReady, &label, [&](const QString &id) {
        ++refreshes;
        QVERIFY(refreshes < 5);
        label.setText(wiring::displayNameFor(&resolver, id));
    });
    QCOMPARE(wiring::displayNameFor(&resolver, "u2"), QString("\u2026"));
    resolver.names.insert("u2", {"Two", "two"});
    emit resolver.userInfoReady("u2", "Two");
    QCOMPARE(label.text(), QString("Two"));
    QCOMPARE(refreshes, 1);
    QCOMPARE(resolver.requested, QStringList{"u2"});
}

void TestWiringCommon::permissionTest_data()
{
    QTest::addColumn<QString>("channelRolePermission"); // empty: the actor is no channel member
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("expected");

    // Room roles: admin (level 50, kick), member (level 10, speak); me = admin.
    QTest::newRow("role grants") << ""
                                 << "core.room.kick_members"
                                 << "" << true;
    QTest::newRow("role lacks key") << ""
                                    << "core.room.delete_room"
                                    << "" << false;
    QTest::newRow("override revokes") << ""
                                      << "core.room.speak"
                                      << "" << false;
    QTest::newRow("level above member") << ""
                                        << "core.room.kick_members"
                                        << "member" << true;
    QTest::newRow("level equal") << ""
                                 << "core.room.kick_members"
                                 << "peer" << false;
    QTest::newRow("level below") << ""
                                 << "core.room.kick_members"
                                 << "boss" << false;
    QTest::newRow("target without role") << ""
                                         << "core.room.kick_members"
                                         << "stranger" << true;
    QTest::newRow("target role unknown") << ""
                                         << "core.room.kick_members"
                                         << "ghost" << true;
    QTest::newRow("cascade by key") << "core.channel.cascade_rooms"
                                    << "core.room.delete_room"
                                    << "" << true;
    QTest::newRow("cascade by star skips level") << "*"
                                                 << "core.room.kick_members"
                                                 << "boss" << true;
    QTest::newRow("channel role without cascade") << "core.channel.manage"
                                                  << "core.room.delete_room"
                                                  << "" << false;
}

void TestWiringCommon::permissionTest()
{
    QFETCH(QString, channelRolePermission);
    QFETCH(QString, key);
    QFETCH(QString, target);
    QFETCH(bool, expected);

    RoomEntityStore rooms;
    RoomEntity *room = rooms.retain("r1");
    room->publicState.channelId = "c1";
    room->publicState.roles = {role(1, 50, {"core.room.kick_members", "core.room.speak"}),
                               role(2, 10, {"core.room.speak"}), role(3, 90, {})};
    room->publicState.memberRoles = {{"me", 1}, {"member", 2}, {"peer", 1}, {"boss", 3}, {"ghost", 77}};
    room->publicState.overrides["me"]["core.room.speak"] = false;

    ChannelEntityStore channels;
    if (!channelRolePermission.isEmpty()) {
        channels.retain("c1");
        ChannelEntity channel;
        channel.channelId = "c1";
        channel.valid = true;
        ChannelRole channelRole;
        channelRole.roleId = 5;
        channelRole.permissions = {channelRolePermission};
        channel.roles = {channelRole};
        channel.members = {ChannelMember{"me", 5, 0}};
        channels.applyBundle("c1", channel);
    }

    UserState user;
    user.applyProfile(UserProfile{"me", "me", "Me", {}, {}});
    const wiring::PermissionContext context{nullptr, &rooms, &channels, &user};
    QCOMPARE(wiring::roomPermission(context, "r1", key, target), expected);
}

void TestWiringCommon::permissionNeedsARoomAndAUser()
{
    RoomEntityStore rooms;
    RoomEntity *room = rooms.retain("r1");
    room->publicState.roles = {role(1, 50, {"core.room.speak"})};
    room->publicState.memberRoles = {{"me", 1}};
    UserState user;
    const wiring::PermissionContext noUser{nullptr, &rooms, nullptr, &user};
    QVERIFY(!wiring::roomPermission(noUser, "r1", "core.room.speak"));

    user.applyProfile(UserProfile{"me", "me", "Me", {}, {}});
    const wiring::PermissionContext context{nullptr, &rooms, nullptr, &user};
    QVERIFY(wiring::roomPermission(context, "r1", "core.room.speak"));
    QVERIFY(!wiring::roomPermission(context, "nowhere", "core.room.speak"));
    // No active room session given: the active room is "no room".
    QVERIFY(!wiring::roomPermission(context, QString(), "core.room.speak"));
}

void TestWiringCommon::failureMessageFallsBackToTheFixedText()
{
    MainStatusBar bar;
    // Each message stays long enough to be seen however late a loaded machine polls.
    bar.setTimings(1, 1500, 1);
    wiring::showFailure(&bar, QString(), QStringLiteral("fixed"));
    QTRY_COMPARE(bar.currentMessage(), QString("fixed"));
    wiring::showFailure(&bar, QStringLiteral("from server"), QStringLiteral("fixed"));
    QTRY_COMPARE(bar.currentMessage(), QString("from server"));
}

QTEST_MAIN(TestWiringCommon)
#include "test_wiring_common.moc"
