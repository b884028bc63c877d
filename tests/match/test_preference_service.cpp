#include "match/i_pref_storage.h"
#include "match/pref_assembly.h"
#include "match/pref_machine_store.h"
#include "match/preference_service.h"
#include "storage/data_root.h"
#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>

namespace {

// Storage in memory that counts the saves and remembers what each one held.
class MemoryPrefStorage : public IPrefStorage
{
public:
    QList<PrefConfig> load() override { return stored; }
    void save(const QList<PrefConfig> &configs) override
    {
        stored = configs;
        ++saves;
    }

    QList<PrefConfig> stored;
    int saves = 0;
};

// The groups as "name:id,id" texts.
QStringList describe(const QList<PrefConfig> &configs)
{
    QStringList out;
    for (const auto &c : configs)
        out << c.name + ":" + c.memberIds.join(',');
    return out;
}

QString iniPath()
{
    return machineIniPath("pref");
}

} // namespace

class PreferenceServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir(machineDir()).removeRecursively(); }

    void noFileThenFirstAddCreatesIt()
    {
        PrefAssembly assembly;
        PreferenceService *service = assembly.preferenceService();
        QVERIFY(service->configs().isEmpty());
        QVERIFY(!QFile::exists(iniPath()));

        QSignalSpy changed(service, &PreferenceService::configsChanged);
        service->addConfig();
        service->addConfig();
        QCOMPARE(changed.size(), 2);
        QCOMPARE(describe(service->configs()), (QStringList{"新配置:", "新配置:"}));

        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("prefConfigs/size").toInt(), 2);
        QCOMPARE(ini.value("prefConfigs/1/name").toString(), QStringLiteral("新配置"));
        QVERIFY(ini.value("prefConfigs/1/memberIds").toStringList().isEmpty());
    }

    void membersRoundTripThroughTheFile_data()
    {
        QTest::addColumn<QStringList>("members");
        QTest::newRow("none") << QStringList();
        QTest::newRow("one") << QStringList{"u1"};
        QTest::newRow("several in order") << QStringList{"u3", "u1", "u2"};
        QTest::newRow("comma and blanks inside ids") << QStringList{"a,b", " c ", "d"};
        QTest::newRow("one id with a comma") << QStringList{"x,y"};
        QTest::newRow("non-ascii and quotes") << QStringList{"用户", "\"q\"", "a=b;c"};
    }

    void membersRoundTripThroughTheFile()
    {
        QFETCH(QStringList, members);
        {
            PrefAssembly assembly;
            PreferenceService *service = assembly.preferenceService();
            service->addConfig();
            service->renameConfig(0, "朋友");
            for (const QString &id : members)
                service->addMember(0, id);
        }
        PrefAssembly reopened;
        const QList<PrefConfig> configs = reopened.preferenceService()->configs();
        QCOMPARE(configs.size(), 1);
        QCOMPARE(configs.at(0).name, QStringLiteral("朋友"));
        QCOMPARE(configs.at(0).memberIds, members);
    }

    void removingTheFirstOfThreeLeavesTwo()
    {
        {
            PrefAssembly assembly;
            PreferenceService *service = assembly.preferenceService();
            for (int i = 0; i < 3; ++i) {
                service->addConfig();
                service->renameConfig(i, QStringLiteral("g%1").arg(i));
                service->addMember(i, QStringLiteral("u%1").arg(i));
            }
            service->removeConfig(0);
            QCOMPARE(describe(service->configs()), (QStringList{"g1:u1", "g2:u2"}));
        }
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("prefConfigs/size").toInt(), 2);
        QVERIFY(!ini.contains("prefConfigs/3/name"));
        QVERIFY(!ini.contains("prefConfigs/3/memberIds"));

        PrefAssembly reopened;
        QCOMPARE(describe(reopened.preferenceService()->configs()), (QStringList{"g1:u1", "g2:u2"}));
    }

    void removingEveryGroupLeavesAnEmptyArray()
    {
        {
            PrefAssembly assembly;
            assembly.preferenceService()->addConfig();
            assembly.preferenceService()->removeConfig(0);
        }
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("prefConfigs/size").toInt(), 0);
        QVERIFY(!ini.contains("prefConfigs/1/name"));
    }

    void handEditedFileReadsMissingKeysAsEmpty()
    {
        QDir().mkpath(machineDir());
        {
            QSettings ini(iniPath(), QSettings::IniFormat);
            ini.setValue("prefConfigs/size", 2);
            ini.setValue("prefConfigs/1/memberIds", QStringList{"a", "b"});
            ini.setValue("prefConfigs/2/name", "only name");
        }
        PrefMachineStore store;
        QCOMPARE(describe(store.load()), (QStringList{":a,b", "only name:"}));
    }

    void handEditedSizeStopsAtTheLastStoredGroup_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("size far beyond the groups") << 1000000000 << QStringList{"a:u1", ":", "c:"};
        QTest::newRow("gap below the last group reads empty") << 3 << QStringList{"a:u1", ":", "c:"};
        QTest::newRow("size below the groups") << 1 << QStringList{"a:u1"};
        QTest::newRow("size between the groups") << 2 << QStringList{"a:u1", ":"};
        QTest::newRow("negative size") << -4 << QStringList();
    }

    void handEditedSizeStopsAtTheLastStoredGroup()
    {
        QFETCH(int, size);
        QFETCH(QStringList, expected);
        QDir().mkpath(machineDir());
        {
            QSettings ini(iniPath(), QSettings::IniFormat);
            ini.setValue("prefConfigs/size", size);
            ini.setValue("prefConfigs/1/name", "a");
            ini.setValue("prefConfigs/1/memberIds", QStringList{"u1"});
            ini.setValue("prefConfigs/3/name", "c");
        }
        PrefMachineStore store;
        QCOMPARE(describe(store.load()), expected);
    }

    void rename_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("changes");
        QTest::newRow("blanks around are trimmed") << 0 << "  家人 \t"
                                                   << "家人" << true;
        QTest::newRow("blanks only") << 0 << "   "
                                     << "old" << false;
        QTest::newRow("empty") << 0 << ""
                               << "old" << false;
        QTest::newRow("same after trimming") << 0 << " old "
                                             << "old" << false;
        QTest::newRow("index past the end") << 1 << "new"
                                            << "old" << false;
        QTest::newRow("negative index") << -1 << "new"
                                        << "old" << false;
    }

    void rename()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFETCH(bool, changes);
        MemoryPrefStorage storage;
        storage.stored = {PrefConfig{"old", {"u1"}}};
        PreferenceService service(&storage);
        QSignalSpy changed(&service, &PreferenceService::configsChanged);

        service.renameConfig(index, name);

        QCOMPARE(service.configs().at(0).name, expected);
        QCOMPARE(changed.size(), changes ? 1 : 0);
        QCOMPARE(storage.saves, changes ? 1 : 0);
    }

    void addMember_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("new id appended") << 0 << "u3" << QStringList{"u1", "u2", "u3"};
        QTest::newRow("present id kept once") << 0 << "u2" << QStringList{"u1", "u2"};
        QTest::newRow("compared case-sensitively") << 0 << "U2" << QStringList{"u1", "u2", "U2"};
        QTest::newRow("empty id") << 0 << "" << QStringList{"u1", "u2"};
        QTest::newRow("index out of range") << 2 << "u3" << QStringList{"u1", "u2"};
    }

    void addMember()
    {
        QFETCH(int, index);
        QFETCH(QString, userId);
        QFETCH(QStringList, expected);
        MemoryPrefStorage storage;
        storage.stored = {PrefConfig{"g", {"u1", "u2"}}};
        PreferenceService service(&storage);
        QSignalSpy changed(&service, &PreferenceService::configsChanged);

        service.addMember(index, userId);

        const bool changes = expected.size() == 3;
        QCOMPARE(service.configs().at(0).memberIds, expected);
        QCOMPARE(changed.size(), changes ? 1 : 0);
        QCOMPARE(storage.saves, changes ? 1 : 0);
    }

    void addingTwiceKeepsOneEntry()
    {
        MemoryPrefStorage storage;
        storage.stored = {PrefConfig{"g", {}}};
        PreferenceService service(&storage);
        service.addMember(0, "u1");
        service.addMember(0, "u1");
        QCOMPARE(service.configs().at(0).memberIds, QStringList{"u1"});
        QCOMPARE(storage.saves, 1);
    }

    void removeMember_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("changes");
        // A hand-edited file may hold an id twice; every copy goes.
        QTest::newRow("every occurrence removed") << 0 << "u1" << QStringList{"u2"} << true;
        QTest::newRow("absent id writes nothing") << 0 << "u9" << QStringList{"u1", "u2", "u1"} << false;
        QTest::newRow("index out of range") << 1 << "u1" << QStringList{"u1", "u2", "u1"} << false;
    }

    void removeMember()
    {
        QFETCH(int, index);
        QFETCH(QString, userId);
        QFETCH(QStringList, expected);
        QFETCH(bool, changes);
        MemoryPrefStorage storage;
        storage.stored = {PrefConfig{"g", {"u1", "u2", "u1"}}};
        PreferenceService service(&storage);
        QSignalSpy changed(&service, &PreferenceService::configsChanged);

        service.removeMember(index, userId);

        QCOMPARE(service.configs().at(0).memberIds, expected);
        QCOMPARE(changed.size(), changes ? 1 : 0);
        QCOMPARE(storage.saves, changes ? 1 : 0);
    }

    void removeConfigOutOfRangeDoesNothing()
    {
        MemoryPrefStorage storage;
        storage.stored = {PrefConfig{"a", {}}, PrefConfig{"b", {}}};
        PreferenceService service(&storage);
        QSignalSpy changed(&service, &PreferenceService::configsChanged);
        service.removeConfig(2);
        service.removeConfig(-1);
        QCOMPARE(describe(service.configs()), (QStringList{"a:", "b:"}));
        QCOMPARE(changed.size(), 0);
        QCOMPARE(storage.saves, 0);
    }

    void savedBeforeTheSignal()
    {
        MemoryPrefStorage storage;
        PreferenceService service(&storage);
        QStringList seenAtSignal;
        connect(&service, &PreferenceService::configsChanged, this, [&] { seenAtSignal = describe(storage.stored); });
        service.addConfig();
        QCOMPARE(seenAtSignal, QStringList{"新配置:"});
    }
};

KESTOVA_TEST_MAIN(PreferenceServiceTest)
#include "test_preference_service.moc"
