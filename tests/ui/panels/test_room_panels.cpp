#include "ui/panels/channel_block.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/member_row.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "ui/panels/room_block.h"
#include "ui/panels/room_menu_requests.h"
#include "ui/widgets/volume_control.h"

#include "panel_probes.h"
#include "support/test_main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QMenu>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>

#include <memory>

using panelstest::MenuProbe;
using panelstest::QuestionProbe;

namespace {

const QPoint kAt(40, 40);

blocks::RoomBlockData room(const QString &id, QStringList memberIds = {})
{
    blocks::RoomBlockData d;
    d.roomId = id;
    d.title = id;
    d.expanded = true;
    for (const QString &m : memberIds)
        d.members.append({m, m, false, {1}});
    d.memberCount = int(d.members.size());
    return d;
}

blocks::BlockListData oneRoom(const QString &id, QStringList memberIds = {})
{
    blocks::BlockListData d;
    d.sections = {{QString(), {room(id, memberIds)}, {}}};
    d.hasContent = true;
    d.rowSeparators = true;
    return d;
}

RoomContextMenuBuilder::State everyRoomEntry(int relation)
{
    RoomContextMenuBuilder::State s;
    s.relation = relation;
    s.isMember = true;
    s.canDissolve = true;
    s.canManageAttach = true;
    s.canApproveSubroomAttach = true;
    s.canOverrideChildBroadcast = true;
    s.canOverrideChildChat = true;
    s.canAttachHere = true;
    s.currentHasParent = true;
    s.childChatDenied = true;
    return s;
}

// Records every signal of a panel as "name(arg,arg)".
template<typename Panel>
std::unique_ptr<QObject> recordSignals(Panel *panel, QStringList *log)
{
    auto context = std::make_unique<QObject>();
    const auto one = [log](const char *name) {
        return [log, name](const QString &id) { *log << QStringLiteral("%1(%2)").arg(QLatin1String(name), id); };
    };
    const auto none = [log](const char *name) {
        return [log, name] { *log << QLatin1String(name) + QStringLiteral("()"); };
    };
    QObject *c = context.get();
    QObject::connect(panel, &Panel::roomSettingsRequested, c, one("roomSettingsRequested"));
    QObject::connect(panel, &Panel::roomChatSubscribeRequested, c, one("roomChatSubscribeRequested"));
    QObject::connect(panel, &Panel::dissolveRequested, c, none("dissolveRequested"));
    QObject::connect(panel, &Panel::detachChildRequested, c, one("detachChildRequested"));
    QObject::connect(panel, &Panel::childOverrideToggled, c, [log](const QString &id, bool broadcast, bool denied) {
        *log << QStringLiteral("childOverrideToggled(%1,%2,%3)").arg(id).arg(int(broadcast)).arg(int(denied));
    });
    QObject::connect(panel, &Panel::detachFromParentRequested, c, none("detachFromParentRequested"));
    QObject::connect(panel, &Panel::leaveRoomRequested, c, none("leaveRoomRequested"));
    QObject::connect(panel, &Panel::attachToRoomRequested, c, one("attachToRoomRequested"));
    if constexpr (std::is_same_v<Panel, CurrentRoomPanel>) {
        QObject::connect(panel, &Panel::forceMuteRequested, c, one("forceMuteRequested"));
        QObject::connect(panel, &Panel::forceUnmuteRequested, c, one("forceUnmuteRequested"));
        QObject::connect(panel, &Panel::textMuteRequested, c, one("textMuteRequested"));
        QObject::connect(panel, &Panel::textUnmuteRequested, c, one("textUnmuteRequested"));
        QObject::connect(panel, &Panel::kickRequested, c, one("kickRequested"));
        QObject::connect(panel, &Panel::banRequested, c, one("banRequested"));
        QObject::connect(panel, &Panel::participantVolumeChanged, c, [log](const QString &id, int db) {
            *log << QStringLiteral("participantVolumeChanged(%1,%2)").arg(id).arg(db);
        });
    } else {
        QObject::connect(panel, &Panel::roomEnterRequested, c, one("roomEnterRequested"));
    }
    if constexpr (std::is_same_v<Panel, MyChannelPanel>) {
        QObject::connect(panel, &Panel::channelSettingsRequested, c, one("channelSettingsRequested"));
        QObject::connect(panel, &Panel::createRoomRequested, c, one("createRoomRequested"));
        QObject::connect(panel, &Panel::leaveChannelRequested, c, one("leaveChannelRequested"));
    }
    return context;
}

// Opens the room menu of a panel for a room and chooses one entry.
template<typename Panel>
QStringList chooseRoomEntry(int relation, const QString &entry, QMessageBox::StandardButton answer,
                            bool *asked = nullptr)
{
    Panel panel;
    QStringList log;
    const auto recorder = recordSignals(&panel, &log);
    panel.setRoomStateProvider([relation](const QString &) { return everyRoomEntry(relation); });
    QuestionProbe question;
    if (entry == QStringLiteral("解散房间"))
        question.arm(answer);
    MenuProbe probe;
    probe.arm(entry);
    emit panel.roomMenuRequested(QStringLiteral("r9"), kAt);
    if (asked)
        *asked = question.asked();
    return log;
}

} // namespace

