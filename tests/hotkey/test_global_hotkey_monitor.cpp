#include "fake_keyboard_source.h"
#include "hotkey/global_hotkey_monitor.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSignalSpy>
#include <QTimer>

using testsupport::FakeKeyboardSource;
using testsupport::LogCapture;

namespace {

struct Rig
{
    FakeKeyboardSource *keys = nullptr;
    std::unique_ptr<GlobalHotkeyMonitor> monitor;
    std::unique_ptr<QSignalSpy> downs;
    std::unique_ptr<QSignalSpy> ups;

    Rig()
    {
        auto keyboard = std::make_unique<FakeKeyboardSource>();
        keys = keyboard.get();
        monitor = std::make_unique<GlobalHotkeyMonitor>(nullptr, std::move(keyboard));
        downs = std::make_unique<QSignalSpy>(monitor.get(), &GlobalHotkeyMonitor::keyDown);
        ups = std::make_unique<QSignalSpy>(monitor.get(), &GlobalHotkeyMonitor::keyUp);
    }
    QTimer *poll() const { return monitor->findChild<QTimer *>(QStringLiteral("releasePollTimer")); }
    // One poll, as if 100 ms had passed.
    void runPoll() const { QMetaObject::invokeMethod(poll(), "timeout", Qt::DirectConnection); }
    static QList<int> keysOf(const QSignalSpy &spy)
    {
        QList<int> keys;
        for (const QList<QVariant> &args : spy)
            keys.append(args.first().toInt());
        return keys;
    }
};

} // namespace

class GlobalHotkeyMonitorTest : public QObject
{
    Q_OBJECT
private slots:
    void keyMapping_data();
    void keyMapping();
    void unsupportedKeyIsNotWatched();
    void registersOnceAfterFirstWatch();
    void failedRegistrationRetriedOnNextKey();
    void repeatsReportNothing();
    void missedReleaseCaughtByPoll();
    void sameVirtualKeyReportsBoth();
    void watchTwiceKeepsOneEntry();
    void unwatchedKeyIsQuiet();
};

void GlobalHotkeyMonitorTest::keyMapping_data()
{
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<int>("vk");
    QTest::newRow("space") << int(Qt::Key_Space) << 32;
    QTest::newRow("0") << int(Qt::Key_0) << 48;
    QTest::newRow("9") << int(Qt::Key_9) << 57;
    QTest::newRow("A") << int(Qt::Key_A) << 65;
    QTest::newRow("Q") << int(Qt::Key_Q) << 81;
    QTest::newRow("Z") << int(Qt::Key_Z) << 90;
    QTest::newRow("tab") << int(Qt::Key_Tab) << 9;
    QTest::newRow("insert") << int(Qt::Key_Insert) << 45;
    QTest::newRow("delete") << int(Qt::Key_Delete) << 46;
    QTest::newRow("pause") << int(Qt::Key_Pause) << 19;
    QTest::newRow("home") << int(Qt::Key_Home) << 36;
    QTest::newRow("end") << int(Qt::Key_End) << 35;
    QTest::newRow("left") << int(Qt::Key_Left) << 37;
    QTest::newRow("up") << int(Qt::Key_Up) << 38;
    QTest::newRow("right") << int(Qt::Key_Right) << 39;
    QTest::newRow("down") << int(Qt::Key_Down) << 40;
    QTest::newRow("page up") << int(Qt::Key_PageUp) << 33;
    QTest::newRow("page down") << int(Qt::Key_PageDown) << 34;
    QTest::newRow("shift") << int(Qt::Key_Shift) << 16;
    QTest::newRow("control") << int(Qt::Key_Control) << 17;
    QTest::newRow("alt") << int(Qt::Key_Alt) << 18;
    QTest::newRow("caps lock") << int(Qt::Key_CapsLock) << 20;
    QTest::newRow("scroll lock") << int(Qt::Key_ScrollLock) << 145;
    QTest::newRow("F1") << int(Qt::Key_F1) << 112;
    QTest::newRow("F2") << int(Qt::Key_F2) << 113;
    QTest::newRow("F24") << int(Qt::Key_F24) << 135;
    QTest::newRow("semicolon by layout") << int(Qt::Key_Semicolon) << 0xBA;
    QTest::newRow("bracket by layout") << int(Qt::Key_BracketLeft) << 0xDB;
    QTest::newRow("exclamation drops shift") << int(Qt::Key_Exclam) << int('1');
    QTest::newRow("no layout key") << int(Qt::Key_ssharp) << 0;
    QTest::newRow("escape") << int(Qt::Key_Escape) << 0;
    QTest::newRow("F25") << int(Qt::Key_F25) << 0;
}

void GlobalHotkeyMonitorTest::keyMapping()
{
    QFETCH(int, qtKey);
    QFETCH(int, vk);
    Rig rig;
    QCOMPARE(int(GlobalHotkeyMonitor::virtualKeyFor(qtKey, *rig.keys)), vk);
    if (vk == 0)
        return;
    // The watched key answers to its virtual key and to no neighbour.
    rig.monitor->watchKey(qtKey);
    rig.keys->press(quint16(vk + 1));
    rig.keys->press(quint16(vk - 1));
    QCOMPARE(rig.downs->count(), 0);
    rig.keys->press(quint16(vk));
    QCOMPARE(Rig::keysOf(*rig.downs), QList<int>{qtKey});
    rig.keys->release(quint16(vk));
    QCOMPARE(Rig::keysOf(*rig.ups), QList<int>{qtKey});
}

