// A new rank for some of the roles, as clients send it: the named roles, lowest first,
// swap into the places they held between them; roles left out keep theirs.
#include "server/role_order.h"
#include "server/room_world.h"
#include "support/test_main.h"

#include <QTest>

using localservice::ChannelRole;
using localservice::kOwnerRoleId;
using localservice::reorderedRoles;

namespace {

QList<ChannelRole> rolesAt(const QList<std::pair<qint64, int>> &idsAndLevels)
{
    QList<ChannelRole> roles;
    for (const auto &[id, level] : idsAndLevels)
        roles.append(ChannelRole{id, QString::number(id), level, {}});
    return roles;
}

// "id:level" of every role, in the order given back (highest level first).
QString shape(const QList<ChannelRole> &roles)
{
    QStringList parts;
    for (const ChannelRole &role : roles)
        parts << QStringLiteral("%1:%2").arg(role.roleId).arg(role.level);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class RoleOrderTest : public QObject
{
    Q_OBJECT

private slots:
    void reorders_data();
    void reorders();
    void rolesOfOneLevelArePulledApart();
};

void RoleOrderTest::reorders_data()
{
    QTest::addColumn<QList<qint64>>("lowestFirst");
    QTest::addColumn<QString>("expected"); // empty: refused

    // The owner -1 at 100, an admin 2 at 50, a helper 4 at 30, a member 3 at 10.
    QTest::newRow("every other role, turned over") << QList<qint64>{2, 4, 3} << "-1:100 3:50 4:30 2:10";
    QTest::newRow("the order they have") << QList<qint64>{3, 4, 2} << "-1:100 2:50 4:30 3:10";
    QTest::newRow("two of them swap, the third stays") << QList<qint64>{2, 3} << "-1:100 3:50 4:30 2:10";
    QTest::newRow("neighbours swap") << QList<qint64>{4, 3} << "-1:100 2:50 3:30 4:10";
    QTest::newRow("one role alone keeps its place") << QList<qint64>{4} << "-1:100 2:50 4:30 3:10";
    QTest::newRow("the owner's role named") << QList<qint64>{3, -1} << QString();
    QTest::newRow("an unknown role") << QList<qint64>{3, 9} << QString();
    QTest::newRow("a role named twice") << QList<qint64>{3, 3} << QString();
    QTest::newRow("nothing named") << QList<qint64>{} << QString();
}

void RoleOrderTest::reorders()
{
    QFETCH(QList<qint64>, lowestFirst);
    QFETCH(QString, expected);
    const QList<ChannelRole> roles = rolesAt({{kOwnerRoleId, 100}, {2, 50}, {3, 10}, {4, 30}});
    const std::optional<QList<ChannelRole>> reordered = reorderedRoles(roles, lowestFirst, kOwnerRoleId);
    QCOMPARE(reordered.has_value(), !expected.isEmpty());
    if (reordered)
        QCOMPARE(shape(*reordered), expected);
}

void RoleOrderTest::rolesOfOneLevelArePulledApart()
{
    // Two roles made by the owner both rank just below the owner's; the order given is the
    // order that counts, and neither reaches the owner's level.
    const QList<ChannelRole> roles = rolesAt({{kOwnerRoleId, 100}, {5, 99}, {6, 99}, {3, 10}});
    QCOMPARE(shape(*reorderedRoles(roles, {6, 5}, kOwnerRoleId)), QStringLiteral("-1:100 5:99 6:98 3:10"));
    QCOMPARE(shape(*reorderedRoles(roles, {5, 6}, kOwnerRoleId)), QStringLiteral("-1:100 6:99 5:98 3:10"));
    QCOMPARE(shape(*reorderedRoles(roles, {3, 6, 5}, kOwnerRoleId)), QStringLiteral("-1:100 5:99 6:98 3:10"));
}

KESTOVA_TEST_MAIN(RoleOrderTest)
#include "test_role_order.moc"