class RoomPanelsTest : public QObject
{
    Q_OBJECT

private slots:
    void participantRequests_data();
    void participantRequests();
    void banAsksFirst_data();
    void banAsksFirst();
    void confirmationOutlivesWhatAsked_data();
    void confirmationOutlivesWhatAsked();
    void noMenuForSelfOrWithoutEntries();
    void rightClickOnMemberRowOpensItsMenu();
    void volumeRowFromProviders();
    void roomRequests_data();
    void roomRequests();
    void dissolveAsksFirst_data();
    void dissolveAsksFirst();
    void noRoomMenuWithoutProvider();
    void outputBanner();
    void doubleClicks();
    void channelMenu_data();
    void channelMenu();
    void channelMenuRequests_data();
    void channelMenuRequests();
};

void RoomPanelsTest::participantRequests_data()
{
    QTest::addColumn<bool>("muted");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");
    QTest::newRow("voice mute") << false << "语音禁言"
                                << "forceMuteRequested(u2)";
    QTest::newRow("voice unmute") << true << "语音解禁"
                                  << "forceUnmuteRequested(u2)";
    QTest::newRow("text mute") << false << "文字禁言"
                               << "textMuteRequested(u2)";
    QTest::newRow("text unmute") << true << "文字解禁"
                                 << "textUnmuteRequested(u2)";
    QTest::newRow("kick") << false << "踢出房间"
                          << "kickRequested(u2)";
}

void RoomPanelsTest::participantRequests()
{
    QFETCH(bool, muted);
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    CurrentRoomPanel panel;
    QStringList log;
    const auto recorder = recordSignals(&panel, &log);
    QStringList askedFor;
    panel.setParticipantStateProvider([&, muted](const QString &userId) {
        askedFor << userId;
        ParticipantContextMenuBuilder::State s;
        s.canVoiceMute = s.canTextMute = s.canKick = s.canBan = true;
        s.voiceMuted = s.textMuted = muted;
        return s;
    });
    MenuProbe probe;
    probe.arm(entry);
    emit panel.memberMenuRequested(QStringLiteral("u2"), kAt);
    QVERIFY(probe.opened());
    QCOMPARE(askedFor, QStringList{QStringLiteral("u2")});
    QCOMPARE(log, QStringList{expected});
}

void RoomPanelsTest::banAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("yes") << int(QMessageBox::Yes) << QStringList{QStringLiteral("banRequested(u2)")};
    QTest::newRow("no") << int(QMessageBox::No) << QStringList{};
}

