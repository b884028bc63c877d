#include "ui/panels/participant_context_menu_builder.h"
#include "ui/panels/popup_menu.h"
#include "ui/panels/room_context_menu_builder.h"
#include "ui/widgets/level_meter.h"
#include "ui/widgets/volume_control.h"

#include "panel_probes.h"
#include "support/test_main.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSlider>
#include <QTimer>

using panelstest::MenuProbe;

namespace {

using Participant = ParticipantContextMenuBuilder;
using Room = RoomContextMenuBuilder;

// Every room-menu callback records its name (and the override's arguments).
struct RoomRecorder
{
    QStringList calls;

    Room::Actions actions()
    {
        Room::Actions a;
        a.leave = [this] { calls << QStringLiteral("leave"); };
        a.detachFromParent = [this] { calls << QStringLiteral("detachFromParent"); };
        a.detachChild = [this] { calls << QStringLiteral("detachChild"); };
        a.childOverride = [this](bool broadcast, bool denied) {
            calls << QStringLiteral("childOverride(%1,%2)").arg(int(broadcast)).arg(int(denied));
        };
        a.attachHere = [this] { calls << QStringLiteral("attachHere"); };
        a.openSettings = [this] { calls << QStringLiteral("openSettings"); };
        a.subscribeChat = [this] { calls << QStringLiteral("subscribeChat"); };
        a.dissolve = [this] { calls << QStringLiteral("dissolve"); };
        return a;
    }
};

struct ParticipantRecorder
{
    QStringList calls;

    Participant::Actions actions()
    {
        Participant::Actions a;
        a.voiceMute = [this] { calls << QStringLiteral("voiceMute"); };
        a.voiceUnmute = [this] { calls << QStringLiteral("voiceUnmute"); };
        a.textMute = [this] { calls << QStringLiteral("textMute"); };
        a.textUnmute = [this] { calls << QStringLiteral("textUnmute"); };
        a.kick = [this] { calls << QStringLiteral("kick"); };
        a.ban = [this] { calls << QStringLiteral("ban"); };
        return a;
    }
};

// A state record written as the names of its set flags.
Participant::State participantState(const QStringList &flags)
{
    Participant::State s;
    s.canVoiceMute = flags.contains(QStringLiteral("canVoiceMute"));
    s.canTextMute = flags.contains(QStringLiteral("canTextMute"));
    s.canKick = flags.contains(QStringLiteral("canKick"));
    s.canBan = flags.contains(QStringLiteral("canBan"));
    s.voiceMuted = flags.contains(QStringLiteral("voiceMuted"));
    s.textMuted = flags.contains(QStringLiteral("textMuted"));
    s.invitePlaceholder = flags.contains(QStringLiteral("invitePlaceholder"));
    return s;
}

Room::State roomState(int relation, const QStringList &flags)
{
    Room::State s;
    s.relation = relation;
    s.isMember = flags.contains(QStringLiteral("isMember"));
    s.canDissolve = flags.contains(QStringLiteral("canDissolve"));
    s.canManageAttach = flags.contains(QStringLiteral("canManageAttach"));
    s.canApproveSubroomAttach = flags.contains(QStringLiteral("canApproveSubroomAttach"));
    s.canOverrideChildBroadcast = flags.contains(QStringLiteral("canOverrideChildBroadcast"));
    s.canOverrideChildChat = flags.contains(QStringLiteral("canOverrideChildChat"));
    s.canAttachHere = flags.contains(QStringLiteral("canAttachHere"));
    s.currentHasParent = flags.contains(QStringLiteral("currentHasParent"));
    s.childBroadcastDenied = flags.contains(QStringLiteral("childBroadcastDenied"));
    s.childChatDenied = flags.contains(QStringLiteral("childChatDenied"));
    s.chatSubscribed = flags.contains(QStringLiteral("chatSubscribed"));
    return s;
}

QStringList split(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class ContextMenusTest : public QObject
{
    Q_OBJECT

private slots:
    void lazySeparators_data();
    void lazySeparators();
    void popupRunsCallbackAndParentsToWindow();
    void participantEntries_data();
    void participantEntries();
    void participantEntryRunsItsCallback();
    void volumeRowValueAndRequest();
    void volumeRowLevelTicksWhileOpen();
    void roomEntries_data();
    void roomEntries();
    void roomEntryRunsItsCallback_data();
    void roomEntryRunsItsCallback();
};

void ContextMenusTest::lazySeparators_data()
{
    QTest::addColumn<QStringList>("script"); // "a:text", "w" (widget), "|" (separator)
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("none at the top") << split("| | a:one") << split("one");
    QTest::newRow("several become one") << split("a:one | | | a:two") << split("one - two");
    QTest::newRow("none at the bottom") << split("a:one |") << split("one");
    QTest::newRow("before a widget") << split("a:one | w") << split("one - <row>");
    QTest::newRow("widget first") << split("| w | a:two") << split("<row> - two");
    QTest::newRow("empty") << split("| |") << QStringList{};
}

void ContextMenusTest::lazySeparators()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, expected);
    PopupMenu menu(nullptr);
    for (const QString &step : script) {
        if (step == QLatin1String("|"))
            menu.addSeparator();
        else if (step == QLatin1String("w"))
            menu.addWidget(new QLabel(QStringLiteral("row")));
        else
            menu.addAction(step.mid(2), {});
    }
    QCOMPARE(panelstest::describeMenu(menu.menu()), expected);

