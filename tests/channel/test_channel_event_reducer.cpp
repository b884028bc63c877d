#include "channel/channel_entity.h"
#include "channel_test_support.h"
#include "support/test_main.h"

using channeltest::json;

namespace {

// The base snapshot with the overrides' top-level keys replaced.
ChannelEntity expectedRecord(const QJsonObject &overrides)
{
    QJsonObject snapshot = channeltest::baseSnapshot();
    for (auto it = overrides.constBegin(); it != overrides.constEnd(); ++it)
        snapshot.insert(it.key(), it.value());
    return ChannelEntity::fromJson(snapshot);
}

} // namespace

// Every channel event applied to one known record: the whole record afterwards is
// compared, so an event that touches more than its rule says fails too.
class ChannelEventReducerTest : public QObject
{
    Q_OBJECT

private slots:
    void reducer_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("payload");
        QTest::addColumn<bool>("reportsChange");
        QTest::addColumn<QString>("overrides"); // what differs from the base snapshot afterwards

        QTest::newRow("default role") << "channel.default_role.changed"
                                      << R"({"roleId": 3})" << true << R"({"defaultRoleId": 3})";
        QTest::newRow("default role unchanged still reports") << "channel.default_role.changed"
                                                              << R"({"roleId": 2})" << true << "{}";
        QTest::newRow("deleted") << "channel.deleted"
                                 << "{}" << false << "{}";
        QTest::newRow("banned member") << "channel.member.banned"
                                       << R"({"userId": "u2", "byUserId": "u1"})" << true
                                       << R"({"members": [{"userId": "u1", "roleId": -1, "joinedAt": 1},
                                                          {"userId": "u3", "roleId": 3, "joinedAt": 3}],
                                              "bans": [{"userId": "u2", "bannedBy": "u1"},
                                                       {"userId": "b1", "bannedBy": "u1", "reason": "spam", "bannedAt": 9}]})";
        QTest::newRow("banned non-member")
            << "channel.member.banned"
            << R"({"userId": "x", "byUserId": "u3"})" << true << R"({"bans": [{"userId": "x", "bannedBy": "u3"},
                                                  {"userId": "b1", "bannedBy": "u1", "reason": "spam", "bannedAt": 9}]})";
        QTest::newRow("joined") << "channel.member.joined"
                                << R"({"userId": "u4", "roleId": 2, "joinedAt": 40})" << true
                                << R"({"members": [{"userId": "u1", "roleId": -1, "joinedAt": 1},
                                                   {"userId": "u2", "roleId": 2, "joinedAt": 2},
                                                   {"userId": "u3", "roleId": 3, "joinedAt": 3},
                                                   {"userId": "u4", "roleId": 2, "joinedAt": 40}]})";
        QTest::newRow("joined again") << "channel.member.joined"
                                      << R"({"userId": "u2", "roleId": 3, "joinedAt": 40})" << false << "{}";
        QTest::newRow("left") << "channel.member.left"
                              << R"({"userId": "u1"})" << true
                              << R"({"members": [{"userId": "u2", "roleId": 2, "joinedAt": 2},
                                                 {"userId": "u3", "roleId": 3, "joinedAt": 3}]})";
        QTest::newRow("left, not a member") << "channel.member.left"
                                            << R"({"userId": "x"})" << false << "{}";
        QTest::newRow("removed") << "channel.member.removed"
                                 << R"({"userId": "u3", "byUserId": "u1"})" << true
                                 << R"({"members": [{"userId": "u1", "roleId": -1, "joinedAt": 1},
                                                    {"userId": "u2", "roleId": 2, "joinedAt": 2}]})";
        QTest::newRow("removed, letter case") << "channel.member.removed"
                                              << R"({"userId": "U3"})" << false << "{}";
        QTest::newRow("role changed") << "channel.member.role_changed"
                                      << R"({"userId": "u2", "roleId": 3})" << true
                                      << R"({"members": [{"userId": "u1", "roleId": -1, "joinedAt": 1},
                                                         {"userId": "u2", "roleId": 3, "joinedAt": 2},
                                                         {"userId": "u3", "roleId": 3, "joinedAt": 3}]})";
        QTest::newRow("role changed, not a member") << "channel.member.role_changed"
                                                    << R"({"userId": "x", "roleId": 3})" << false << "{}";
        QTest::newRow("unbanned") << "channel.member.unbanned"
                                  << R"({"userId": "b1"})" << true << R"({"bans": []})";
        QTest::newRow("unbanned, not banned") << "channel.member.unbanned"
                                              << R"({"userId": "u1"})" << false << "{}";
        QTest::newRow("reassigned") << "channel.members.role_reassigned"
                                    << R"({"fromRoleId": 3, "toRoleId": "2"})" << true
                                    << R"({"members": [{"userId": "u1", "roleId": -1, "joinedAt": 1},
                                                       {"userId": "u2", "roleId": 2, "joinedAt": 2},
                                                       {"userId": "u3", "roleId": 2, "joinedAt": 3}]})";
        QTest::newRow("reassigned, no holder") << "channel.members.role_reassigned"
                                               << R"({"fromRoleId": 99, "toRoleId": 2})" << false << "{}";
        QTest::newRow("owner transferred") << "channel.owner.transferred"
                                           << R"({"fromUserId": "u1", "toUserId": "u3"})" << true
                                           << R"({"members": [{"userId": "u1", "roleId": 2, "joinedAt": 1},
                                                              {"userId": "u2", "roleId": 2, "joinedAt": 2},
                                                              {"userId": "u3", "roleId": -1, "joinedAt": 3}]})";
        QTest::newRow("owner transferred, strangers") << "channel.owner.transferred"
                                                      << R"({"fromUserId": "x", "toUserId": "y"})" << false << "{}";
        QTest::newRow("restored") << "channel.restored"
                                  << "{}" << false << "{}";
        QTest::newRow("role created")
            << "channel.role.created"
            << R"({"roles": [{"roleId": 2, "name": "member"}, {"roleId": 4, "name": "new"}]})" << true
            << R"({"roles": [{"roleId": 2, "name": "member"}, {"roleId": 4, "name": "new"}]})";
        QTest::newRow("role deleted, members keep ids")
            << "channel.role.deleted"
            << R"({"deletedRoleId": 3, "roles": [{"roleId": 2}]})" << true << R"({"roles": [{"roleId": 2}]})";
        QTest::newRow("role deleted, empty list")
            << "channel.role.deleted"
            << R"({"deletedRoleId": 3, "roles": []})" << true << R"({"roles": []})";
        QTest::newRow("role updated") << "channel.role.updated"
                                      << R"({"role": {"roleId": 3, "name": "guard", "level": 6, "permissions": ["*"]}})"
                                      << true
                                      << R"({"roles": [{"roleId": 2, "name": "member", "level": 1, "permissions": []},
                                                       {"roleId": 3, "name": "guard", "level": 6, "permissions": ["*"]}]})";
        QTest::newRow("role updated, unknown role") << "channel.role.updated"
                                                    << R"({"role": {"roleId": 99, "name": "ghost"}})" << false << "{}";
        QTest::newRow("roles reordered")
            << "channel.roles.reordered"
            << R"({"roles": [{"roleId": 3, "name": "mod"}, {"roleId": 2, "name": "member"}]})" << true
            << R"({"roles": [{"roleId": 3, "name": "mod"}, {"roleId": 2, "name": "member"}]})";
        QTest::newRow("room created") << "channel.room.created"
                                      << R"({"roomId": "r3"})" << true << R"({"roomIds": ["r1", "r2", "r3"]})";
        QTest::newRow("room created, present") << "channel.room.created"
                                               << R"({"roomId": "r1"})" << false << "{}";
        QTest::newRow("room deleted") << "channel.room.deleted"
                                      << R"({"roomId": "r1"})" << true << R"({"roomIds": ["r2"]})";
        QTest::newRow("room deleted, absent") << "channel.room.deleted"
                                              << R"({"roomId": "R1"})" << false << "{}";
        QTest::newRow("rooms reordered") << "channel.rooms.reordered"
                                         << R"({"roomIds": ["r2", "r1", "r9"]})" << true
                                         << R"({"roomIds": ["r2", "r1", "r9"]})";
        QTest::newRow("updated without description") << "channel.updated"
                                                     << R"({"name": "Aula", "code": "K2", "codeEnabled": false})"
                                                     << true << R"({"name": "Aula", "description": "", "code": "K2",
                                                            "codeEnabled": false})";
        QTest::newRow("updated with description") << "channel.updated"
                                                  << R"({"name": "Aula", "description": "new", "code": "K1",
                                                         "codeEnabled": true})"
                                                  << true << R"({"name": "Aula", "description": "new"})";
    }

    void reducer()
    {
        QFETCH(QString, name);
        QFETCH(QString, payload);
        QFETCH(bool, reportsChange);
        QFETCH(QString, overrides);

        QJsonObject payloadObject = json(payload.toUtf8().constData());
        payloadObject.insert("channelId", "c1");
        const std::optional<ChannelEventPayload> event = channeltest::parseEvent(name, payloadObject);
        QVERIFY(event);

        ChannelEntity channel = ChannelEntity::fromJson(channeltest::baseSnapshot());
        QCOMPARE(channel.applyEvent(*event), reportsChange);
        QCOMPARE(channel, expectedRecord(json(overrides.toUtf8().constData())));
    }

    void ownerTransferWithoutDefaultRole()
    {
        QJsonObject snapshot = channeltest::baseSnapshot();
        snapshot.insert("defaultRoleId", 0);
        ChannelEntity channel = ChannelEntity::fromJson(snapshot);
        const auto event =
            channeltest::parseEvent("channel.owner.transferred",
                                    json(R"({"channelId": "c1", "fromUserId": "u1", "toUserId": "u2"})"));
        QVERIFY(event);
        QVERIFY(channel.applyEvent(*event));
        QCOMPARE(channel.members.at(0).roleId, qint64(-1)); // the former owner keeps the id it had
        QCOMPARE(channel.members.at(1).roleId, qint64(-1));

        // Only the former owner is a member: still a change, though nothing moved.
        const auto away =
            channeltest::parseEvent("channel.owner.transferred",
                                    json(R"({"channelId": "c1", "fromUserId": "u3", "toUserId": "gone"})"));
        QVERIFY(channel.applyEvent(*away));
        QCOMPARE(channel.members.at(2).roleId, qint64(3));
    }

    void roomDeletedRemovesEveryOccurrence()
    {
        ChannelEntity channel = ChannelEntity::fromJson(channeltest::baseSnapshot());
        channel.roomIds = QStringList{"r1", "r2", "r1"};
        const auto event =
            channeltest::parseEvent("channel.room.deleted", json(R"({"channelId": "c1", "roomId": "r1"})"));
        QVERIFY(event);
        QVERIFY(channel.applyEvent(*event));
        QCOMPARE(channel.roomIds, QStringList{"r2"});
    }

    void memberRulesUseTheFirstMatch()
    {
        ChannelEntity channel = ChannelEntity::fromJson(channeltest::baseSnapshot());
        channel.members.append(ChannelMember{"u2", 7, 50});
        channel.bans.append(ChannelBan{"b1", "u9", "again", 10});
        const auto left =
            channeltest::parseEvent("channel.member.left", json(R"({"channelId": "c1", "userId": "u2"})"));
        QVERIFY(channel.applyEvent(*left));
        QCOMPARE(channel.members.size(), 3);
        QCOMPARE(channel.members.at(2), (ChannelMember{"u2", 7, 50}));
        const auto unbanned =
            channeltest::parseEvent("channel.member.unbanned", json(R"({"channelId": "c1", "userId": "b1"})"));
        QVERIFY(channel.applyEvent(*unbanned));
        QCOMPARE(channel.bans, (QList<ChannelBan>{{"b1", "u9", "again", 10}}));
    }
};

KESTOVA_TEST_MAIN(ChannelEventReducerTest)
#include "test_channel_event_reducer.moc"
