#include "channel/channel_entity.h"
#include "channel/channel_error_code.h"
#include "channel_test_support.h"
#include "support/test_main.h"

using channeltest::json;

class ChannelEntityTest : public QObject
{
    Q_OBJECT

private slots:
    void parsesFullSnapshot()
    {
        const ChannelEntity channel = ChannelEntity::fromJson(json(R"({
            "channelId": "c1", "name": "Hall", "description": "about", "code": "K1", "codeEnabled": true,
            "createdAt": "1700000000000", "defaultRoleId": 2, "version": 12, "unknown": [1, 2],
            "members": [{"userId": "u1", "roleId": "12", "joinedAt": 7}, {"roleId": 3}, {"userId": ""}, 5,
                        {"userId": "u2", "roleId": 9007199254740993}],
            "roles": [{"roleId": 12, "name": "admin", "level": 4, "permissions": ["*", 5]}, 7, {"roleId": "3"}],
            "roomIds": ["a", "", "b", 4],
            "bans": [{"userId": "b1", "bannedBy": "u1", "reason": "spam", "bannedAt": "99"}, {"bannedBy": "u1"}]
        })"));

        QVERIFY(channel.valid);
        QCOMPARE(channel.channelId, QString("c1"));
        QCOMPARE(channel.name, QString("Hall"));
        QCOMPARE(channel.description, QString("about"));
        QCOMPARE(channel.code, QString("K1"));
        QCOMPARE(channel.codeEnabled, true);
        QCOMPARE(channel.createdAt, Q_INT64_C(1700000000000));
        QCOMPARE(channel.defaultRoleId, qint64(2));
        QCOMPARE(channel.version, qint64(12));

        // Members without a user id are skipped; ids given as text are read as numbers.
        const QList<ChannelMember> members{{"u1", 12, 7}, {"u2", Q_INT64_C(9007199254740993), 0}};
        QCOMPARE(channel.members, members);

        // Roles are never skipped; a non-string permission becomes an empty key.
        QCOMPARE(channel.roles.size(), 3);
        QCOMPARE(channel.roles.at(0), (ChannelRole{12, "admin", 4, {"*", ""}}));
        QCOMPARE(channel.roles.at(1), ChannelRole{});
        QCOMPARE(channel.roles.at(2).roleId, qint64(3));

        QCOMPARE(channel.roomIds, (QStringList{"a", "b"}));
        const QList<ChannelBan> bans{{"b1", "u1", "spam", 99}};
        QCOMPARE(channel.bans, bans);
    }

    void missingKeysGiveDefaults()
    {
        const ChannelEntity channel = ChannelEntity::fromJson(json(R"({"channelId": "c1", "name": 5,
            "codeEnabled": "yes", "members": {"userId": "u1"}, "version": "v3"})"));
        QVERIFY(channel.valid);
        QCOMPARE(channel.name, QString());
        QCOMPARE(channel.codeEnabled, false);
        QCOMPARE(channel.version, qint64(0));
        QVERIFY(channel.members.isEmpty());
        QVERIFY(channel.roles.isEmpty());
        QVERIFY(channel.roomIds.isEmpty());
        QVERIFY(channel.bans.isEmpty());
    }

