#include "room/room_entity.h"
#include "support/test_main.h"

namespace {

// Roles: 0 "guest" (speak, only when asked for), 1 "member" (speak), 2 "mod" (speak,
// kick), 3 "listener" (nothing). Members: u1 member, u2 and u7 mod, u3 an unknown role
// id, u6 listener, u4 and u5 no entry. Overrides: u2 denied kick, u5 granted kick,
// u6 granted speak, u7 denied speak. Voice-muted: u1, u6.
RoomEntity permissionRoom(bool withGuestRole)
{
    RoomEntity room;
    room.roomId = "r1";
    RoomPublicState &p = room.publicState;
    if (withGuestRole)
        p.roles.append({0, "guest", 0, {"core.room.speak"}, false});
    p.roles.append({1, "member", 10, {"core.room.speak"}, true});
    p.roles.append({2, "mod", 20, {"core.room.speak", "core.room.kick_members"}, false});
    p.roles.append({3, "listener", 1, {}, false});
    p.roles.append({2, "shadow", 99, {"core.room.everything"}, false}); // a repeated id: the first wins
    p.memberRoles = {{"u1", 1}, {"u2", 2}, {"u3", 5}, {"u6", 3}, {"u7", 2}};
    p.overrides.insert("u2", {{"core.room.kick_members", false}});
    p.overrides.insert("u5", {{"core.room.kick_members", true}});
    p.overrides.insert("u6", {{"core.room.speak", true}});
    p.overrides.insert("u7", {{"core.room.speak", false}});
    p.voiceMuted = {"u1", "u6"};
    return room;
}

} // namespace

class RoomPermissionsTest : public QObject
{
    Q_OBJECT

private slots:
    void userHasPermission_data()
    {
        QTest::addColumn<bool>("guestRole");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("cascade");
        QTest::addColumn<bool>("expected");
        QTest::newRow("role grants") << false << "u1"
                                     << "core.room.speak" << false << true;
        QTest::newRow("role lacks") << false << "u1"
                                    << "core.room.kick_members" << false << false;
        QTest::newRow("mod kicks") << false << "u7"
                                   << "core.room.kick_members" << false << true;
        QTest::newRow("override denies over role") << false << "u2"
                                                   << "core.room.kick_members" << false << false;
        QTest::newRow("override of another key") << false << "u2"
                                                 << "core.room.speak" << false << true;
        QTest::newRow("override grants without role") << false << "u5"
                                                      << "core.room.kick_members" << false << true;
        QTest::newRow("role id not in list") << false << "u3"
                                             << "core.room.speak" << false << false;
        QTest::newRow("no entry, no role 0") << false << "u4"
                                             << "core.room.speak" << false << false;
        QTest::newRow("no entry, role 0") << true << "u4"
                                          << "core.room.speak" << false << true;
        QTest::newRow("first role of an id") << false << "u7"
                                             << "core.room.everything" << false << false;
        QTest::newRow("key case") << false << "u1"
                                  << "Core.Room.Speak" << false << false;
        QTest::newRow("no wildcard") << false << "u2"
                                     << "core.room.*" << false << false;
        QTest::newRow("cascade") << false << "stranger"
                                 << "core.room.kick_members" << true << true;
        QTest::newRow("cascade beats override") << false << "u2"
                                                << "core.room.kick_members" << true << true;
        QTest::newRow("cascade, empty key") << false << "u1"
                                            << "" << true << false;
        QTest::newRow("cascade, empty user") << false << ""
                                             << "core.room.speak" << true << false;
        QTest::newRow("empty user") << true << ""
                                    << "core.room.speak" << false << false;
    }

    void userHasPermission()
    {
        QFETCH(bool, guestRole);
        QFETCH(QString, user);
        QFETCH(QString, key);
        QFETCH(bool, cascade);
        QFETCH(bool, expected);
        QCOMPARE(permissionRoom(guestRole).userHasPermission(user, key, cascade), expected);
    }

    void isSpeechBlocked_data()
    {
        QTest::addColumn<bool>("guestRole");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("blocked");
        QTest::newRow("muted although the role speaks") << false << "u1" << true;
        QTest::newRow("mod speaks") << false << "u2" << false;
        QTest::newRow("unknown role id") << false << "u3" << true;
        QTest::newRow("no entry, no role 0") << false << "u4" << true;
        QTest::newRow("no entry, role 0 speaks") << true << "u4" << false;
        QTest::newRow("override grants, role lacks") << false << "u8-override" << false;
        QTest::newRow("override grants but muted") << false << "u6" << true;
        QTest::newRow("override denies") << false << "u7" << true;
        QTest::newRow("empty user") << true << "" << true;
    }

    void isSpeechBlocked()
    {
        QFETCH(bool, guestRole);
        QFETCH(QString, user);
        QFETCH(bool, blocked);
        RoomEntity room = permissionRoom(guestRole);
        if (user == "u8-override") {
            room.publicState.memberRoles.insert(user, 3);
            room.publicState.overrides.insert(user, {{"core.room.speak", true}});
        }
        QCOMPARE(room.isSpeechBlocked(user), blocked);
    }
};

KESTOVA_TEST_MAIN(RoomPermissionsTest)
#include "test_room_permissions.moc"
