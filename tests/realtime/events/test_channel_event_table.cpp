#include "parse_record.h"
#include "realtime/events/channel_event_table.h"
#include "support/test_json.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using testsupport::json;

namespace {

// The catalogue as the gateway defines it, in row order.
const char *const kExpectedNames[] = {
    "channel.default_role.changed",
    "channel.deleted",
    "channel.member.banned",
    "channel.member.joined",
    "channel.member.left",
    "channel.member.removed",
    "channel.member.role_changed",
    "channel.member.unbanned",
    "channel.members.role_reassigned",
    "channel.owner.transferred",
    "channel.restored",
    "channel.role.created",
    "channel.role.deleted",
    "channel.role.updated",
    "channel.roles.reordered",
    "channel.room.created",
    "channel.room.deleted",
    "channel.rooms.reordered",
    "channel.updated",
};
static_assert(std::size(kExpectedNames) == 19);

int findRow(const QString &name)
{
    for (std::size_t row = 0; row < channelEventTable.size(); ++row) {
        if (name == QLatin1StringView(channelEventTable[row].name))
            return int(row);
    }
    return -1;
}

std::optional<ChannelEventPayload> parseByName(const QString &name, const QJsonObject &payload)
{
    const int row = findRow(name);
    if (row < 0)
        return std::nullopt;
    return channelEventTable[std::size_t(row)].parse(payload);
}

ChannelRole role(qint64 roleId, const QString &name, int level, const QStringList &permissions)
{
    return ChannelRole{.roleId = roleId, .name = name, .level = level, .permissions = permissions};
}

} // namespace