void GlobalHotkeyMonitorTest::unsupportedKeyIsNotWatched()
{
    Rig rig;
    LogCapture log;
    rig.monitor->watchKey(Qt::Key_Escape);
    QVERIFY(log.contains(QStringLiteral("base.input"),
                         QStringLiteral("unsupported hotkey, no vk mapping, qtKey=%1").arg(int(Qt::Key_Escape))));
    QTest::qWait(0);
    QCOMPARE(rig.keys->registrations, 0);
    rig.keys->press(27);
    QCOMPARE(rig.downs->count(), 0);
}

void GlobalHotkeyMonitorTest::registersOnceAfterFirstWatch()
{
    Rig rig;
    LogCapture log;
    QCOMPARE(rig.keys->registrations, 0);
    rig.monitor->watchKey(Qt::Key_F2);
    rig.monitor->watchKey(Qt::Key_F3);
    // Queued: nothing happens inside the watch call itself.
    QCOMPARE(rig.keys->registrations, 0);
    QTRY_COMPARE(rig.keys->registrations, 1);
    QVERIFY(log.contains(QStringLiteral("base.input"), QStringLiteral("global hotkey monitor active")));
    rig.monitor->watchKey(Qt::Key_F4);
    QTest::qWait(0);
    QCOMPARE(rig.keys->registrations, 1);
}

void GlobalHotkeyMonitorTest::failedRegistrationRetriedOnNextKey()
{
    Rig rig;
    rig.keys->refuse = true;
    LogCapture log;
    rig.monitor->watchKey(Qt::Key_F2);
    QTRY_COMPARE(rig.keys->registrations, 1);
    QVERIFY(log.contains(QStringLiteral("base.input"),
                         QStringLiteral("raw input registration failed, global hotkeys inactive")));
    rig.keys->refuse = false;
    rig.monitor->watchKey(Qt::Key_F2); // already watched: no new attempt
    QTest::qWait(0);
    QCOMPARE(rig.keys->registrations, 1);
    rig.monitor->watchKey(Qt::Key_F3);
    QTRY_COMPARE(rig.keys->registrations, 2);
    QVERIFY(log.contains(QStringLiteral("base.input"), QStringLiteral("global hotkey monitor active")));
}

void GlobalHotkeyMonitorTest::repeatsReportNothing()
{
    Rig rig;
    rig.monitor->watchKey(Qt::Key_F2);
    rig.keys->press(113);
    rig.keys->press(113);
    rig.keys->press(113);
    QCOMPARE(rig.downs->count(), 1);
    QVERIFY(rig.poll()->isActive());
    QCOMPARE(rig.poll()->interval(), 100);
    // A poll while the key is held reports nothing and keeps polling.
    rig.runPoll();
    QCOMPARE(rig.ups->count(), 0);
    QVERIFY(rig.poll()->isActive());
    rig.keys->release(113);
    rig.keys->release(113);
    QCOMPARE(rig.ups->count(), 1);
    rig.runPoll();
    QCOMPARE(rig.ups->count(), 1);
    QVERIFY(!rig.poll()->isActive());
}

void GlobalHotkeyMonitorTest::missedReleaseCaughtByPoll()
{
    Rig rig;
    rig.monitor->watchKey(Qt::Key_F2);
    rig.monitor->watchKey(Qt::Key_F3);
    rig.keys->press(113);
    rig.keys->press(114);
    // The focus moves; the release of F2 never arrives as an event.
    rig.keys->drop(113);
    rig.runPoll();
    QCOMPARE(Rig::keysOf(*rig.ups), QList<int>{int(Qt::Key_F2)});
    QVERIFY(rig.poll()->isActive()); // F3 is still held
    // A late break of the dropped key reports nothing more.
    rig.keys->release(113);
    QCOMPARE(rig.ups->count(), 1);
    rig.keys->drop(114);
    rig.runPoll();
    QCOMPARE(Rig::keysOf(*rig.ups), (QList<int>{int(Qt::Key_F2), int(Qt::Key_F3)}));
    QVERIFY(!rig.poll()->isActive());
    QCOMPARE(rig.downs->count(), 2);
    // The key can be pressed again.
    rig.keys->press(113);
    QCOMPARE(rig.downs->count(), 3);
}

void GlobalHotkeyMonitorTest::sameVirtualKeyReportsBoth()
{
    Rig rig;
    // "1" and "!" are one key of the layout.
    rig.monitor->watchKey(Qt::Key_1);
    rig.monitor->watchKey(Qt::Key_Exclam);
    rig.keys->press('1');
    QCOMPARE(Rig::keysOf(*rig.downs), (QList<int>{int(Qt::Key_1), int(Qt::Key_Exclam)}));
    rig.keys->release('1');
    QCOMPARE(Rig::keysOf(*rig.ups), (QList<int>{int(Qt::Key_1), int(Qt::Key_Exclam)}));
}

void GlobalHotkeyMonitorTest::watchTwiceKeepsOneEntry()
{
    Rig rig;
    rig.monitor->watchKey(Qt::Key_F2);
    rig.monitor->watchKey(Qt::Key_F2);
    rig.keys->press(113);
    QCOMPARE(rig.downs->count(), 1);
    rig.keys->release(113);
    // One unwatch removes the only entry.
    rig.monitor->unwatchKey(Qt::Key_F2);
    rig.keys->press(113);
    QCOMPARE(rig.downs->count(), 1);
}

void GlobalHotkeyMonitorTest::unwatchedKeyIsQuiet()
{
    Rig rig;
    rig.keys->press(113);
    rig.keys->release(113);
    QCOMPARE(rig.downs->count(), 0);
    QCOMPARE(rig.ups->count(), 0);
    QVERIFY(!rig.poll()->isActive());
}

KESTOVA_TEST_MAIN(GlobalHotkeyMonitorTest)
#include "test_global_hotkey_monitor.moc"