    void withoutChannelIdNothingIsRead_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty id") << R"({"channelId": "", "name": "x", "members": [{"userId": "u1"}]})";
        QTest::newRow("missing id") << R"({"name": "x", "members": [{"userId": "u1"}]})";
        QTest::newRow("numeric id") << R"({"channelId": 5, "members": [{"userId": "u1"}]})";
        QTest::newRow("empty object") << R"({})";
    }

    void withoutChannelIdNothingIsRead()
    {
        QFETCH(QString, text);
        const ChannelEntity channel = ChannelEntity::fromJson(json(text.toUtf8().constData()));
        QCOMPARE(channel, ChannelEntity{});
    }

    void lookups()
    {
        ChannelEntity channel = ChannelEntity::fromJson(channeltest::baseSnapshot());
        channel.members.append(ChannelMember{"u2", 3, 0}); // a repeat: the first one counts
        QCOMPARE(channel.indexOfMember("u2"), 1);
        QCOMPARE(channel.indexOfMember("U2"), -1);
        QCOMPARE(channel.indexOfMember(QString()), -1);
        QCOMPARE(channel.indexOfRole(3), 1);
        QCOMPARE(channel.indexOfRole(0), -1);
        QCOMPARE(channel.findRole(3), &channel.roles.at(1));
        QCOMPARE(channel.findRole(99), nullptr);

        QCOMPARE(ChannelEntity::memberRole(&channel, "u2"), &channel.roles.at(0));
        QCOMPARE(ChannelEntity::memberRole(&channel, "u3"), &channel.roles.at(1));
        QCOMPARE(ChannelEntity::memberRole(&channel, "u1"), nullptr); // owner role -1 is not in the list
        QCOMPARE(ChannelEntity::memberRole(&channel, "nobody"), nullptr);
        QCOMPARE(ChannelEntity::memberRole(&channel, QString()), nullptr);
        QCOMPARE(ChannelEntity::memberRole(nullptr, "u2"), nullptr);

        // A record the store made but no snapshot filled yet gives no role, members or not.
        channel.valid = false;
        QCOMPARE(ChannelEntity::memberRole(&channel, "u2"), nullptr);
        QCOMPARE(channel.findRole(3), &channel.roles.at(1));
    }

    void permission_data()
    {
        QTest::addColumn<QStringList>("permissions");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("granted");
        QTest::newRow("wildcard, any key") << QStringList{"*"} << "core.channel.delete_channel" << true;
        QTest::newRow("wildcard among others") << QStringList{"core.channel.manage_code", "*"} << "anything" << true;
        QTest::newRow("listed key") << QStringList{"core.channel.manage_code"} << "core.channel.manage_code" << true;
        QTest::newRow("other key") << QStringList{"core.channel.manage_code"} << "core.channel.ban_members" << false;
        QTest::newRow("letter case") << QStringList{"core.channel.manage_code"} << "core.channel.MANAGE_CODE" << false;
        QTest::newRow("prefix only") << QStringList{"core.channel.manage"} << "core.channel.manage_code" << false;
        QTest::newRow("empty list") << QStringList{} << "core.channel.manage_code" << false;
        QTest::newRow("star is not a pattern") << QStringList{"core.channel.*"} << "core.channel.manage_code" << false;
    }

    void permission()
    {
        QFETCH(QStringList, permissions);
        QFETCH(QString, key);
        QFETCH(bool, granted);
        const ChannelRole role{1, "r", 0, permissions};
        QCOMPARE(channelHasPermission(&role, key.toUtf8().constData()), granted);
    }

    void permissionOfNoRole() { QCOMPARE(channelHasPermission(nullptr, "core.channel.manage_code"), false); }

    void ownPermissionThroughTheMemberRole()
    {
        const ChannelEntity channel = ChannelEntity::fromJson(channeltest::baseSnapshot());
        QVERIFY(channelHasPermission(ChannelEntity::memberRole(&channel, "u3"), "core.channel.remove_members"));
        QVERIFY(!channelHasPermission(ChannelEntity::memberRole(&channel, "u2"), "core.channel.remove_members"));
        QVERIFY(!channelHasPermission(ChannelEntity::memberRole(&channel, "stranger"), "core.channel.remove_members"));
    }

    void errorClassification_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<ChannelErrorCode>("expected");
        QTest::newRow("owner cannot leave") << "channel.owner_cannot_leave" << ChannelErrorCode::OwnerCannotLeave;
        QTest::newRow("other") << "channel.not_found" << ChannelErrorCode::Other;
        QTest::newRow("empty") << QString() << ChannelErrorCode::Other;
        QTest::newRow("letter case") << "CHANNEL.OWNER_CANNOT_LEAVE" << ChannelErrorCode::Other;
        QTest::newRow("trailing space") << "channel.owner_cannot_leave " << ChannelErrorCode::Other;
    }

    void errorClassification()
    {
        QFETCH(QString, code);
        QFETCH(ChannelErrorCode, expected);
        QCOMPARE(classifyChannelError(code), expected);
        QCOMPARE(int(ChannelErrorCode::OwnerCannotLeave), 1);
    }
};

KESTOVA_TEST_MAIN(ChannelEntityTest)
#include "test_channel_entity.moc"