    MenuProbe probe;
    probe.arm();
    menu.exec(QPoint(10, 10));
    MenuProbe::settle();
    QCOMPARE(probe.opened(), !expected.isEmpty());
}

void ContextMenusTest::popupRunsCallbackAndParentsToWindow()
{
    QWidget window;
    auto *anchor = new QWidget(&window);
    int runs = 0;
    QPointer<QMenu> menuGuard;
    {
        PopupMenu menu(anchor);
        menuGuard = menu.menu();
        QCOMPARE(menu.menu()->parentWidget(), &window);
        menu.addAction(QStringLiteral("run"), [&] { ++runs; });
        MenuProbe probe;
        probe.arm(QStringLiteral("run"));
        menu.exec(QPoint(5, 5));
        QVERIFY(probe.opened());
        QCOMPARE(runs, 1);
    }
    // Nothing of a menu survives it.
    QVERIFY(menuGuard.isNull());
}

void ContextMenusTest::participantEntries_data()
{
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<bool>("withGain");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("every right") << split("canVoiceMute canTextMute canKick canBan") << true
                                 << split("语音禁言 文字禁言 踢出房间 封禁 - <row>");
    QTest::newRow("muted member") << split("canVoiceMute canTextMute voiceMuted textMuted") << false
                                  << split("语音解禁 文字解禁");
    QTest::newRow("muted but no right") << split("voiceMuted textMuted canKick") << false << split("踢出房间");
    QTest::newRow("volume row only") << QStringList{} << true << split("<row>");
    QTest::newRow("invite only") << split("invitePlaceholder") << false << split("(邀请)");
    QTest::newRow("invite after moderation")
        << split("canBan invitePlaceholder") << true << split("封禁 - (邀请) - <row>");
    QTest::newRow("nothing") << QStringList{} << false << QStringList{};
}

void ContextMenusTest::participantEntries()
{
    QFETCH(QStringList, flags);
    QFETCH(bool, withGain);
    QFETCH(QStringList, expected);
    ParticipantRecorder recorder;
    Participant::Actions actions = recorder.actions();
    if (withGain)
        actions.gainChanged = [](int) {};
    MenuProbe probe;
    probe.arm();
    Participant::exec(nullptr, QPoint(20, 20), participantState(flags), actions);
    MenuProbe::settle();
    QCOMPARE(probe.opened(), !expected.isEmpty());
    QCOMPARE(probe.entries(), expected);
    QVERIFY(recorder.calls.isEmpty());
}