class ChannelEventTableTest : public QObject
{
    Q_OBJECT

private slots:
    void everyNameFindsItsOwnRowAndAlternative_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(kExpectedNames)); ++row)
            QTest::newRow(kExpectedNames[row]) << row;
    }

    void everyNameFindsItsOwnRowAndAlternative()
    {
        QFETCH(int, row);
        QCOMPARE(channelEventTable.size(), std::size(kExpectedNames));
        QCOMPARE(findRow(QLatin1StringView(kExpectedNames[row])), row);

        const std::optional<ChannelEventPayload> payload =
            channelEventTable[std::size_t(row)].parse(QJsonObject{{"channelId", "ch-1"}});
        QVERIFY(payload);
        QCOMPARE(int(payload->index()), row);
        // Every alternative starts with the channel id, so one visit finds it.
        QCOMPARE(std::visit([](const auto &record) { return record.channelId; }, *payload), QString("ch-1"));
    }

    void channelIdMustBeANonEmptyString_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QJsonObject>("payload");
        const std::pair<const char *, QJsonObject> badPayloads[] = {
            {"empty payload", QJsonObject()},
            {"missing", QJsonObject{{"roomId", "r1"}, {"userId", "u1"}}},
            {"empty", QJsonObject{{"channelId", ""}}},
            {"number", QJsonObject{{"channelId", 42}}},
            {"null", QJsonObject{{"channelId", QJsonValue::Null}}},
            {"other case", QJsonObject{{"channelID", "ch-1"}}},
        };
        for (int row = 0; row < int(std::size(kExpectedNames)); ++row) {
            for (const auto &[label, payload] : badPayloads)
                QTest::addRow("%s %s", kExpectedNames[row], label) << row << payload;
        }
    }

    void channelIdMustBeANonEmptyString()
    {
        QFETCH(int, row);
        QFETCH(QJsonObject, payload);
        QVERIFY(!channelEventTable[std::size_t(row)].parse(payload));
    }

    void everyFieldIsReadFromItsKey_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<ChannelEventPayload>("expected");

        const QList<ChannelRole> roles{role(-1, "Owner", 100, {"*"}),
                                       role(5, "Mod", 50, {"core.channel.ban_members", "core.channel.reorder_rooms"})};
        const char *rolesJson = R"([{"roleId":-1,"name":"Owner","level":100,"permissions":["*"]},
            {"roleId":"5","name":"Mod","level":50,"permissions":["core.channel.ban_members","core.channel.reorder_rooms"]}])";
        const auto withRoles = [rolesJson](const char *head) {
            return json((QByteArray(head) + ",\"roles\":" + rolesJson + "}").constData());
        };

        QTest::newRow("default role") << "channel.default_role.changed" << json(R"({"channelId":"c1","roleId":4})")
                                      << ChannelEventPayload(ChannelDefaultRoleChangedEvent{"c1", 4});
        QTest::newRow("deleted") << "channel.deleted" << json(R"({"channelId":"c1","byUserId":"u9"})")
                                 << ChannelEventPayload(ChannelDeletedEvent{"c1"});
        QTest::newRow("banned") << "channel.member.banned"
                                << json(R"({"channelId":"c1","userId":"u1","byUserId":"u9"})")
                                << ChannelEventPayload(ChannelMemberBannedEvent{"c1", "u1", "u9"});
        QTest::newRow("joined") << "channel.member.joined"
                                << json(R"({"channelId":"c1","userId":"u1","roleId":3,"joinedAt":"1700000000000"})")
                                << ChannelEventPayload(ChannelMemberJoinedEvent{"c1", "u1", 3, 1700000000000});
        QTest::newRow("left") << "channel.member.left" << json(R"({"channelId":"c1","userId":"u1"})")
                              << ChannelEventPayload(ChannelMemberLeftEvent{"c1", "u1"});
        QTest::newRow("removed") << "channel.member.removed"
                                 << json(R"({"channelId":"c1","userId":"u1","byUserId":"u9"})")
                                 << ChannelEventPayload(ChannelMemberRemovedEvent{"c1", "u1", "u9"});
        QTest::newRow("role changed") << "channel.member.role_changed"
                                      << json(R"({"channelId":"c1","userId":"u1","roleId":6,"byUserId":"u9"})")
                                      << ChannelEventPayload(ChannelMemberRoleChangedEvent{"c1", "u1", 6, "u9"});
        QTest::newRow("unbanned") << "channel.member.unbanned"
                                  << json(R"({"channelId":"c1","userId":"u1","byUserId":"u9"})")
                                  << ChannelEventPayload(ChannelMemberUnbannedEvent{"c1", "u1", "u9"});
        QTest::newRow("reassigned") << "channel.members.role_reassigned"
                                    << json(R"({"channelId":"c1","fromRoleId":5,"toRoleId":"2","byUserId":"u9"})")
                                    << ChannelEventPayload(ChannelMembersReassignedEvent{"c1", 5, 2, "u9"});
        QTest::newRow("owner") << "channel.owner.transferred"
                               << json(R"({"channelId":"c1","fromUserId":"u1","toUserId":"u2"})")
                               << ChannelEventPayload(ChannelOwnerTransferredEvent{"c1", "u1", "u2"});
        QTest::newRow("restored") << "channel.restored" << json(R"({"channelId":"c1"})")
                                  << ChannelEventPayload(ChannelRestoredEvent{"c1"});
        QTest::newRow("role created") << "channel.role.created" << withRoles(R"({"channelId":"c1")")
                                      << ChannelEventPayload(ChannelRoleCreatedEvent{"c1", roles});
        QTest::newRow("role deleted") << "channel.role.deleted" << withRoles(R"({"channelId":"c1","deletedRoleId":9)")
                                      << ChannelEventPayload(ChannelRoleDeletedEvent{"c1", 9, roles});
        QTest::newRow("role updated") << "channel.role.updated"
                                      << json(R"({"channelId":"c1","role":{"roleId":5,"name":"Mod","level":50,
                        "permissions":["core.channel.ban_members","core.channel.reorder_rooms"]}})")
                                      << ChannelEventPayload(ChannelRoleUpdatedEvent{"c1", roles.at(1)});
        QTest::newRow("roles reordered") << "channel.roles.reordered" << withRoles(R"({"channelId":"c1")")
                                         << ChannelEventPayload(ChannelRolesReorderedEvent{"c1", roles});
        QTest::newRow("room created") << "channel.room.created" << json(R"({"channelId":"c1","roomId":"r1"})")
                                      << ChannelEventPayload(ChannelRoomCreatedEvent{"c1", "r1"});
        QTest::newRow("room deleted") << "channel.room.deleted" << json(R"({"channelId":"c1","roomId":"r1"})")
                                      << ChannelEventPayload(ChannelRoomDeletedEvent{"c1", "r1"});
        QTest::newRow("rooms reordered") << "channel.rooms.reordered"
                                         << json(R"({"channelId":"c1","roomIds":["r2","r1"]})")
                                         << ChannelEventPayload(ChannelRoomsReorderedEvent{"c1", {"r2", "r1"}});
        QTest::newRow("updated") << "channel.updated"
                                 << json(R"({"channelId":"c1","name":"Guild","description":"Hi","code":"ABC",
                                             "codeEnabled":true})")
                                 << ChannelEventPayload(ChannelUpdatedEvent{"c1", "Guild", QString("Hi"), "ABC", true});
    }

    void everyFieldIsReadFromItsKey()
    {
        QFETCH(QString, name);
        QFETCH(QJsonObject, payload);
        QFETCH(ChannelEventPayload, expected);

        const std::optional<ChannelEventPayload> parsed = parseByName(name, payload);
        QVERIFY(parsed);
        QCOMPARE(parsed->index(), expected.index());
        QVERIFY(*parsed == expected);
    }

    void memberJoinedReadsRoleIdFromADecimalString()
    {
        const auto joined =
            parseRecord<ChannelMemberJoinedEvent>(json(R"({"channelId":"c1","userId":"u1","roleId":"7"})"));
        QCOMPARE(joined.roleId, 7ll);
        QCOMPARE(joined.joinedAt, 0ll);
    }

    void updatedDescriptionIsOptional_data()
    {
        QTest::addColumn<QJsonObject>("payload");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("description");
        QTest::newRow("missing") << json(R"({"channelId":"c1"})") << false << "";
        QTest::newRow("null") << json(R"({"channelId":"c1","description":null})") << false << "";
        QTest::newRow("empty") << json(R"({"channelId":"c1","description":""})") << true << "";
        QTest::newRow("text") << json(R"({"channelId":"c1","description":"about"})") << true << "about";
        QTest::newRow("number") << json(R"({"channelId":"c1","description":3})") << true << "";
    }

    void updatedDescriptionIsOptional()
    {
        QFETCH(QJsonObject, payload);
        QFETCH(bool, present);
        QFETCH(QString, description);

        const auto updated = parseRecord<ChannelUpdatedEvent>(payload);
        QCOMPARE(updated.description.has_value(), present);
        if (updated.description)
            QCOMPARE(*updated.description, description);
        QVERIFY(updated.name.isEmpty());
        QVERIFY(updated.code.isEmpty());
        QVERIFY(!updated.codeEnabled);
    }

    void rolesNeverFailThePayload()
    {
        QVERIFY(parseRecord<ChannelRoleUpdatedEvent>(json(R"({"channelId":"c1"})")).role == ChannelRole{});
        QVERIFY(parseRecord<ChannelRoleUpdatedEvent>(json(R"({"channelId":"c1","role":"admin"})")).role
                == ChannelRole{});

        QVERIFY(parseRecord<ChannelRolesReorderedEvent>(json(R"({"channelId":"c1","roles":{"roleId":1}})"))
                    .roles.isEmpty());
        const QList<ChannelRole> mixed =
            parseRecord<ChannelRolesReorderedEvent>(json(R"({"channelId":"c1","roles":[3,{"roleId":1,"name":"A"}]})"))
                .roles;
        QVERIFY(mixed == (QList<ChannelRole>{ChannelRole{}, role(1, "A", 0, {})}));
    }

    void roleFieldsFollowTheirConversions_data()
    {
        QTest::addColumn<QJsonObject>("object");
        QTest::addColumn<ChannelRole>("expected");
        QTest::newRow("fraction level") << json(R"({"roleId":1,"level":2.5})") << role(1, "", 0, {});
        QTest::newRow("string level") << json(R"({"roleId":1,"level":"2"})") << role(1, "", 0, {});
        QTest::newRow("negative level") << json(R"({"roleId":1,"level":-1})") << role(1, "", -1, {});
        QTest::newRow("non-string permission") << json(R"({"roleId":"8","permissions":["core.channel.ban_members",3]})")
                                               << role(8, "", 0, {"core.channel.ban_members", ""});
        QTest::newRow("permissions not an array") << json(R"({"roleId":2,"permissions":"*"})") << role(2, "", 0, {});
        QTest::newRow("empty object") << QJsonObject() << ChannelRole{};
    }

    void roleFieldsFollowTheirConversions()
    {
        QFETCH(QJsonObject, object);
        QFETCH(ChannelRole, expected);
        const ChannelRole parsed = ChannelRole::fromJson(object);
        QCOMPARE(parsed.roleId, expected.roleId);
        QCOMPARE(parsed.name, expected.name);
        QCOMPARE(parsed.level, expected.level);
        QCOMPARE(parsed.permissions, expected.permissions);
    }

    void roomIdsKeepNonStringElementsAsEmptyEntries()
    {
        const auto reordered =
            parseRecord<ChannelRoomsReorderedEvent>(json(R"({"channelId":"c1","roomIds":["a",5,"b"]})"));
        QCOMPARE(reordered.roomIds, (QStringList{"a", "", "b"}));
        QVERIFY(parseRecord<ChannelRoomsReorderedEvent>(json(R"({"channelId":"c1","roomIds":"a"})")).roomIds.isEmpty());
    }
};

KESTOVA_TEST_MAIN(ChannelEventTableTest)
#include "test_channel_event_table.moc"