void RoomPanelsTest::banAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(QStringList, expected);
    CurrentRoomPanel panel;
    QStringList log;
    const auto recorder = recordSignals(&panel, &log);
    panel.setParticipantStateProvider([](const QString &) {
        ParticipantContextMenuBuilder::State s;
        s.canBan = true;
        return s;
    });
    QuestionProbe question;
    question.arm(QMessageBox::StandardButton(answer));
    MenuProbe probe;
    probe.arm(QStringLiteral("封禁"));
    emit panel.memberMenuRequested(QStringLiteral("u2"), kAt);
    QVERIFY(question.asked());
    QCOMPARE(question.title(), QStringLiteral("确认"));
    QCOMPARE(question.text(), QStringLiteral("确定要封禁该成员吗？其将被移出房间且无法再加入。"));
    QVERIFY(!question.hasDefaultButton());
    QCOMPARE(log, expected);
}

void RoomPanelsTest::noMenuForSelfOrWithoutEntries()
{
    CurrentRoomPanel panel;
    int asked = 0;
    panel.setParticipantStateProvider([&](const QString &) {
        ++asked;
        ParticipantContextMenuBuilder::State s;
        s.canKick = true;
        return s;
    });
    MenuProbe probe;
    // Without a self-id provider every member, the user included, gets a menu.
    probe.arm();
    emit panel.memberMenuRequested(QStringLiteral("me"), kAt);
    QVERIFY(probe.opened());

    panel.setSelfIdProvider([] { return QStringLiteral("me"); });
    probe.arm();
    emit panel.memberMenuRequested(QStringLiteral("me"), kAt);
    MenuProbe::settle();
    QVERIFY(!probe.opened());
    probe.arm();
    emit panel.memberMenuRequested(QString(), kAt);
    MenuProbe::settle();
    QVERIFY(!probe.opened());
    QCOMPARE(asked, 1);

    // No state provider and no gain provider: an all-false state, an empty menu, nothing opens.
    panel.setParticipantStateProvider({});
    probe.arm();
    emit panel.memberMenuRequested(QStringLiteral("u2"), kAt);
    MenuProbe::settle();
    QVERIFY(!probe.opened());
}

void RoomPanelsTest::rightClickOnMemberRowOpensItsMenu()
{
    CurrentRoomPanel panel;
    QStringList log;
    const auto recorder = recordSignals(&panel, &log);
    panel.setSelfIdProvider([] { return QStringLiteral("me"); });
    panel.setParticipantStateProvider([](const QString &) {
        ParticipantContextMenuBuilder::State s;
        s.canKick = true;
        return s;
    });
    panel.setBlocks(oneRoom(QStringLiteral("r1"), {QStringLiteral("me"), QStringLiteral("u2")}));
    panel.resize(300, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const auto rows = panel.roomBlock(QStringLiteral("r1"))->memberRows();

    MenuProbe probe;
    probe.arm(QStringLiteral("踢出房间"));
    QTest::mouseClick(rows.at(1)->nameLabel(), Qt::RightButton, {}, QPoint(3, 3));
    QVERIFY(probe.opened());
    QCOMPARE(log, QStringList{QStringLiteral("kickRequested(u2)")});

    // One's own row opens nothing.
    probe.arm();
    QTest::mouseClick(rows.at(0)->nameLabel(), Qt::RightButton, {}, QPoint(3, 3));
    MenuProbe::settle();
    QVERIFY(!probe.opened());
    QCOMPARE(log.size(), 1);
}

void RoomPanelsTest::volumeRowFromProviders()
{
    CurrentRoomPanel panel;
    QStringList log;
    const auto recorder = recordSignals(&panel, &log);
    QStringList gainAskedFor;
    panel.setGainProvider([&](const QString &userId) {
        gainAskedFor << userId;
        return 5;
    });
    int shown = 0;
    bool meter = true;
    MenuProbe probe;
    probe.arm({}, [&](QMenu *menu) {
        auto *control = menu->findChild<VolumeControl *>();
        QVERIFY(control);
        shown = control->gainDb();
        meter = control->meter() != nullptr;
        control->slider()->setValue(-4);
    });
    emit panel.memberMenuRequested(QStringLiteral("u2"), kAt);
    QVERIFY(probe.opened());
    QCOMPARE(probe.entries(), QStringList{QStringLiteral("<row>")});
    QCOMPARE(gainAskedFor, QStringList{QStringLiteral("u2")});
    QCOMPARE(shown, 5);
    QVERIFY(!meter);
    QCOMPARE(log, QStringList{QStringLiteral("participantVolumeChanged(u2,-4)")});

    QStringList levelAskedFor;
    panel.setLevelProvider([&](const QString &userId) {
        levelAskedFor << userId;
        return -20.0;
    });
    probe.arm({}, [&](QMenu *menu) { meter = menu->findChild<VolumeControl *>()->meter() != nullptr; });
    emit panel.memberMenuRequested(QStringLiteral("u3"), kAt);
    QVERIFY(meter);
    QVERIFY(levelAskedFor.contains(QStringLiteral("u3")));

    // A level provider alone gives no volume row.
    panel.setGainProvider({});
    probe.arm();
    emit panel.memberMenuRequested(QStringLiteral("u3"), kAt);
    MenuProbe::settle();
    QVERIFY(!probe.opened());
}

void RoomPanelsTest::roomRequests_data()
{
    QTest::addColumn<QString>("panel");
    QTest::addColumn<int>("relation");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");
    for (const char *panel : {"current", "rooms", "channels"}) {
        const auto row = [panel](const char *name) {
            return &QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(panel), QLatin1String(name))));
        };
        *row("leave") << panel << 0 << "断开连接"
                      << "leaveRoomRequested()";
        *row("detach from parent") << panel << 0 << "脱离父房间"
                                   << "detachFromParentRequested()";
        *row("detach child") << panel << 1 << "移出子房"
                             << "detachChildRequested(r9)";
        *row("deny broadcast") << panel << 1 << "单独禁止广播"
                               << "childOverrideToggled(r9,1,1)";
        *row("allow chat") << panel << 1 << "单独禁止聊天"
                           << "childOverrideToggled(r9,0,0)";
        *row("attach here") << panel << 4 << "挂载到此房间"
                            << "attachToRoomRequested(r9)";
        *row("settings") << panel << 3 << "房间设置"
                         << "roomSettingsRequested(r9)";
        *row("subscribe") << panel << 2 << "订阅此房间文字"
                          << "roomChatSubscribeRequested(r9)";
    }
}