void ContextMenusTest::participantEntryRunsItsCallback()
{
    const struct
    {
        const char *flags;
        const char *entry;
        const char *call;
    } cases[] = {
        {"canVoiceMute", "语音禁言", "voiceMute"}, {"canVoiceMute voiceMuted", "语音解禁", "voiceUnmute"},
        {"canTextMute", "文字禁言", "textMute"},   {"canTextMute textMuted", "文字解禁", "textUnmute"},
        {"canKick", "踢出房间", "kick"},           {"canBan", "封禁", "ban"},
    };
    for (const auto &c : cases) {
        ParticipantRecorder recorder;
        MenuProbe probe;
        probe.arm(QString::fromUtf8(c.entry));
        Participant::exec(nullptr, QPoint(20, 20), participantState(split(c.flags)), recorder.actions());
        QCOMPARE(recorder.calls, QStringList{QString::fromLatin1(c.call)});
    }
    // A right without its callback gives no entry.
    Participant::Actions none;
    MenuProbe probe;
    probe.arm();
    Participant::exec(nullptr, QPoint(20, 20), participantState(split("canVoiceMute canKick")), none);
    MenuProbe::settle();
    QVERIFY(!probe.opened());
}

void ContextMenusTest::volumeRowValueAndRequest()
{
    QList<int> gains;
    Participant::Actions actions;
    actions.gainChanged = [&](int db) { gains << db; };
    Participant::State state;
    state.gainDb = -7;
    int shownGain = 0;
    bool hadMeter = true;
    int width = 0;
    MenuProbe probe;
    probe.arm({}, [&](QMenu *menu) {
        auto *control = menu->findChild<VolumeControl *>();
        QVERIFY(control);
        shownGain = control->gainDb();
        hadMeter = control->meter() != nullptr;
        width = control->width();
        control->slider()->setValue(12);
    });
    Participant::exec(nullptr, QPoint(20, 20), state, actions);
    QVERIFY(probe.opened());
    QCOMPARE(shownGain, -7);
    QVERIFY(!hadMeter);
    QCOMPARE(width, 150);
    // Setting the shown gain raised nothing; the user's change did.
    QCOMPARE(gains, QList<int>{12});
}

void ContextMenusTest::volumeRowLevelTicksWhileOpen()
{
    int calls = 0;
    Participant::Actions actions;
    actions.gainChanged = [](int) {};
    actions.level = [&] {
        ++calls;
        return -12.0;
    };
    double meterLevel = 0;
    int callsWhileOpen = 0;
    QPointer<QTimer> levelTimer;
    MenuProbe probe;
    probe.arm({}, [&](QMenu *menu) {
        auto *control = menu->findChild<VolumeControl *>();
        QVERIFY(control && control->meter());
        // Read once at once, then every 50 ms.
        QCOMPARE(calls, 1);
        meterLevel = control->meter()->level();
        QTRY_VERIFY_WITH_TIMEOUT(calls >= 3, 2000);
        callsWhileOpen = calls;
        levelTimer = menu->findChild<QTimer *>();
        QVERIFY(levelTimer && levelTimer->isActive());
        QCOMPARE(levelTimer->interval(), 50);
    });
    Participant::exec(nullptr, QPoint(20, 20), Participant::State{}, actions);
    QVERIFY(probe.opened());
    QCOMPARE(meterLevel, -12.0);
    QVERIFY(callsWhileOpen >= 3);
    // The timer went with the menu: nothing reads the level any more.
    QVERIFY(levelTimer.isNull());
}

