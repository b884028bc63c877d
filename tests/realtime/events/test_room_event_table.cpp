#include "realtime/events/room_event_table.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QVariant>

#include <tuple>

namespace {

// The catalogue as the gateway defines it: row, event name and required key.
struct ExpectedRow
{
    const char *name;
    const char *requiredKey;
};

const ExpectedRow kExpectedRows[] = {
    {"room.access_mode.changed", "roomId"},
    {"room.allow_subroom.changed", "roomId"},
    {"room.allow_subroom_broadcast.changed", "roomId"},
    {"room.allow_subroom_chat.changed", "roomId"},
    {"room.bitrate.changed", "roomId"},
    {"room.child_allow_broadcast.changed", "parentRoomId"},
    {"room.child_allow_chat.changed", "parentRoomId"},
    {"room.code_direct_entry.changed", "roomId"},
    {"room.created", "roomId"},
    {"room.default_role.changed", "roomId"},
    {"room.expired", "roomId"},
    {"room.follow_code.changed", "roomId"},
    {"room.hidden", "roomId"},
    {"room.member.banned", "roomId"},
    {"room.member.kicked", "roomId"},
    {"room.member.muted", "roomId"},
    {"room.member.role_changed", "roomId"},
    {"room.member.superseded", "roomId"},
    {"room.member.unbanned", "roomId"},
    {"room.member.unmuted", "roomId"},
    {"room.members.role_reassigned", "roomId"},
    {"room.membership.changed", "roomId"},
    {"room.module.attached", "roomId"},
    {"room.module.detached", "roomId"},
    {"room.name.changed", "roomId"},
    {"room.owner.transferred", "roomId"},
    {"room.pref.changed", "roomId"},
    {"room.presence.conn-state", "roomId"},
    {"room.presence.joined", "roomId"},
    {"room.presence.left", "roomId"},
    {"room.request.approved", "requestId"},
    {"room.request.cancelled", "requestId"},
    {"room.request.created", "requestId"},
    {"room.request.expired", "requestId"},
    {"room.request.rejected", "requestId"},
    {"room.require_approval.changed", "roomId"},
    {"room.restored", "roomId"},
    {"room.role.created", "roomId"},
    {"room.role.deleted", "roomId"},
    {"room.role.updated", "roomId"},
    {"room.roles.reordered", "roomId"},
    {"room.room_code.changed", "roomId"},
    {"room.subroom.approved", "requestId"},
    {"room.subroom.attached", "childRoomId"},
    {"room.subroom.cancelled", "requestId"},
    {"room.subroom.detached", "childRoomId"},
    {"room.subroom.pending", "requestId"},
    {"room.subroom.rejected", "requestId"},
};
static_assert(std::size(kExpectedRows) == 48);

// Every id key that any record requires, each with its own value.
QJsonObject allIds()
{
    return QJsonObject{
        {"roomId", "room-1"},
        {"requestId", "request-1"},
        {"childRoomId", "child-1"},
        {"parentRoomId", "parent-1"},
    };
}

// The row a consumer finds by walking the table, or -1.
int findRow(const QString &name)
{
    for (std::size_t row = 0; row < roomEventTable.size(); ++row) {
        if (name == QLatin1StringView(roomEventTable[row].name))
            return int(row);
    }
    return -1;
}

// The record's field that carries the given id key, or a marker when it has none.
QString idField(const RoomEventPayload &payload, const QString &key)
{
    return std::visit(
        [&key](const auto &record) -> QString {
            if constexpr (requires { record.roomId; }) {
                if (key == "roomId")
                    return record.roomId;
            }
            if constexpr (requires { record.requestId; }) {
                if (key == "requestId")
                    return record.requestId;
            }
            if constexpr (requires { record.childRoomId; }) {
                if (key == "childRoomId")
                    return record.childRoomId;
            }
            if constexpr (requires { record.parentRoomId; }) {
                if (key == "parentRoomId")
                    return record.parentRoomId;
            }
            return QStringLiteral("<no such field>");
        },
        payload);
}

// Parses through the given row and checks that the row gave its own alternative.
template<typename Record>
std::optional<Record> recordOfRow(int row, const QJsonObject &payload)
{
    const std::optional<RoomEventPayload> value = roomEventTable[std::size_t(row)].parse(payload);
    if (!value || int(value->index()) != row)
        return std::nullopt;
    return std::get<Record>(*value);
}

template<typename Record>
auto fieldsOf4(const Record &record)
{
    const auto &[a, b, c, d] = record;
    return std::make_tuple(a, b, c, d);
}

std::optional<RoomEventPayload> parseByName(const char *name, const QJsonObject &payload)
{
    const int row = findRow(QLatin1StringView(name));
    if (row < 0)
        return std::nullopt;
    return roomEventTable[std::size_t(row)].parse(payload);
}

} // namespace