void RoomPanelsTest::roomRequests()
{
    QFETCH(QString, panel);
    QFETCH(int, relation);
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    const auto asked = QMessageBox::No;
    const QStringList log = panel == QLatin1String("current")
                                ? chooseRoomEntry<CurrentRoomPanel>(relation, entry, asked)
                            : panel == QLatin1String("rooms") ? chooseRoomEntry<MyRoomPanel>(relation, entry, asked)
                                                              : chooseRoomEntry<MyChannelPanel>(relation, entry, asked);
    QCOMPARE(log, QStringList{expected});
}

void RoomPanelsTest::dissolveAsksFirst_data()
{
    QTest::addColumn<QString>("panel");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("expected");
    const QStringList yes{QStringLiteral("dissolveRequested()")};
    QTest::newRow("current yes") << "current" << int(QMessageBox::Yes) << yes;
    QTest::newRow("current no") << "current" << int(QMessageBox::No) << QStringList{};
    QTest::newRow("rooms yes") << "rooms" << int(QMessageBox::Yes) << yes;
    QTest::newRow("rooms no") << "rooms" << int(QMessageBox::No) << QStringList{};
    QTest::newRow("channels yes") << "channels" << int(QMessageBox::Yes) << yes;
    QTest::newRow("channels no") << "channels" << int(QMessageBox::No) << QStringList{};
}

void RoomPanelsTest::dissolveAsksFirst()
{
    QFETCH(QString, panel);
    QFETCH(int, answer);
    QFETCH(QStringList, expected);
    const auto button = QMessageBox::StandardButton(answer);
    const QString entry = QStringLiteral("解散房间");
    bool asked = false;
    const QStringList log =
        panel == QLatin1String("current") ? chooseRoomEntry<CurrentRoomPanel>(0, entry, button, &asked)
        : panel == QLatin1String("rooms") ? chooseRoomEntry<MyRoomPanel>(0, entry, button, &asked)
                                          : chooseRoomEntry<MyChannelPanel>(0, entry, button, &asked);
    QVERIFY(asked);
    QCOMPARE(log, expected);
}

