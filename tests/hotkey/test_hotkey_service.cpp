#include "fake_keyboard_source.h"
#include "hotkey/global_hotkey_monitor.h"
#include "hotkey/hotkey_assembly.h"
#include "hotkey/hotkey_machine_store.h"
#include "hotkey/hotkey_service.h"
#include "storage/data_root.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>

using testsupport::FakeKeyboardSource;
using testsupport::LogCapture;

namespace {

QString iniPath()
{
    return machineIniPath(QStringLiteral("hotkeys"));
}

void writeStored(const QString &action, const QString &text)
{
    QSettings settings(iniPath(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("bindings/") + action, text);
}

QString stored(const QString &action)
{
    QSettings settings(iniPath(), QSettings::IniFormat);
    return settings.value(QStringLiteral("bindings/") + action).toString();
}

// The service as the hotkey module builds it, over a played keyboard.
struct Rig
{
    FakeKeyboardSource *keys = nullptr;
    std::unique_ptr<GlobalHotkeyMonitor> monitor;
    std::unique_ptr<HotkeyAssembly> assembly;
    HotkeyService *service = nullptr;
    std::unique_ptr<QSignalSpy> pttPressed, pttReleased, broadcastPressed, broadcastReleased, changed;

    Rig()
    {
        auto keyboard = std::make_unique<FakeKeyboardSource>();
        keys = keyboard.get();
        monitor = std::make_unique<GlobalHotkeyMonitor>(nullptr, std::move(keyboard));
        assembly = std::make_unique<HotkeyAssembly>(monitor.get());
        service = assembly->service();
        pttPressed = std::make_unique<QSignalSpy>(service, &HotkeyService::pttPressed);
        pttReleased = std::make_unique<QSignalSpy>(service, &HotkeyService::pttReleased);
        broadcastPressed = std::make_unique<QSignalSpy>(service, &HotkeyService::broadcastPressed);
        broadcastReleased = std::make_unique<QSignalSpy>(service, &HotkeyService::broadcastReleased);
        changed = std::make_unique<QSignalSpy>(service, &HotkeyService::bindingChanged);
    }
    ~Rig()
    {
        assembly.reset();
        monitor.reset();
    }
};

constexpr quint16 kF2 = 113;
constexpr quint16 kF3 = 114;
constexpr quint16 kF5 = 116;

} // namespace

class HotkeyServiceTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void defaultsWithoutFile();
    void storedBindings_data();
    void storedBindings();
    void pressAndRelease();
    void conflictRefused();
    void refusesOtherThanOneKey_data();
    void refusesOtherThanOneKey();
    void rebindSameKeyChangesNothing();
    void rebindStoresAndMovesWatchedKey();
    void rebindWhileHeldReleasesFirst();
    void suspendReleasesAndSilences();
    void storeWritesGroupAtOnce();
};

void HotkeyServiceTest::init()
{
    QFile::remove(iniPath());
}

void HotkeyServiceTest::defaultsWithoutFile()
{
    Rig rig;
    QCOMPARE(rig.service->bindingFor(HotkeyAction::Ptt), QKeySequence(Qt::Key_F2));
    QCOMPARE(rig.service->bindingFor(HotkeyAction::Broadcast), QKeySequence(Qt::Key_F3));
    QCOMPARE(rig.service->bindingFor(static_cast<HotkeyAction>(7)), QKeySequence());
    QVERIFY(!QFileInfo::exists(iniPath()));
    QCOMPARE(hotkeyActionName(HotkeyAction::Ptt), QStringLiteral("ptt"));
    QCOMPARE(hotkeyActionName(HotkeyAction::Broadcast), QStringLiteral("broadcast"));
    QCOMPARE(hotkeyActionName(static_cast<HotkeyAction>(7)), QString());
}