class RoomEventTableTest : public QObject
{
    Q_OBJECT

private slots:
    void everyNameFindsItsOwnRowAndAlternative_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(kExpectedRows)); ++row)
            QTest::newRow(kExpectedRows[row].name) << row;
    }

    void everyNameFindsItsOwnRowAndAlternative()
    {
        QFETCH(int, row);
        const ExpectedRow &expected = kExpectedRows[row];

        QCOMPARE(roomEventTable.size(), std::size(kExpectedRows));
        QCOMPARE(findRow(QLatin1StringView(expected.name)), row);

        const std::optional<RoomEventPayload> payload = roomEventTable[std::size_t(row)].parse(allIds());
        QVERIFY(payload);
        QCOMPARE(int(payload->index()), row);
        QCOMPARE(idField(*payload, expected.requiredKey), allIds().value(expected.requiredKey).toString());
    }

    void requiredKeyMustBeANonEmptyString_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QJsonValue>("badValue");

        const std::pair<const char *, QJsonValue> badValues[] = {
            {"missing", QJsonValue(QJsonValue::Undefined)},
            {"empty", QJsonValue("")},
            {"number", QJsonValue(42)},
            {"null", QJsonValue(QJsonValue::Null)},
            {"bool", QJsonValue(true)},
            {"array", QJsonValue(QJsonArray{"room-1"})},
        };
        for (int row = 0; row < int(std::size(kExpectedRows)); ++row) {
            for (const auto &[label, value] : badValues)
                QTest::addRow("%s %s", kExpectedRows[row].name, label) << row << value;
        }
    }

    void requiredKeyMustBeANonEmptyString()
    {
        QFETCH(int, row);
        QFETCH(QJsonValue, badValue);

        // Every other id key is present and valid: only the required one counts.
        QJsonObject payload = allIds();
        const QString requiredKey = QLatin1StringView(kExpectedRows[row].requiredKey);
        if (badValue.isUndefined())
            payload.remove(requiredKey);
        else
            payload.insert(requiredKey, badValue);

        QVERIFY(!roomEventTable[std::size_t(row)].parse(payload));
        QVERIFY(!roomEventTable[std::size_t(row)].parse(QJsonObject()));
    }

    void namesOutsideTheCatalogueAreNotFound_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("underscore for hyphen") << "room.presence.conn_state";
        QTest::newRow("other case") << "room.Hidden";
        QTest::newRow("trailing space") << "room.hidden ";
        QTest::newRow("channel event") << "channel.deleted";
        QTest::newRow("empty") << "";
    }

    void namesOutsideTheCatalogueAreNotFound()
    {
        QFETCH(QString, name);
        QCOMPARE(findRow(name), -1);
    }

    void recordsWithEqualFieldsKeepTheirOwnAlternatives()
    {
        const QJsonObject setting{{"roomId", "r1"}, {"newValue", true}, {"byUserId", "u1"}, {"changedAt", 17}};
        const auto broadcast = recordOfRow<RoomAllowSubRoomBroadcastChangedEvent>(2, setting);
        QVERIFY(broadcast);
        QCOMPARE(fieldsOf4(*broadcast), std::make_tuple(QString("r1"), true, QString("u1"), 17ll));
        QCOMPARE(fieldsOf4(*recordOfRow<RoomAllowSubRoomChatChangedEvent>(3, setting)), fieldsOf4(*broadcast));
        QCOMPARE(fieldsOf4(*recordOfRow<RoomCodeDirectEntryChangedEvent>(7, setting)), fieldsOf4(*broadcast));
        QCOMPARE(fieldsOf4(*recordOfRow<RoomRequireApprovalChangedEvent>(35, setting)), fieldsOf4(*broadcast));

        const QJsonObject override{{"parentRoomId", "p1"}, {"childRoomId", "c1"}, {"value", false}, {"changedAt", 5}};
        const auto childBroadcast = recordOfRow<RoomChildAllowBroadcastChangedEvent>(5, override);
        const auto childChat = recordOfRow<RoomChildAllowChatChangedEvent>(6, override);
        QVERIFY(childBroadcast && childChat);
        QVERIFY(childBroadcast->value == std::optional<bool>(false));
        QVERIFY(childChat->value == childBroadcast->value);
        QCOMPARE(childChat->parentRoomId, childBroadcast->parentRoomId);
        QCOMPARE(childChat->childRoomId, QString("c1"));
        QCOMPARE(childChat->changedAt, childBroadcast->changedAt);

        const QJsonObject visibility{{"roomId", "r1"}, {"channelId", "ch1"}};
        const auto hidden = recordOfRow<RoomHiddenEvent>(12, visibility);
        const auto restored = recordOfRow<RoomRestoredEvent>(36, visibility);
        QVERIFY(hidden && restored);
        QCOMPARE(hidden->channelId, QString("ch1"));
        QCOMPARE(restored->roomId, hidden->roomId);
        QCOMPARE(restored->channelId, hidden->channelId);
    }

    void requestAndOverrideRecordsNeedNoRoomId()
    {
        const std::optional<RoomEventPayload> request =
            parseByName("room.request.created", QJsonObject{{"requestId", "q1"}});
        QVERIFY(request);
        QCOMPARE(std::get<RoomRequestCreatedEvent>(*request).requestId, QString("q1"));
        QVERIFY(std::get<RoomRequestCreatedEvent>(*request).roomId.isEmpty());

        QVERIFY(parseByName("room.child_allow_chat.changed", QJsonObject{{"parentRoomId", "p1"}}));
        QVERIFY(!parseByName("room.child_allow_chat.changed", QJsonObject{{"roomId", "r1"}}));
    }

    void payloadTravelsInAVariant()
    {
        QVERIFY(QMetaType::fromName("RoomEventPayload").isValid());
        const std::optional<RoomEventPayload> payload =
            parseByName("room.name.changed", QJsonObject{{"roomId", "r1"}, {"newName", "Lobby"}});
        QVERIFY(payload);
        const QVariant variant = QVariant::fromValue(*payload);
        QCOMPARE(variant.metaType(), QMetaType::fromName("RoomEventPayload"));
        const RoomEventPayload back = variant.value<RoomEventPayload>();
        QCOMPARE(std::get<RoomNameChangedEvent>(back).newName, QString("Lobby"));
    }
};

KESTOVA_TEST_MAIN(RoomEventTableTest)
#include "test_room_event_table.moc"
