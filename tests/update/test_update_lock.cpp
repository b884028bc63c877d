#include "support/log_capture.h"
#include "support/test_main.h"
#include "update/update_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {

constexpr qint64 kNow = 1700000000000;

void writeLock(const QByteArray &content)
{
    QDir().mkpath(QFileInfo(updateLockPath()).absolutePath());
    QFile file(updateLockPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

QByteArray lockJson(qint64 lockTime, qint64 ttl)
{
    return QByteArray("{\"lockTime\":") + QByteArray::number(lockTime) + ",\"ttlMs\":" + QByteArray::number(ttl) + "}";
}

} // namespace

class UpdateLockTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void lockLivesInTheDataFolder();
    void timeRules_data();
    void timeRules();
    void malformedLocksAreRemoved_data();
    void malformedLocksAreRemoved();
    void noLockMeansNoInstall();
    void unreadableLockStays();
    void writtenLockIsFreshForFiveMinutes();
    void unwritableLockFails();
};

void UpdateLockTest::cleanup()
{
    const QString path = updateLockPath();
    if (QFileInfo(path).isDir())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

void UpdateLockTest::lockLivesInTheDataFolder()
{
    const QString expected =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Kestova/update.lock");
    QCOMPARE(updateLockPath(), expected);
}

void UpdateLockTest::timeRules_data()
{
    QTest::addColumn<qint64>("age");
    QTest::addColumn<bool>("fresh");
    const qint64 ttl = kUpdateLockTtlMs;
    QTest::newRow("just written") << qint64(0) << true;
    QTest::newRow("one ms before expiry") << ttl - 1 << true;
    QTest::newRow("exactly at expiry") << ttl << true;
    QTest::newRow("one ms after expiry") << ttl + 1 << false;
    QTest::newRow("slightly in the future") << qint64(-1000) << true;
    QTest::newRow("future by exactly ttl") << -ttl << true;
    QTest::newRow("future beyond ttl") << -ttl - 1 << false;
    QTest::newRow("a year in the future") << qint64(-365) * 24 * 3600 * 1000 << false;
}

void UpdateLockTest::timeRules()
{
    QFETCH(qint64, age);
    QFETCH(bool, fresh);
    writeLock(lockJson(kNow - age, kUpdateLockTtlMs));
    QCOMPARE(isUpdateInstallInProgress(kNow), fresh);
    // A fresh lock stays for the next start; a stale one is gone.
    QCOMPARE(QFile::exists(updateLockPath()), fresh);
}

void UpdateLockTest::malformedLocksAreRemoved_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("json array") << QByteArray("[1,2]");
    QTest::newRow("not json") << QByteArray("locked");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("keys missing") << QByteArray("{}");
    QTest::newRow("time as text") << QByteArray("{\"lockTime\":\"x\",\"ttlMs\":300000}");
    QTest::newRow("absurd time") << QByteArray("{\"lockTime\":-1e300,\"ttlMs\":1e300}");
    QTest::newRow("negative ttl") << lockJson(kNow, -1);
}

void UpdateLockTest::malformedLocksAreRemoved()
{
    QFETCH(QByteArray, content);
    writeLock(content);
    QVERIFY(!isUpdateInstallInProgress(kNow));
    QVERIFY(!QFile::exists(updateLockPath()));
}

void UpdateLockTest::noLockMeansNoInstall()
{
    QVERIFY(!isUpdateInstallInProgress(kNow));
    QVERIFY(!isUpdateInstallInProgress());
}

void UpdateLockTest::unreadableLockStays()
{
    // A folder in the lock's place exists but never opens as a file.
    QVERIFY(QDir().mkpath(updateLockPath()));
    QVERIFY(!isUpdateInstallInProgress(kNow));
    QVERIFY(QFileInfo(updateLockPath()).isDir());
}

void UpdateLockTest::writtenLockIsFreshForFiveMinutes()
{
    QVERIFY(writeUpdateLock(kNow));
    QFile file(updateLockPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QCOMPARE(content, QByteArray("{\"lockTime\":1700000000000,\"ttlMs\":300000}"));
    file.close();

    QVERIFY(isUpdateInstallInProgress(kNow + 300000));
    QVERIFY(!isUpdateInstallInProgress(kNow + 300001));

    // The clock-less forms use the current time.
    QVERIFY(writeUpdateLock());
    QVERIFY(isUpdateInstallInProgress());
}

void UpdateLockTest::unwritableLockFails()
{
    QVERIFY(QDir().mkpath(updateLockPath() + QStringLiteral("/inside")));
    testsupport::LogCapture log;
    QVERIFY(!writeUpdateLock(kNow));
    QVERIFY(log.contains("update", "write lock file failed:"));
}

KESTOVA_TEST_MAIN(UpdateLockTest)
#include "test_update_lock.moc"