void HotkeyServiceTest::storedBindings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QKeySequence>("ptt");
    QTest::newRow("one key") << "F10" << QKeySequence(Qt::Key_F10);
    QTest::newRow("modifier dropped") << "Ctrl+F5" << QKeySequence(Qt::Key_F5);
    QTest::newRow("two combinations") << "F2, F3" << QKeySequence(Qt::Key_F2);
    QTest::newRow("garbage") << "Nonsense+++" << QKeySequence(Qt::Key_F2);
}

void HotkeyServiceTest::storedBindings()
{
    QFETCH(QString, text);
    QFETCH(QKeySequence, ptt);
    writeStored(QStringLiteral("ptt"), text);
    Rig rig;
    QCOMPARE(rig.service->bindingFor(HotkeyAction::Ptt), ptt);
    QCOMPARE(rig.service->bindingFor(HotkeyAction::Broadcast), QKeySequence(Qt::Key_F3));
    // A fallback rewrites nothing.
    QCOMPARE(stored(QStringLiteral("ptt")), text);
}

void HotkeyServiceTest::pressAndRelease()
{
    Rig rig;
    rig.keys->press(kF2);
    rig.keys->press(kF3);
    QCOMPARE(rig.pttPressed->count(), 1);
    QCOMPARE(rig.broadcastPressed->count(), 1);
    rig.keys->release(kF3);
    rig.keys->release(kF2);
    QCOMPARE(rig.pttReleased->count(), 1);
    QCOMPARE(rig.broadcastReleased->count(), 1);
}

void HotkeyServiceTest::conflictRefused()
{
    Rig rig;
    QVERIFY(!rig.service->setBinding(HotkeyAction::Broadcast, QKeySequence(Qt::Key_F2)));
    // Modifiers do not make a different key.
    QVERIFY(!rig.service->setBinding(HotkeyAction::Broadcast, QKeySequence(Qt::CTRL | Qt::Key_F2)));
    QCOMPARE(rig.service->bindingFor(HotkeyAction::Broadcast), QKeySequence(Qt::Key_F3));
    QCOMPARE(rig.changed->count(), 0);
    QVERIFY(!QFileInfo::exists(iniPath()));
    rig.keys->press(kF2);
    QCOMPARE(rig.broadcastPressed->count(), 0);
    QCOMPARE(rig.pttPressed->count(), 1);
}

void HotkeyServiceTest::refusesOtherThanOneKey_data()
{
    QTest::addColumn<QKeySequence>("sequence");
    QTest::newRow("empty") << QKeySequence();
    QTest::newRow("two keys") << QKeySequence(Qt::Key_F5, Qt::Key_F6);
    QTest::newRow("unknown key") << QKeySequence::fromString(QStringLiteral("Nonsense+++"));
}

void HotkeyServiceTest::refusesOtherThanOneKey()
{
    QFETCH(QKeySequence, sequence);
    Rig rig;
    QVERIFY(!rig.service->setBinding(HotkeyAction::Ptt, sequence));
    QCOMPARE(rig.service->bindingFor(HotkeyAction::Ptt), QKeySequence(Qt::Key_F2));
    QCOMPARE(rig.changed->count(), 0);
}

void HotkeyServiceTest::rebindSameKeyChangesNothing()
{
    Rig rig;
    QVERIFY(rig.service->setBinding(HotkeyAction::Ptt, QKeySequence(Qt::Key_F2)));
    QCOMPARE(rig.changed->count(), 0);
    QVERIFY(!QFileInfo::exists(iniPath()));
}