void ContextMenusTest::roomEntries_data()
{
    QTest::addColumn<int>("relation");
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("current sub-room with every right")
        << 0 << split("isMember canDissolve canManageAttach currentHasParent")
        << split("断开连接 - 脱离父房间 - 房间设置 订阅此房间文字 - 解散房间");
    QTest::newRow("current room without parent")
        << 0 << split("isMember canManageAttach") << split("断开连接 - 房间设置 订阅此房间文字");
    QTest::newRow("parent room") << 2 << split("canManageAttach isMember")
                                 << split("脱离父房间 - 房间设置 订阅此房间文字");
    QTest::newRow("parent room without right") << 2 << split("isMember") << split("房间设置 订阅此房间文字");
    QTest::newRow("sub-room overrides") << 1
                                        << split("canApproveSubroomAttach canOverrideChildBroadcast "
                                                 "canOverrideChildChat childBroadcastDenied")
                                        << QStringList{QStringLiteral("移出子房"), QStringLiteral("[x]单独禁止广播"),
                                                       QStringLiteral("[ ]单独禁止聊天"), QStringLiteral("-"),
                                                       QStringLiteral("订阅此房间文字")};
    QTest::newRow("overrides only for a sub-room")
        << 3 << split("canApproveSubroomAttach canOverrideChildBroadcast") << split("订阅此房间文字");
    QTest::newRow("attach here") << 4 << split("canAttachHere chatSubscribed")
                                 << split("挂载到此房间 - (订阅此房间文字)");
    QTest::newRow("dissolve only for the current room")
        << 1 << split("canDissolve isMember") << split("房间设置 订阅此房间文字");
    QTest::newRow("unrelated, subscribed") << 4 << split("chatSubscribed") << split("(订阅此房间文字)");
}

void ContextMenusTest::roomEntries()
{
    QFETCH(int, relation);
    QFETCH(QStringList, flags);
    QFETCH(QStringList, expected);
    RoomRecorder recorder;
    MenuProbe probe;
    probe.arm();
    Room::exec(nullptr, QPoint(20, 20), roomState(relation, flags), recorder.actions());
    QVERIFY(probe.opened());
    QCOMPARE(probe.entries(), expected);
    QVERIFY(recorder.calls.isEmpty());

    // Without callbacks only the disabled placeholder is left, whatever the state.
    probe.arm();
    Room::exec(nullptr, QPoint(20, 20), roomState(relation, flags), Room::Actions{});
    QCOMPARE(probe.entries(), QStringList{QStringLiteral("(非目标房成员)")});
}

void ContextMenusTest::roomEntryRunsItsCallback_data()
{
    QTest::addColumn<int>("relation");
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("call");
    QTest::newRow("leave") << 0 << QStringList{} << "断开连接"
                           << "leave";
    QTest::newRow("detach from parent") << 2 << split("canManageAttach") << "脱离父房间"
                                        << "detachFromParent";
    QTest::newRow("detach child") << 1 << split("canApproveSubroomAttach") << "移出子房"
                                  << "detachChild";
    QTest::newRow("deny broadcast") << 1 << split("canOverrideChildBroadcast") << "单独禁止广播"
                                    << "childOverride(1,1)";
    QTest::newRow("allow broadcast again")
        << 1 << split("canOverrideChildBroadcast childBroadcastDenied") << "单独禁止广播"
        << "childOverride(1,0)";
    QTest::newRow("deny chat") << 1 << split("canOverrideChildChat") << "单独禁止聊天"
                               << "childOverride(0,1)";
    QTest::newRow("attach here") << 4 << split("canAttachHere") << "挂载到此房间"
                                 << "attachHere";
    QTest::newRow("settings") << 3 << split("isMember") << "房间设置"
                              << "openSettings";
    QTest::newRow("subscribe") << 4 << QStringList{} << "订阅此房间文字"
                               << "subscribeChat";
    QTest::newRow("dissolve") << 0 << split("canDissolve") << "解散房间"
                              << "dissolve";
}

void ContextMenusTest::roomEntryRunsItsCallback()
{
    QFETCH(int, relation);
    QFETCH(QStringList, flags);
    QFETCH(QString, entry);
    QFETCH(QString, call);
    RoomRecorder recorder;
    MenuProbe probe;
    probe.arm(entry);
    Room::exec(nullptr, QPoint(20, 20), roomState(relation, flags), recorder.actions());
    QCOMPARE(recorder.calls, QStringList{call});
}

KESTOVA_TEST_MAIN(ContextMenusTest)
#include "test_context_menus.moc"