void RoomPanelsTest::noRoomMenuWithoutProvider()
{
    MyRoomPanel rooms;
    MyChannelPanel channels;
    CurrentRoomPanel current;
    MenuProbe probe;
    for (blocks::BlockListPanel *panel :
         {static_cast<blocks::BlockListPanel *>(&rooms), static_cast<blocks::BlockListPanel *>(&channels),
          static_cast<blocks::BlockListPanel *>(&current)}) {
        probe.arm();
        emit panel->roomMenuRequested(QStringLiteral("r1"), kAt);
        MenuProbe::settle();
        QVERIFY(!probe.opened());
    }
    // With a provider, an empty room id still opens nothing.
    rooms.setRoomStateProvider([](const QString &) { return everyRoomEntry(0); });
    probe.arm();
    emit rooms.roomMenuRequested(QString(), kAt);
    MenuProbe::settle();
    QVERIFY(!probe.opened());
}

void RoomPanelsTest::outputBanner()
{
    CurrentRoomPanel panel;
    panel.resize(300, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QLabel *banner = panel.outputBanner();
    QCOMPARE(banner->text(), QStringLiteral("输出已关闭"));

    panel.setOutputClosed(true);
    QVERIFY(banner->isHidden());
    blocks::BlockListData empty;
    empty.emptyText = QStringLiteral("无当前房间");
    empty.rowSeparators = true;
    panel.setBlocks(empty);
    QVERIFY(banner->isHidden());

    panel.setBlocks(oneRoom(QStringLiteral("r1"), {QStringLiteral("a")}));
    QVERIFY(!banner->isHidden());
    QCOMPARE(banner->geometry(), QRect(0, 400 - 28, 300, 28));
    panel.resize(250, 500);
    QCOMPARE(banner->geometry(), QRect(0, 500 - 28, 250, 28));

    panel.setOutputClosed(false);
    QVERIFY(banner->isHidden());
    panel.setOutputClosed(true);
    QVERIFY(!banner->isHidden());
    panel.setBlocks(empty);
    QVERIFY(banner->isHidden());

    // A section without items still counts as a room shown.
    blocks::BlockListData hollow;
    hollow.sections = {blocks::BlockSection{}};
    panel.setBlocks(hollow);
    QVERIFY(!banner->isHidden());
}

void RoomPanelsTest::doubleClicks()
{
    CurrentRoomPanel current;
    QStringList currentLog;
    const auto currentRecorder = recordSignals(&current, &currentLog);
    QSignalSpy currentDouble(&current, &blocks::BlockListPanel::roomDoubleClicked);
    current.setBlocks(oneRoom(QStringLiteral("r1")));
    current.resize(300, 200);
    current.show();
    QVERIFY(QTest::qWaitForWindowExposed(&current));
    QTest::mouseDClick(current.roomBlock(QStringLiteral("r1"))->titleLabel(), Qt::LeftButton);
    QCOMPARE(currentDouble.count(), 1);
    QVERIFY(currentLog.isEmpty());
    current.hide();

    MyRoomPanel rooms;
    QStringList roomsLog;
    const auto roomsRecorder = recordSignals(&rooms, &roomsLog);
    rooms.setBlocks(oneRoom(QStringLiteral("r2")));
    rooms.resize(300, 200);
    rooms.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rooms));
    QTest::mouseDClick(rooms.roomBlock(QStringLiteral("r2"))->titleLabel(), Qt::LeftButton);
    QCOMPARE(roomsLog, QStringList{QStringLiteral("roomEnterRequested(r2)")});
    rooms.hide();

    MyChannelPanel channels;
    QStringList channelsLog;
    const auto channelsRecorder = recordSignals(&channels, &channelsLog);
    blocks::ChannelBlockData k;
    k.channelId = QStringLiteral("k");
    k.expanded = true;
    k.rooms = {room(QStringLiteral("kr"))};
    k.rooms[0].draggable = false;
    blocks::BlockListData d;
    d.sections = {{QString(), {}, {k}}};
    channels.setBlocks(d);
    channels.resize(300, 200);
    channels.show();
    QVERIFY(QTest::qWaitForWindowExposed(&channels));
    QTest::mouseDClick(channels.channelBlock(QStringLiteral("k"))->roomBlocks().at(0).second->titleLabel(),
                       Qt::LeftButton);
    QCOMPARE(channelsLog, QStringList{QStringLiteral("roomEnterRequested(kr)")});
}

