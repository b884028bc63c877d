#include "room/i_room_storage.h"
#include "room/room_create_config_service.h"
#include "room/room_machine_store.h"
#include "storage/data_root.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>

using testsupport::LogCapture;

namespace {

// Storage in memory that counts the saves.
class MemoryRoomStorage : public IRoomStorage
{
public:
    QList<RoomCreateConfig> load() override { return stored; }
    void save(const QList<RoomCreateConfig> &configs) override
    {
        stored = configs;
        ++saves;
    }

    QList<RoomCreateConfig> stored;
    int saves = 0;
};

RoomCreateConfig preset(const QString &name, const QString &roomName = {}, int bitrate = 64000)
{
    RoomCreateConfig c;
    c.name = name;
    c.roomName = roomName;
    c.bitrate = bitrate;
    return c;
}

QStringList names(const QList<RoomCreateConfig> &configs)
{
    QStringList out;
    for (const auto &c : configs)
        out << c.name;
    return out;
}

QString iniPath()
{
    return machineIniPath("room");
}

QString fileText()
{
    QFile file(iniPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

class RoomCreateConfigsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir(machineDir()).removeRecursively(); }

    void freshMachineHasNoPresets()
    {
        RoomMachineStore store;
        RoomCreateConfigService service(&store);
        QVERIFY(service.configs().isEmpty());
        QVERIFY(service.toJson(0).isEmpty());
        QVERIFY(service.toJson(-1).isEmpty());
    }

    void addTwiceWritesBothPresetsWithTheirDefaults()
    {
        LogCapture logs;
        {
            RoomMachineStore store;
            RoomCreateConfigService service(&store);
            QSignalSpy changed(&service, &RoomCreateConfigService::configsChanged);
            service.addConfig();
            service.addConfig();
            QCOMPARE(changed.size(), 2);
            QCOMPARE(names(service.configs()), (QStringList{"新配置", "新配置"}));
        }
        QVERIFY(logs.contains("room.create", "create config added index=0"));
        QVERIFY(logs.contains("room.create", "create config added index=1"));

        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("createConfigs/size").toInt(), 2);
        for (const QString n : {"1", "2"}) {
            ini.beginGroup("createConfigs/" + n);
            QCOMPARE(ini.value("name").toString(), QStringLiteral("新配置"));
            QCOMPARE(ini.value("roomName").toString(), QString());
            QCOMPARE(ini.value("bitrate").toInt(), 64000);
            QCOMPARE(ini.value("accessMode").toString(), QStringLiteral("public"));
            QCOMPARE(ini.value("requireApproval").toBool(), false);
            QCOMPARE(ini.value("codeDirectEntry").toBool(), true);
            // The file spells the sub-room keys with a lower-case "r".
            QCOMPARE(ini.value("allowSubroom").toString(), QStringLiteral("ask"));
            QCOMPARE(ini.value("allowSubroomBroadcast").toBool(), true);
            QCOMPARE(ini.value("allowSubroomChat").toBool(), true);
            QCOMPARE(ini.childKeys().size(), 9);
            ini.endGroup();
        }
        QVERIFY(!fileText().contains("allowSubRoom"));
    }

    void everyFieldRoundTripsThroughTheFile()
    {
        RoomCreateConfig full;
        full.name = "夜聊";
        full.roomName = "  深夜电台 ";
        full.bitrate = 128000;
        full.accessMode = "apply";
        full.requireApproval = true;
        full.codeDirectEntry = false;
        full.allowSubRoom = "deny";
        full.allowSubRoomBroadcast = false;
        full.allowSubRoomChat = false;
        {
            RoomMachineStore store;
            store.save({full, preset("b")});
        }
        RoomMachineStore reopened;
        const QList<RoomCreateConfig> loaded = reopened.load();
        QCOMPARE(loaded.size(), 2);
        QVERIFY(loaded.at(0) == full);
        QCOMPARE(loaded.at(1).name, QStringLiteral("b"));
    }

    void removingTheFirstOfThreeLeavesTwo()
    {
        LogCapture logs;
        {
            RoomMachineStore store;
            RoomCreateConfigService service(&store);
            for (int i = 0; i < 3; ++i) {
                service.addConfig();
                service.renameConfig(i, QStringLiteral("c%1").arg(i));
            }
            service.removeConfig(0);
            QCOMPARE(names(service.configs()), (QStringList{"c1", "c2"}));
        }
        QVERIFY(logs.contains("room.create", "create config deleted index=0"));
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("createConfigs/size").toInt(), 2);
        QCOMPARE(ini.value("createConfigs/1/name").toString(), QStringLiteral("c1"));
        QCOMPARE(ini.value("createConfigs/2/name").toString(), QStringLiteral("c2"));
        ini.beginGroup("createConfigs");
        QVERIFY(!ini.childGroups().contains("3"));
        ini.endGroup();

