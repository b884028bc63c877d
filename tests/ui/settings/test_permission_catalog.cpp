#include "ui/settings/permission_catalog.h"

#include "support/test_main.h"

#include <QSet>
#include <QStringList>

class PermissionCatalogTest : public QObject
{
    Q_OBJECT

private slots:
    void groups_data();
    void groups();
    void keysAreUniqueAndOfTheirFamily_data();
    void keysAreUniqueAndOfTheirFamily();
};

namespace {

QStringList groupLabels(const PermissionGroup *groups, int count)
{
    QStringList labels;
    for (int i = 0; i < count; ++i)
        labels.append(QString::fromUtf8(groups[i].label) + QLatin1Char('/') + QString::number(groups[i].count));
    return labels;
}

} // namespace

void PermissionCatalogTest::groups_data()
{
    QTest::addColumn<QStringList>("actual");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("room") << groupLabels(kRoomPermissionGroups, kRoomPermissionGroupCount)
                          << QStringList{"能力/4",         "成员管理/5", "标签/6",     "身份管理/2",  "房间基础设置/4",
                                         "房间额外设置/7", "模块管理/1", "审核管理/2", "子房间管理/3"};
    QTest::newRow("channel") << groupLabels(kChannelPermissionGroups, kChannelPermissionGroupCount)
                             << QStringList{"成员管理/2", "身份管理/2", "频道管理/7"};
}

void PermissionCatalogTest::groups()
{
    QFETCH(QStringList, actual);
    QFETCH(QStringList, expected);
    QCOMPARE(actual, expected);
}

void PermissionCatalogTest::keysAreUniqueAndOfTheirFamily_data()
{
    QTest::addColumn<bool>("room");
    QTest::newRow("room") << true;
    QTest::newRow("channel") << false;
}

void PermissionCatalogTest::keysAreUniqueAndOfTheirFamily()
{
    QFETCH(bool, room);
    const PermissionGroup *groups = room ? kRoomPermissionGroups : kChannelPermissionGroups;
    const int groupCount = room ? kRoomPermissionGroupCount : kChannelPermissionGroupCount;
    const PermissionDef *ownerOnly = room ? kRoomOwnerOnlyPermissions : kChannelOwnerOnlyPermissions;
    const int ownerOnlyCount = room ? kRoomOwnerOnlyPermissionCount : kChannelOwnerOnlyPermissionCount;
    const QString family = room ? QStringLiteral("core.room.") : QStringLiteral("core.channel.");

    QSet<QString> keys;
    int total = 0;
    for (int g = 0; g < groupCount; ++g) {
        for (std::size_t i = 0; i < groups[g].count; ++i) {
            const QString key = QString::fromUtf8(groups[g].defs[i].key);
            QVERIFY2(key.startsWith(family), qPrintable(key));
            QVERIFY(!QString::fromUtf8(groups[g].defs[i].label).isEmpty());
            keys.insert(key);
            ++total;
        }
    }
    QCOMPARE(total, room ? 34 : 11);
    QCOMPARE(int(keys.size()), total);
    QCOMPARE(ownerOnlyCount, room ? 3 : 2);
    for (int i = 0; i < ownerOnlyCount; ++i)
        QVERIFY(!keys.contains(QString::fromUtf8(ownerOnly[i].key)));
    // The rights the room dialog hands to its pages are all assignable.
    if (room) {
        for (const char *key : {"core.room.manage_pref", "core.room.assign_roles", "core.room.manage_roles",
                                "core.room.config_tag_system", "core.room.toggle_allow_subroom_chat"})
            QVERIFY2(keys.contains(QString::fromLatin1(key)), key);
    }
}

KESTOVA_TEST_MAIN(PermissionCatalogTest)
#include "test_permission_catalog.moc"
