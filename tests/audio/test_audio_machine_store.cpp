#include "audio/audio_machine_store.h"
#include "storage/data_root.h"
#include "support/test_main.h"

#include <QDir>
#include <QSettings>

#include <functional>

namespace {
struct Row
{
    QString key;
    QVariant fallback;
    std::function<QVariant(const AudioMachineStore &)> get;
    std::function<void(AudioMachineStore &, const QVariant &)> set;
    QVariant sample;
};

QList<Row> settingsTable()
{
    return {
        {"inputDeviceId", QString(), [](auto &s) { return QVariant(s.inputDeviceId()); },
         [](auto &s, auto &v) { s.setInputDeviceId(v.toString()); }, QString("{0.0.1.00000000}.{abc}")},
        {"outputDeviceId", QString(), [](auto &s) { return QVariant(s.outputDeviceId()); },
         [](auto &s, auto &v) { s.setOutputDeviceId(v.toString()); }, QString("default")},
        {"inputGainDb", 0, [](auto &s) { return QVariant(s.inputGainDb()); },
         [](auto &s, auto &v) { s.setInputGainDb(v.toInt()); }, -12},
        {"outputGainDb", 0, [](auto &s) { return QVariant(s.outputGainDb()); },
         [](auto &s, auto &v) { s.setOutputGainDb(v.toInt()); }, 7},
        {"noiseMode", QString(), [](auto &s) { return QVariant(s.noiseMode()); },
         [](auto &s, auto &v) { s.setNoiseMode(v.toString()); }, QString("dpdfnet")},
        {"aecEnabled", true, [](auto &s) { return QVariant(s.aecEnabled()); },
         [](auto &s, auto &v) { s.setAecEnabled(v.toBool()); }, false},
        {"agcEnabled", false, [](auto &s) { return QVariant(s.agcEnabled()); },
         [](auto &s, auto &v) { s.setAgcEnabled(v.toBool()); }, true},
        {"hpfEnabled", true, [](auto &s) { return QVariant(s.hpfEnabled()); },
         [](auto &s, auto &v) { s.setHpfEnabled(v.toBool()); }, false},
        {"vadThresholdPct", 50, [](auto &s) { return QVariant(s.vadThresholdPct()); },
         [](auto &s, auto &v) { s.setVadThresholdPct(v.toInt()); }, 73},
        {"vadHangoverMs", 300, [](auto &s) { return QVariant(s.vadHangoverMs()); },
         [](auto &s, auto &v) { s.setVadHangoverMs(v.toInt()); }, 850},
        {"vadSilentStop", true, [](auto &s) { return QVariant(s.vadSilentStop()); },
         [](auto &s, auto &v) { s.setVadSilentStop(v.toBool()); }, false},
        {"joinSoundEnabled", true, [](auto &s) { return QVariant(s.joinSoundEnabled()); },
         [](auto &s, auto &v) { s.setJoinSoundEnabled(v.toBool()); }, false},
        {"joinSoundVolume", 0.8, [](auto &s) { return QVariant(s.joinSoundVolume()); },
         [](auto &s, auto &v) { s.setJoinSoundVolume(v.toDouble()); }, 0.25},
        {"leaveSoundEnabled", true, [](auto &s) { return QVariant(s.leaveSoundEnabled()); },
         [](auto &s, auto &v) { s.setLeaveSoundEnabled(v.toBool()); }, false},
        {"leaveSoundVolume", 0.8, [](auto &s) { return QVariant(s.leaveSoundVolume()); },
         [](auto &s, auto &v) { s.setLeaveSoundVolume(v.toDouble()); }, 0.125},
    };
}
} // namespace

class AudioMachineStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir(machineDir()).removeRecursively(); }

    void freshMachineReturnsDefaults()
    {
        AudioMachineStore store;
        for (const Row &row : settingsTable())
            QVERIFY2(row.get(store) == row.fallback, qPrintable(row.key));
        QCOMPARE(store.participantGainDb("anyone"), 0);
        QCOMPARE(store.participantGainDb(QString()), 0);
    }

    void everySettingRoundTripsThroughTheFile()
    {
        {
            AudioMachineStore store;
            for (const Row &row : settingsTable())
                row.set(store, row.sample);
            // Flushed at once: another reader sees every value before the store goes away.
            QSettings ini(machineIniPath("audio"), QSettings::IniFormat);
            for (const Row &row : settingsTable())
                QVERIFY2(ini.value(row.key) == row.sample, qPrintable(row.key));
        }
        AudioMachineStore again;
        for (const Row &row : settingsTable())
            QVERIFY2(row.get(again) == row.sample, qPrintable(row.key));
    }

    void valuesAreStoredAsGiven()
    {
        AudioMachineStore store;
        store.setInputGainDb(99);
        QCOMPARE(store.inputGainDb(), 99);
        store.setNoiseMode(QString());
        QCOMPARE(store.noiseMode(), QString());
        store.setJoinSoundVolume(3.5);
        QCOMPARE(store.joinSoundVolume(), 3.5);
    }

    void unreadableValuesConvertAsZero()
    {
        QDir().mkpath(machineDir());
        {
            QSettings ini(machineIniPath("audio"), QSettings::IniFormat);
            ini.setValue("inputGainDb", "loud");
            ini.setValue("joinSoundVolume", "half");
        }
        AudioMachineStore store;
        QCOMPARE(store.inputGainDb(), 0);
        QCOMPARE(store.joinSoundVolume(), 0.0);
    }

    void participantGainsKeepAwkwardIdentities_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("plain") << "user-42";
        QTest::newRow("slash") << "team/alice";
        QTest::newRow("backslash") << "DOMAIN\\bob";
        QTest::newRow("spaces and equals") << "a b = c";
        QTest::newRow("ini syntax") << "[gains];#x";
        QTest::newRow("percent") << "100%25";
        QTest::newRow("unicode") << QString::fromUtf8("用户-Ω-😀");
        QTest::newRow("empty") << "";
        QTest::newRow("long") << QString(300, 'x');
    }

    void participantGainsKeepAwkwardIdentities()
    {
        QFETCH(QString, id);
        {
            AudioMachineStore store;
            store.setParticipantGainDb(id, -6);
            store.setParticipantGainDb(id + "-other", 12);
            QCOMPARE(store.participantGainDb(id), -6);
        }
        AudioMachineStore again;
        QCOMPARE(again.participantGainDb(id), -6);
        QCOMPARE(again.participantGainDb(id + "-other"), 12);
        QCOMPARE(again.participantGainDb(id + "x"), 0);
        QCOMPARE(again.participantGainDb("someone else"), 0);
    }

    void plainIdentityIsAKeyOfTheGainsGroup()
    {
        AudioMachineStore store;
        store.setParticipantGainDb("user-42", -6);
        QSettings ini(machineIniPath("audio"), QSettings::IniFormat);
        ini.beginGroup("gains");
        QCOMPARE(ini.childKeys(), QStringList{"user-42"});
        QCOMPARE(ini.value("user-42").toInt(), -6);
    }
};

KESTOVA_TEST_MAIN(AudioMachineStoreTest)
#include "test_audio_machine_store.moc"