void RoomPanelsTest::channelMenu_data()
{
    QTest::addColumn<bool>("canCreateRoom");
    QTest::addColumn<bool>("ownerLike");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("member") << false << false
                            << QStringList{QStringLiteral("频道设置"), QStringLiteral("-"), QStringLiteral("退出频道")};
    QTest::newRow("member who may create") << true << false
                                           << QStringList{QStringLiteral("频道设置"), QStringLiteral("创建房间"),
                                                          QStringLiteral("-"), QStringLiteral("退出频道")};
    QTest::newRow("owner") << false << true << QStringList{QStringLiteral("频道设置")};
    QTest::newRow("owner who may create")
        << true << true << QStringList{QStringLiteral("频道设置"), QStringLiteral("创建房间")};
}

void RoomPanelsTest::channelMenu()
{
    QFETCH(bool, canCreateRoom);
    QFETCH(bool, ownerLike);
    QFETCH(QStringList, expected);
    MyChannelPanel panel;
    QStringList askedFor;
    panel.setMenuStateProvider([&](const QString &channelId) {
        askedFor << channelId;
        return MyChannelPanel::MenuState{canCreateRoom, ownerLike};
    });
    MenuProbe probe;
    probe.arm();
    emit panel.channelMenuRequested(QStringLiteral("c1"), kAt);
    QCOMPARE(askedFor, QStringList{QStringLiteral("c1")});
    QCOMPARE(probe.entries(), expected);

    panel.setMenuStateProvider({});
    probe.arm();
    emit panel.channelMenuRequested(QStringLiteral("c1"), kAt);
    MenuProbe::settle();
    QVERIFY(!probe.opened());
}

void RoomPanelsTest::channelMenuRequests_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");
    QTest::newRow("settings") << "频道设置"
                              << "channelSettingsRequested(c1)";
    QTest::newRow("create room") << "创建房间"
                                 << "createRoomRequested(c1)";
    QTest::newRow("leave") << "退出频道"
                           << "leaveChannelRequested(c1)";
}

void RoomPanelsTest::channelMenuRequests()
{
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    MyChannelPanel panel;
    QStringList log;
    const auto recorder = recordSignals(&panel, &log);
    panel.setMenuStateProvider([](const QString &) { return MyChannelPanel::MenuState{true, false}; });
    MenuProbe probe;
    probe.arm(entry);
    emit panel.channelMenuRequested(QStringLiteral("c1"), kAt);
    QCOMPARE(log, QStringList{expected});
}

void RoomPanelsTest::confirmationOutlivesWhatAsked_data()
{
    QTest::addColumn<bool>("windowGoes");
    QTest::addColumn<bool>("expected");
    QTest::newRow("the asking row goes: the question stays") << false << true;
    QTest::newRow("the window goes: the answer is no") << true << false;
}

void RoomPanelsTest::confirmationOutlivesWhatAsked()
{
    QFETCH(bool, windowGoes);
    QFETCH(bool, expected);
    QPointer<QWidget> window = new QWidget;
    auto *row = new QWidget(window);
    window->show();
    bool openAfterRefresh = false;
    QTimer::singleShot(0, qApp, [&] {
        QPointer<QMessageBox> box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        if (windowGoes) {
            delete window.data();
            return;
        }
        delete row; // a refresh rebuilt the rows
        openAfterRefresh = box && box->isVisible();
        if (box)
            box->button(QMessageBox::Yes)->click();
    });
    QCOMPARE(panels::confirm(row, panels::kBanQuestion), expected);
    QCOMPARE(openAfterRefresh, expected);
    delete window.data();
}

KESTOVA_TEST_MAIN(RoomPanelsTest)
#include "test_room_panels.moc"
