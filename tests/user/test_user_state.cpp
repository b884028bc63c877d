#include "support/test_main.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QJsonObject>
#include <QSignalSpy>

class UserStateTest : public QObject
{
    Q_OBJECT
private slots:
    void parseReadsStringsOnly();
    void applyProfileAnnouncesOnlyChangedNickname();
    void clearAnnouncesOnlyWhenNicknameWasSet_data();
    void clearAnnouncesOnlyWhenNicknameWasSet();
    void userIdAnnouncedOnlyWhenItChanges();
};

void UserStateTest::parseReadsStringsOnly()
{
    const UserProfile profile = parseUserProfile(QJsonObject{{"userId", "u1"},
                                                             {"username", 42},
                                                             {"nickname", "Ann"},
                                                             {"status", QJsonValue::Null},
                                                             {"agreedLegalVersion", "terms@1+privacy@2"}});
    QCOMPARE(profile.userId, QStringLiteral("u1"));
    QCOMPARE(profile.username, QString());
    QCOMPARE(profile.nickname, QStringLiteral("Ann"));
    QCOMPARE(profile.status, QString());
    QCOMPARE(profile.agreedLegalVersion, QStringLiteral("terms@1+privacy@2"));
}

void UserStateTest::applyProfileAnnouncesOnlyChangedNickname()
{
    UserState state;
    QSignalSpy nicknames(&state, &UserState::nicknameChanged);
    state.applyProfile({"u1", "name1", "Ann", "active", "terms@1+privacy@1"});
    QCOMPARE(nicknames.count(), 1);
    QCOMPARE(nicknames.at(0).at(0).toString(), QStringLiteral("Ann"));

    state.applyProfile({"u1", "name2", "Ann", "banned", "terms@2+privacy@2"});
    QCOMPARE(nicknames.count(), 1);
    QCOMPARE(state.userId(), QStringLiteral("u1"));
    QCOMPARE(state.username(), QStringLiteral("name2"));
    QCOMPARE(state.status(), QStringLiteral("banned"));
    QCOMPARE(state.agreedLegalVersion(), QStringLiteral("terms@2+privacy@2"));

    state.setNickname(QStringLiteral("Ann"));
    QCOMPARE(nicknames.count(), 1);
    state.setNickname(QStringLiteral("Bo"));
    QCOMPARE(nicknames.count(), 2);
    QCOMPARE(state.nickname(), QStringLiteral("Bo"));
}

void UserStateTest::clearAnnouncesOnlyWhenNicknameWasSet_data()
{
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<int>("expectedSignals");
    QTest::newRow("nickname set") << "Ann" << 1;
    QTest::newRow("nickname empty") << "" << 0;
}

void UserStateTest::clearAnnouncesOnlyWhenNicknameWasSet()
{
    QFETCH(QString, nickname);
    QFETCH(int, expectedSignals);
    UserState state;
    state.applyProfile({"u1", "name", nickname, "active", "terms@1+privacy@1"});
    const quint64 generationBefore = state.generation();
    QSignalSpy nicknames(&state, &UserState::nicknameChanged);
    QSignalSpy cleared(&state, &UserState::cleared);

    state.clear();

    QCOMPARE(nicknames.count(), expectedSignals);
    if (expectedSignals > 0)
        QCOMPARE(nicknames.at(0).at(0).toString(), QString());
    QCOMPARE(cleared.count(), 1);
    QVERIFY(state.generation() != generationBefore);
    QVERIFY(state.userId().isEmpty() && state.username().isEmpty() && state.nickname().isEmpty()
            && state.status().isEmpty() && state.agreedLegalVersion().isEmpty());
}

void UserStateTest::userIdAnnouncedOnlyWhenItChanges()
{
    UserState state;
    QSignalSpy ids(&state, &UserState::userIdChanged);
    state.applyProfile({"u1", "a", "", "", ""});
    state.applyProfile({"u1", "b", "Ann", "", ""});
    QCOMPARE(ids.count(), 1);
    QCOMPARE(ids.at(0).at(0).toString(), QStringLiteral("u1"));
    state.clear();
    state.clear();
    QCOMPARE(ids.count(), 2);
    QCOMPARE(ids.at(1).at(0).toString(), QString());
}

KESTOVA_TEST_MAIN(UserStateTest)
#include "test_user_state.moc"