void HotkeyServiceTest::rebindStoresAndMovesWatchedKey()
{
    LogCapture log;
    {
        Rig rig;
        const QKeySequence sequence(Qt::CTRL | Qt::Key_F5);
        QVERIFY(rig.service->setBinding(HotkeyAction::Ptt, sequence));
        QCOMPARE(rig.changed->count(), 1);
        QCOMPARE(rig.changed->first().at(0).value<HotkeyAction>(), HotkeyAction::Ptt);
        QCOMPARE(rig.changed->first().at(1).value<QKeySequence>(), sequence);
        QCOMPARE(rig.service->bindingFor(HotkeyAction::Ptt), QKeySequence(Qt::Key_F5));
        QCOMPARE(stored(QStringLiteral("ptt")), QStringLiteral("Ctrl+F5"));
        QVERIFY(
            log.contains(QStringLiteral("hotkey.service"), QStringLiteral("binding changed, action=ptt key=Ctrl+F5")));
        // F5 alone triggers; the old key is quiet.
        rig.keys->press(kF2);
        QCOMPARE(rig.pttPressed->count(), 0);
        rig.keys->press(kF5);
        QCOMPARE(rig.pttPressed->count(), 1);
        // The old key is free for the other action.
        QVERIFY(rig.service->setBinding(HotkeyAction::Broadcast, QKeySequence(Qt::Key_F2)));
    }
    // The next start reads what was stored.
    Rig again;
    QCOMPARE(again.service->bindingFor(HotkeyAction::Ptt), QKeySequence(Qt::Key_F5));
    QCOMPARE(again.service->bindingFor(HotkeyAction::Broadcast), QKeySequence(Qt::Key_F2));
}

void HotkeyServiceTest::rebindWhileHeldReleasesFirst()
{
    Rig rig;
    rig.keys->press(kF2);
    QCOMPARE(rig.pttPressed->count(), 1);
    QList<QString> order;
    connect(rig.service, &HotkeyService::pttReleased, rig.service, [&order] { order.append("released"); });
    connect(rig.service, &HotkeyService::bindingChanged, rig.service, [&order] { order.append("changed"); });
    QVERIFY(rig.service->setBinding(HotkeyAction::Ptt, QKeySequence(Qt::Key_F5)));
    QCOMPARE(order, (QList<QString>{"released", "changed"}));
    // Letting go of the old key reports nothing more.
    rig.keys->release(kF2);
    QCOMPARE(rig.pttReleased->count(), 1);
}

void HotkeyServiceTest::suspendReleasesAndSilences()
{
    Rig rig;
    LogCapture log;
    rig.keys->press(kF2);
    rig.service->setSuspended(true);
    QCOMPARE(rig.pttReleased->count(), 1);
    QCOMPARE(rig.broadcastReleased->count(), 0);
    QVERIFY(log.contains(QStringLiteral("hotkey.service"), QStringLiteral("dispatch suspended")));
    rig.service->setSuspended(true);
    QCOMPARE(rig.pttReleased->count(), 1);
    // No signals while suspended.
    rig.keys->release(kF2);
    rig.keys->press(kF3);
    rig.keys->release(kF3);
    QCOMPARE(rig.broadcastPressed->count(), 0);
    QCOMPARE(rig.broadcastReleased->count(), 0);
    QCOMPARE(rig.pttPressed->count(), 1);
    // A key held across the resume is reported at its next press only.
    rig.keys->press(kF3);
    rig.service->setSuspended(false);
    QVERIFY(log.contains(QStringLiteral("hotkey.service"), QStringLiteral("dispatch resumed")));
    QCOMPARE(rig.broadcastPressed->count(), 0);
    rig.keys->release(kF3);
    QCOMPARE(rig.broadcastReleased->count(), 0);
    rig.keys->press(kF3);
    QCOMPARE(rig.broadcastPressed->count(), 1);
}

void HotkeyServiceTest::storeWritesGroupAtOnce()
{
    HotkeyMachineStore store;
    QCOMPARE(store.binding(QStringLiteral("ptt")), QString());
    store.setBinding(QStringLiteral("broadcast"), QStringLiteral("F9"));
    // On disk before the store goes away.
    QCOMPARE(stored(QStringLiteral("broadcast")), QStringLiteral("F9"));
    QCOMPARE(store.binding(QStringLiteral("broadcast")), QStringLiteral("F9"));
}

KESTOVA_TEST_MAIN(HotkeyServiceTest)
#include "test_hotkey_service.moc"
