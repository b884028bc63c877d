#include "storage/data_root.h"
#include "storage/device_machine_store.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

using testsupport::LogCapture;

class MachineFolderTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QDir(machineDir()).removeRecursively();
        QFile::remove(machineDir());
    }

    void dataRootIsKestovaInTheGenericDataLocation()
    {
        const QString expected = QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath("Kestova");
        QCOMPARE(dataRoot(), expected);
        QCOMPARE(machineDir(), expected + "/machine");
        QCOMPARE(machineIniPath("hotkeys"), expected + "/machine/hotkeys.ini");
    }

    void installIdIsTheHashOfTheLowerCasedRoot()
    {
        const QByteArray digest = QCryptographicHash::hash(dataRoot().toLower().toUtf8(), QCryptographicHash::Sha256);
        const QString expected = QString::fromLatin1(digest.toHex().left(16));
        QCOMPARE(installId(), expected);
        QCOMPARE(installId(), installId());
        QVERIFY(QRegularExpression("^[0-9a-f]{16}$").match(installId()).hasMatch());
    }

    void deviceIdIsGeneratedOnceAndKept()
    {
        LogCapture logs;
        QString first;
        {
            DeviceMachineStore store;
            first = store.deviceId();
        }
        QVERIFY(QRegularExpression("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")
                    .match(first)
                    .hasMatch());
        QVERIFY(QFile::exists(machineIniPath("device")));
        QCOMPARE(logs.count("base.storage", "deviceId generated"), 1);

        DeviceMachineStore again;
        QCOMPARE(again.deviceId(), first);
        QCOMPARE(logs.count("base.storage", "deviceId generated"), 1);
        // The id itself never reaches the log.
        for (const auto &e : logs.entries())
            QVERIFY(!e.message.contains(first));
    }

    void emptyStoredIdIsReplaced()
    {
        QDir().mkpath(machineDir());
        {
            QSettings ini(machineIniPath("device"), QSettings::IniFormat);
            ini.setValue("deviceId", QString());
        }
        DeviceMachineStore store;
        const QString id = store.deviceId();
        QCOMPARE(id.size(), 36);
        QSettings ini(machineIniPath("device"), QSettings::IniFormat);
        QCOMPARE(ini.value("deviceId").toString(), id);
    }

    void unusableMachineFolderStillYieldsAnId()
    {
        QDir().mkpath(dataRoot());
        // A plain file where the folder should be makes mkpath fail.
        QFile blocker(machineDir());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        LogCapture logs;
        DeviceMachineStore store;
        QVERIFY(!store.deviceId().isEmpty());
        QVERIFY(logs.contains("base.storage", "create machine dir failed:"));
        QFile::remove(machineDir());
    }

    void unusableMachineFolderWarningNamesThePlainFolder()
    {
        QDir().mkpath(dataRoot());
        QFile blocker(machineDir());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        LogCapture logs;
        DeviceMachineStore store;
        QFile::remove(machineDir());

        // The folder follows the text as it is, not as a quoted string.
        QVERIFY(logs.contains("base.storage", "create machine dir failed: " + machineDir()));
        QVERIFY(!logs.contains("base.storage", "\""));
    }
};

KESTOVA_TEST_MAIN(MachineFolderTest)
#include "test_machine_folder.moc"