        RoomMachineStore store;
        QCOMPARE(names(store.load()), (QStringList{"c1", "c2"}));
    }

    void missingKeysReadTheirDefaults_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::newRow("name") << "name";
        QTest::newRow("roomName") << "roomName";
        QTest::newRow("bitrate") << "bitrate";
        QTest::newRow("accessMode") << "accessMode";
        QTest::newRow("requireApproval") << "requireApproval";
        QTest::newRow("codeDirectEntry") << "codeDirectEntry";
        QTest::newRow("allowSubroom") << "allowSubroom";
        QTest::newRow("allowSubroomBroadcast") << "allowSubroomBroadcast";
        QTest::newRow("allowSubroomChat") << "allowSubroomChat";
    }

    void missingKeysReadTheirDefaults()
    {
        QFETCH(QString, missing);
        // Every key holds the opposite of its default, except the one left out.
        const QList<QPair<QString, QVariant>> edited = {
            {"name", "hand"},
            {"roomName", "r"},
            {"bitrate", 32000},
            {"accessMode", "apply"},
            {"requireApproval", true},
            {"codeDirectEntry", false},
            {"allowSubroom", "deny"},
            {"allowSubroomBroadcast", false},
            {"allowSubroomChat", false},
        };
        QDir().mkpath(machineDir());
        {
            QSettings ini(iniPath(), QSettings::IniFormat);
            ini.setValue("createConfigs/size", 1);
            for (const auto &[key, value] : edited) {
                if (key != missing)
                    ini.setValue("createConfigs/1/" + key, value);
            }
        }
        RoomMachineStore store;
        const QList<RoomCreateConfig> loaded = store.load();
        QCOMPARE(loaded.size(), 1);
        const RoomCreateConfig &c = loaded.at(0);
        const QMap<QString, QVariant> read = {
            {"name", c.name},
            {"roomName", c.roomName},
            {"bitrate", c.bitrate},
            {"accessMode", c.accessMode},
            {"requireApproval", c.requireApproval},
            {"codeDirectEntry", c.codeDirectEntry},
            {"allowSubroom", c.allowSubRoom},
            {"allowSubroomBroadcast", c.allowSubRoomBroadcast},
            {"allowSubroomChat", c.allowSubRoomChat},
        };
        const QMap<QString, QVariant> defaults = {
            {"name", QString()},      {"roomName", QString()},         {"bitrate", 64000},
            {"accessMode", "public"}, {"requireApproval", false},      {"codeDirectEntry", true},
            {"allowSubroom", "ask"},  {"allowSubroomBroadcast", true}, {"allowSubroomChat", true},
        };
        for (const auto &[key, value] : edited) {
            const QVariant expected = key == missing ? defaults.value(key) : value;
            QCOMPARE(read.value(key).toString(), expected.toString());
        }
    }

    void handEditedSizeStopsAtTheLastStoredPreset_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("size far beyond the presets") << 2000000000 << QStringList{"a", "", "c"};
        QTest::newRow("gap below the last preset reads defaults") << 3 << QStringList{"a", "", "c"};
        QTest::newRow("size below the presets") << 2 << QStringList{"a", ""};
        QTest::newRow("no size") << 0 << QStringList();
    }

    void handEditedSizeStopsAtTheLastStoredPreset()
    {
        QFETCH(int, size);
        QFETCH(QStringList, expected);
        QDir().mkpath(machineDir());
        {
            QSettings ini(iniPath(), QSettings::IniFormat);
            if (size != 0)
                ini.setValue("createConfigs/size", size);
            ini.setValue("createConfigs/1/name", "a");
            ini.setValue("createConfigs/3/name", "c");
            ini.setValue("createConfigs/3/bitrate", 24000);
        }
        RoomMachineStore store;
        const QList<RoomCreateConfig> loaded = store.load();
        QCOMPARE(names(loaded), expected);
        if (loaded.size() == 3) {
            QCOMPARE(loaded.at(1).bitrate, 64000);
            QCOMPARE(loaded.at(2).bitrate, 24000);
        }
    }

    void rename_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("changes");
        QTest::newRow("trimmed") << 0 << "  周末  "
                                 << "周末" << true;
        QTest::newRow("blanks only") << 0 << " \t "
                                     << "old" << false;
        QTest::newRow("current label") << 0 << "old"
                                       << "old" << false;
        QTest::newRow("current label with blanks") << 0 << " old"
                                                   << "old" << false;
        QTest::newRow("out of range") << 1 << "x"
                                      << "old" << false;
        QTest::newRow("negative") << -1 << "x"
                                  << "old" << false;
    }

    void rename()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFETCH(bool, changes);
        MemoryRoomStorage storage;
        storage.stored = {preset("old")};
        RoomCreateConfigService service(&storage);
        QSignalSpy changed(&service, &RoomCreateConfigService::configsChanged);
        service.renameConfig(index, name);
        QCOMPARE(service.configs().at(0).name, expected);
        QCOMPARE(changed.size(), changes ? 1 : 0);
        QCOMPARE(storage.saves, changes ? 1 : 0);
    }

    void renameStoresTheTrimmedLabelInTheFile()
    {
        {
            RoomMachineStore store;
            RoomCreateConfigService service(&store);
            service.addConfig();
            service.renameConfig(0, "  周末  ");
        }
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("createConfigs/1/name").toString(), QStringLiteral("周末"));
    }

    void updateKeepsTheStoredLabel()
    {
        MemoryRoomStorage storage;
        storage.stored = {preset("a"), preset("b")};
        RoomCreateConfigService service(&storage);
        QSignalSpy changed(&service, &RoomCreateConfigService::configsChanged);

        RoomCreateConfig edited = preset("other label", "room", 96000);
        edited.accessMode = "apply";
        edited.requireApproval = true;
        edited.codeDirectEntry = false;
        edited.allowSubRoom = "deny";
        edited.allowSubRoomBroadcast = false;
        edited.allowSubRoomChat = false;
        service.updateConfig(1, edited);

        RoomCreateConfig expected = edited;
        expected.name = "b";
        QVERIFY(service.configs().at(1) == expected);
        QVERIFY(service.configs().at(0) == preset("a"));
        QVERIFY(storage.stored.at(1) == expected);
        QCOMPARE(changed.size(), 1);

        // Announced and saved even when nothing differs.
        service.updateConfig(1, expected);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(storage.saves, 2);

        service.updateConfig(2, edited);
        service.updateConfig(-1, edited);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(storage.saves, 2);
    }

    void removeOutOfRangeDoesNothing()
    {
        MemoryRoomStorage storage;
        storage.stored = {preset("a")};
        RoomCreateConfigService service(&storage);
        QSignalSpy changed(&service, &RoomCreateConfigService::configsChanged);
        service.removeConfig(1);
        service.removeConfig(-1);
        QCOMPARE(names(service.configs()), QStringList{"a"});
        QCOMPARE(changed.size(), 0);
        QCOMPARE(storage.saves, 0);
    }

    void toJson_data()
    {
        QTest::addColumn<QString>("roomName");
        QTest::addColumn<QJsonValue>("sentName");
        QTest::newRow("name trimmed") << "  大厅 " << QJsonValue("大厅");
        QTest::newRow("blank name left out") << "   " << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("empty name left out") << "" << QJsonValue(QJsonValue::Undefined);
    }

    void toJson()
    {
        QFETCH(QString, roomName);
        QFETCH(QJsonValue, sentName);
        MemoryRoomStorage storage;
        RoomCreateConfig c = preset("label", roomName, 48000);
        c.accessMode = "apply";
        c.requireApproval = true;
        c.codeDirectEntry = false;
        c.allowSubRoom = "deny";
        c.allowSubRoomBroadcast = false;
        c.allowSubRoomChat = true;
        storage.stored = {c};
        RoomCreateConfigService service(&storage);

        QJsonObject expected{
            {"bitrate", 48000},         {"accessMode", "apply"},  {"requireApproval", true},
            {"codeDirectEntry", false}, {"allowSubRoom", "deny"}, {"allowSubRoomBroadcast", false},
            {"allowSubRoomChat", true},
        };
        if (!sentName.isUndefined())
            expected.insert("roomName", sentName);
        QCOMPARE(service.toJson(0), expected);
        QVERIFY(service.toJson(1).isEmpty());
        QVERIFY(service.toJson(-1).isEmpty());
    }
};

KESTOVA_TEST_MAIN(RoomCreateConfigsTest)
#include "test_room_create_configs.moc"
