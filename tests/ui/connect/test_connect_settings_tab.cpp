#include "ui/connect/code_input_edit.h"
#include "ui/connect/connect_list_row.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/connect/spinner_widget.h"

#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace {
constexpr qint64 kBase = 1'800'000'000'000;

QString hexOf(const char *token)
{
    return QString::fromLatin1(ThemePalette::hex(token));
}
} // namespace

class ConnectSettingsTabTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void codeNormalisation_data();
    void codeNormalisation();
    void busyIgnoresFurtherStarts();
    void resultSlots_data();
    void resultSlots();
    void errorFocusAndServerMessage_data();
    void errorFocusAndServerMessage();
    void appliedTextRevertsAndFollowsMode();
    void statusIsElidedAndClearedByTyping();
    void followCountdown_data();
    void followCountdown();
    void followCodeWithoutExpiry();
    void followButtons_data();
    void followButtons();
    void placement_data();
    void placement();
    void configRows();
    void configRowsRaiseRequests();
    void busyButtonDestroyedByRebuild();
    void prefAndMemberLists();

private:
    QPushButton *button(const char *name) const { return tab->findChild<QPushButton *>(QLatin1String(name)); }
    QLabel *label(const char *name) const { return tab->findChild<QLabel *>(QLatin1String(name)); }
    QWidget *section(const char *name) const { return tab->findChild<QWidget *>(QLatin1String(name)); }
    // The rows currently in a list (rows of an earlier rebuild wait for deletion).
    QList<ConnectListRow *> rowsOf(const char *list) const
    {
        QList<ConnectListRow *> rows;
        QLayout *layout = tab->findChild<QWidget *>(QLatin1String(list))->layout();
        for (int i = 0; i < layout->count(); ++i) {
            if (auto *row = dynamic_cast<ConnectListRow *>(layout->itemAt(i)->widget()))
                rows.append(row);
        }
        return rows;
    }
    QList<QLabel *> labelsOf(QWidget *row) const { return row->findChildren<QLabel *>(); }
    QPushButton *rowButton(QWidget *row, const QString &text) const
    {
        for (QPushButton *b : row->findChildren<QPushButton *>()) {
            if (b->text() == text)
                return b;
        }
        return nullptr;
    }
    static bool spinning(QWidget *button)
    {
        auto *spinner = button->findChild<SpinnerWidget *>(QStringLiteral("flightSpinner"), Qt::FindDirectChildrenOnly);
        return spinner && spinner->isVisibleTo(button) && spinner->ticker()->isActive();
    }

    ConnectSettingsTab *tab = nullptr;
    qint64 nowMs = kBase;
};

void ConnectSettingsTabTest::init()
{
    nowMs = kBase;
    tab = new ConnectSettingsTab;
    tab->setClock([this] { return nowMs; });
    tab->resize(280, 554);
    tab->show();
    QVERIFY(QTest::qWaitForWindowExposed(tab));
}

void ConnectSettingsTabTest::cleanup()
{
    delete tab;
    tab = nullptr;
}

void ConnectSettingsTabTest::codeNormalisation_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("attach");
    QTest::addColumn<QString>("sent"); // empty: nothing sent
    QTest::newRow("spaces and capitals, Enter") << "  AbC123  " << false << "abc123";
    QTest::newRow("tabs around") << "\tXY9\t" << false << "xy9";
    QTest::newRow("blank") << "    " << false << "";
    QTest::newRow("empty") << "" << false << "";
    QTest::newRow("inner space kept") << " Ab Cd " << false << "ab cd";
    QTest::newRow("attach") << " ROOM7 " << true << "room7";
    QTest::newRow("attach blank") << "  " << true << "";
}

void ConnectSettingsTabTest::codeNormalisation()
{
    QFETCH(QString, typed);
    QFETCH(bool, attach);
    QFETCH(QString, sent);
    tab->setInRoom(true);
    tab->setCanAttach(true);
    QSignalSpy join(tab, &ConnectSettingsTab::joinByCodeRequested);
    QSignalSpy attachSpy(tab, &ConnectSettingsTab::attachByCodeRequested);
    tab->codeInput()->setText(typed);
    if (attach)
        button("attachButton")->click();
    else
        QTest::keyClick(tab->codeInput(), Qt::Key_Return);
    QSignalSpy &expectedSpy = attach ? attachSpy : join;
    QCOMPARE((attach ? join : attachSpy).count(), 0);
    if (sent.isEmpty()) {
        QCOMPARE(expectedSpy.count(), 0);
        QCOMPARE(tab->currentBusyMode(), ConnectSettingsTab::None);
        QVERIFY(tab->codeInput()->isEnabled());
        return;
    }
    QCOMPARE(expectedSpy.count(), 1);
    QCOMPARE(expectedSpy.at(0).at(0).toString(), sent);
    QCOMPARE(tab->currentBusyMode(), attach ? ConnectSettingsTab::AttachByCode : ConnectSettingsTab::JoinByCode);
    QVERIFY(!tab->codeInput()->isEnabled());
    QVERIFY(!button("joinButton")->isEnabled());
    QVERIFY(!button("attachButton")->isEnabled());
    QPushButton *busy = button(attach ? "attachButton" : "joinButton");
    QVERIFY(busy->text().isEmpty());
    QVERIFY(spinning(busy));
}

void ConnectSettingsTabTest::busyIgnoresFurtherStarts()
{
    tab->setInRoom(true);
    tab->setCanAttach(true);
    tab->setConfigs({});
    QSignalSpy join(tab, &ConnectSettingsTab::joinByCodeRequested);
    QSignalSpy attach(tab, &ConnectSettingsTab::attachByCodeRequested);
    tab->codeInput()->setText(QStringLiteral("abc"));
    button("joinButton")->click();
    QCOMPARE(join.count(), 1);
    button("attachButton")->click();
    button("joinButton")->click();
    QTest::keyClick(tab->codeInput(), Qt::Key_Return);
    QCOMPARE(join.count(), 1);
    QCOMPARE(attach.count(), 0);
    // The follow-code buttons and header links still work.
    QSignalSpy edit(tab, &ConnectSettingsTab::openRoomPrefEditRequested);
    button("roomPrefEditButton")->click();
    QCOMPARE(edit.count(), 1);
    tab->clearBusy();
    QVERIFY(!spinning(button("joinButton")));
    QCOMPARE(button("joinButton")->text(), QStringLiteral("单人加入"));
    QVERIFY(button("joinButton")->isEnabled());
    QVERIFY(tab->codeInput()->isEnabled());
}

void ConnectSettingsTabTest::resultSlots_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<bool>("attach");
    QTest::addColumn<bool>("cleared");
    QTest::addColumn<int>("statusKind");
    QTest::addColumn<QString>("statusText");
    QTest::addColumn<QString>("joinText");
    QTest::addColumn<QString>("attachText");
    const QString join = QStringLiteral("单人加入");
    const QString attach = QStringLiteral("整房挂载");
    const QString applied = QStringLiteral("已申请，等待审核");
    QTest::newRow("entering") << "success" << false << true << 0 << "" << join << attach;
    QTest::newRow("attached") << "success" << true << true << 0 << "" << join << attach;
    QTest::newRow("channel joined") << "channel" << false << true << 2 << "已加入频道，频道列表暂未接入" << join
                                    << attach;
    QTest::newRow("join pending") << "joinPending" << false << true << 0 << "" << applied << attach;
    QTest::newRow("attach pending") << "attachPending" << true << true << 0 << "" << join << applied;
    QTest::newRow("join failed") << "joinError" << false << false << 1 << "加入失败" << join << attach;
    QTest::newRow("attach failed") << "attachError" << true << false << 1 << "挂载失败" << join << attach;
}

void ConnectSettingsTabTest::resultSlots()
{
    QFETCH(QString, slot);
    QFETCH(bool, attach);
    QFETCH(bool, cleared);
    QFETCH(int, statusKind);
    QFETCH(QString, statusText);
    QFETCH(QString, joinText);
    QFETCH(QString, attachText);
    tab->setInRoom(true);
    tab->setCanAttach(true);
    tab->codeInput()->setText(QStringLiteral("Code1"));
    button(attach ? "attachButton" : "joinButton")->click();
    QVERIFY(tab->currentBusyMode() != ConnectSettingsTab::None);
    if (slot == QLatin1String("success"))
        tab->applyCodeSuccess();
    else if (slot == QLatin1String("channel"))
        tab->applyChannelJoined();
    else if (slot == QLatin1String("joinPending"))
        tab->applyJoinPending();
    else if (slot == QLatin1String("attachPending"))
        tab->applyAttachPending();
    else if (slot == QLatin1String("joinError"))
        tab->applyJoinError(MatchErrorCode::Other);
    else
        tab->applyAttachError(MatchErrorCode::Other);
    QCOMPARE(tab->currentBusyMode(), ConnectSettingsTab::None);
    QVERIFY(!spinning(button("joinButton")));
    QVERIFY(!spinning(button("attachButton")));
    QVERIFY(tab->codeInput()->isEnabled());
    QVERIFY(button("joinButton")->isEnabled());
    QVERIFY(button("attachButton")->isEnabled());
    QCOMPARE(tab->codeInput()->text().isEmpty(), cleared);
    QCOMPARE(tab->codeInput()->currentStatusKind(), statusKind);
    QCOMPARE(tab->codeInput()->currentStatusText(), statusText);
    QCOMPARE(tab->codeInput()->statusLine()->isVisibleTo(tab->codeInput()), statusKind != 0);
    QCOMPARE(tab->codeInput()->property("state").toString(), statusKind == 1 ? QStringLiteral("error") : QString());
    QCOMPARE(button("joinButton")->text(), joinText);
    QCOMPARE(button("attachButton")->text(), attachText);
}

void ConnectSettingsTabTest::errorFocusAndServerMessage_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("attach");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<QString>("shown");
    QTest::newRow("invalid code") << 1 << "" << false << true << "加入失败";
    QTest::newRow("room gone") << 3 << "" << false << false << "加入失败";
    QTest::newRow("server message") << 0 << "房间已满" << false << false << "房间已满";
    QTest::newRow("blank server message") << 0 << "  " << true << false << "挂载失败";
    QTest::newRow("invalid code with message") << 1 << "连接码无效" << true << true << "连接码无效";
}

void ConnectSettingsTabTest::errorFocusAndServerMessage()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(bool, attach);
    QFETCH(bool, focused);
    QFETCH(QString, shown);
    QApplication::setActiveWindow(tab);
    QVERIFY(QTest::qWaitForWindowActive(tab));
    tab->setInRoom(true);
    tab->setCanAttach(true);
    tab->codeInput()->setText(QStringLiteral("abc123"));
    button(attach ? "attachButton" : "joinButton")->click();
    button("joinButton")->setFocus();
    if (attach)
        tab->applyAttachError(MatchErrorCode(code), message);
    else
        tab->applyJoinError(MatchErrorCode(code), message);
    QCOMPARE(tab->codeInput()->text(), QStringLiteral("abc123"));
    QCOMPARE(tab->codeInput()->currentStatusText(), shown);
    QCOMPARE(tab->codeInput()->hasFocus(), focused);
    QCOMPARE(tab->codeInput()->selectedText(), focused ? QStringLiteral("abc123") : QString());
}

void ConnectSettingsTabTest::appliedTextRevertsAndFollowsMode()
{
    tab->codeInput()->setText(QStringLiteral("abc"));
    button("joinButton")->click();
    tab->applyJoinPending();
    QCOMPARE(button("joinButton")->text(), QStringLiteral("已申请，等待审核"));
    QVERIFY(button("joinButton")->isEnabled());
    QVERIFY(tab->joinAppliedTicker()->isActive());
    QCOMPARE(tab->joinAppliedTicker()->interval(), 5000);
    QVERIFY(tab->joinAppliedTicker()->isSingleShot());
    // A refresh of the same mode keeps the applied text.
    tab->setInRoom(false);
    QCOMPARE(button("joinButton")->text(), QStringLiteral("已申请，等待审核"));
    // The timeout restores the text of the mode.
    tab->joinAppliedTicker()->setInterval(0);
    tab->joinAppliedTicker()->start();
    QTRY_COMPARE(button("joinButton")->text(), QStringLiteral("加入"));

    tab->applyJoinPending();
    tab->setInRoom(true);
    QVERIFY(!tab->joinAppliedTicker()->isActive());
    QCOMPARE(button("joinButton")->text(), QStringLiteral("单人加入"));

    tab->setCanAttach(true);
    tab->applyAttachPending();
    QVERIFY(tab->attachAppliedTicker()->isActive());
    tab->attachAppliedTicker()->setInterval(0);
    tab->attachAppliedTicker()->start();
    QTRY_COMPARE(button("attachButton")->text(), QStringLiteral("整房挂载"));
}

void ConnectSettingsTabTest::statusIsElidedAndClearedByTyping()
{
    CodeInputEdit edit;
    edit.resize(120, 44);
    edit.show();
    edit.setStatus(1, QStringLiteral("一段非常非常长的失败说明文字"));
    QLabel *status = edit.statusLine();
    QVERIFY(status->isVisible());
    QVERIFY(status->text().endsWith(QStringLiteral("…")));
    QVERIFY(status->width() <= 40 + 4);
    QCOMPARE(status->x(), 120 - status->width() - 8);
    QCOMPARE(edit.textMargins().right(), status->width() + 12);
    edit.setStatus(0, QStringLiteral("x"));
    QVERIFY(status->isHidden());
    QCOMPARE(edit.textMargins(), QMargins(6, 0, 6, 0));

    tab->applyJoinError(MatchErrorCode::RoomGone);
    QCOMPARE(tab->codeInput()->currentStatusKind(), 1);
    QTest::keyClicks(tab->codeInput(), QStringLiteral("x"));
    QCOMPARE(tab->codeInput()->currentStatusKind(), 0);
    QVERIFY(tab->codeInput()->property("state").toString().isEmpty());
}

void ConnectSettingsTabTest::followCountdown_data()
{
    QTest::addColumn<qint64>("remainingMs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<bool>("ticking");
    QTest::newRow("an hour and a second") << qint64(3'601'000) << "60:01 后过期" << hexOf("textMuted") << true;
    QTest::newRow("61 s") << qint64(61'000) << "01:01 后过期" << hexOf("textMuted") << true;
    QTest::newRow("60 s") << qint64(60'000) << "01:00 后过期" << hexOf("dangerText") << true;
    QTest::newRow("half a second") << qint64(500) << "00:00 后过期" << hexOf("dangerText") << true;
    QTest::newRow("at expiry") << qint64(0) << "已过期" << hexOf("dangerText") << false;
    QTest::newRow("after expiry") << qint64(-5'000) << "已过期" << hexOf("dangerText") << false;
    QTest::newRow("days left") << qint64(100'000'000'000) << "1666666:40 后过期" << hexOf("textMuted") << true;
}

void ConnectSettingsTabTest::followCountdown()
{
    QFETCH(qint64, remainingMs);
    QFETCH(QString, text);
    QFETCH(QString, colour);
    QFETCH(bool, ticking);
    tab->setInRoom(true);
    tab->setFollowCode(QStringLiteral("K7Q2"), kBase + remainingMs);
    QCOMPARE(label("followCodeLabel")->text(), QStringLiteral("K7Q2"));
    QCOMPARE(label("followExpiryLabel")->text(), text);
    QVERIFY(label("followExpiryLabel")->styleSheet().contains(colour));
    QCOMPARE(tab->followCodeTimer()->isActive(), ticking);
    QCOMPARE(tab->followCodeTimer()->interval(), 1000);
    if (!ticking)
        return;
    // The clock moves on to the expiry: the next tick shows it and stops.
    nowMs = kBase + remainingMs;
    tab->followCodeTimer()->setInterval(0);
    QTRY_COMPARE(label("followExpiryLabel")->text(), QStringLiteral("已过期"));
    QTRY_VERIFY(!tab->followCodeTimer()->isActive());

    // Leaving the room stops the countdown.
    tab->setFollowCode(QStringLiteral("K7Q2"), kBase + remainingMs + 10'000);
    QVERIFY(tab->followCodeTimer()->isActive());
    tab->setInRoom(false);
    QVERIFY(!tab->followCodeTimer()->isActive());
}

void ConnectSettingsTabTest::followCodeWithoutExpiry()
{
    tab->setInRoom(true);
    tab->setFollowCode(QStringLiteral("abcd"), 0);
    QCOMPARE(label("followCodeLabel")->text(), QStringLiteral("abcd"));
    QVERIFY(label("followCodeLabel")->styleSheet().contains(hexOf("text")));
    QVERIFY(label("followExpiryLabel")->text().isEmpty());
    QVERIFY(!tab->followCodeTimer()->isActive());
    tab->setFollowCode(QString(), 0);
    QCOMPARE(label("followCodeLabel")->text(), QStringLiteral("------"));
    QVERIFY(label("followCodeLabel")->styleSheet().contains(hexOf("textMuted")));
}

void ConnectSettingsTabTest::followButtons_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("canManage");
    QTest::addColumn<QString>("shown"); // visible buttons, in order
    QTest::addColumn<int>("upperHeight");
    QTest::newRow("no code, no right") << "" << false << "" << 100;
    QTest::newRow("no code, right") << "" << true << "启用" << 132;
    QTest::newRow("code, no right") << "abc" << false << "复制" << 132;
    QTest::newRow("code, right") << "abc" << true << "复制 作废" << 132;
}

void ConnectSettingsTabTest::followButtons()
{
    QFETCH(QString, code);
    QFETCH(bool, canManage);
    QFETCH(QString, shown);
    QFETCH(int, upperHeight);
    tab->resize(280, 900); // a band tall enough for the wanted height
    tab->setInRoom(true);
    tab->setFollowCode(code, 0);
    tab->setCanManageFollowCode(canManage);
    QStringList visible;
    for (const char *name : {"copyButton", "invalidateButton", "assignButton"}) {
        if (button(name)->isVisibleTo(tab))
            visible << button(name)->text();
    }
    QCOMPARE(visible.join(QLatin1Char(' ')), shown);
    QCOMPARE(section("followButtonRow")->isVisibleTo(tab), !shown.isEmpty());
    QCOMPARE(section("followSection")->height(), upperHeight);

    QSignalSpy copy(tab, &ConnectSettingsTab::followCodeCopyRequested);
    QSignalSpy voidIt(tab, &ConnectSettingsTab::followCodeInvalidateRequested);
    QSignalSpy assign(tab, &ConnectSettingsTab::followCodeAssignRequested);
    button("copyButton")->click();
    button("invalidateButton")->click();
    button("assignButton")->click();
    QCOMPARE(copy.count() + voidIt.count() + assign.count(), 3);
}

void ConnectSettingsTabTest::placement_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("inRoom");
    QTest::addColumn<QRect>("code");
    QTest::addColumn<QRect>("upper");
    QTest::addColumn<QRect>("lower");
    // Lobby, 280 x 554: C 232, X 24, B 150; no configurations (49 + 30), no groups (48 + 30).
    QTest::newRow("lobby minimum") << QSize(280, 554) << false << QRect(24, 216, 232, 122) << QRect(24, 107, 232, 79)
                                   << QRect(24, 368, 232, 78);
    // In a room: the follow section wants 100 without buttons, the members 48 + 30.
    QTest::newRow("room minimum") << QSize(280, 554) << true << QRect(24, 216, 232, 122) << QRect(24, 86, 232, 100)
                                  << QRect(24, 368, 232, 78);
    QTest::newRow("wide") << QSize(1000, 554) << false << QRect(190, 216, 620, 122) << QRect(190, 107, 620, 79)
                          << QRect(190, 368, 620, 78);
    // A short tab: the band limits both blocks.
    QTest::newRow("short") << QSize(280, 300) << false << QRect(24, 89, 232, 122) << QRect(24, 36, 232, 23)
                           << QRect(24, 241, 232, 23);
}

void ConnectSettingsTabTest::placement()
{
    QFETCH(QSize, size);
    QFETCH(bool, inRoom);
    QFETCH(QRect, code);
    QFETCH(QRect, upper);
    QFETCH(QRect, lower);
    tab->setMinimumSize(0, 0);
    tab->resize(size);
    tab->setInRoom(inRoom);
    QCOMPARE(tab->minimumSizeHint(), QSize(280, 554));
    QCOMPARE(section("codeSection")->geometry(), code);
    QCOMPARE(section(inRoom ? "followSection" : "configSection")->geometry(), upper);
    QCOMPARE(section(inRoom ? "roomPrefSection" : "prefSection")->geometry(), lower);
    QCOMPARE(section("configSection")->isVisibleTo(tab), !inRoom);
    QCOMPARE(section("prefSection")->isVisibleTo(tab), !inRoom);
    QCOMPARE(section("followSection")->isVisibleTo(tab), inRoom);
    QCOMPARE(section("roomPrefSection")->isVisibleTo(tab), inRoom);
    QVERIFY(!button("attachButton")->isVisibleTo(tab));
}

void ConnectSettingsTabTest::configRows()
{
    QCOMPARE(tab->configContentHeight(), 49);
    QList<ConnectListRow *> rows = rowsOf("configList");
    QCOMPARE(rows.size(), 1);
    QCOMPARE(labelsOf(rows.at(0)).at(0)->text(), QStringLiteral("默认"));
    QCOMPARE(labelsOf(rows.at(0)).at(1)->toolTip(), QStringLiteral("昵称的房间 · 64kbps"));

    const QString longName = QStringLiteral("一个特别特别长的配置名称写不下");
    tab->setConfigs({{QStringLiteral("晚间"), QStringLiteral("   "), 96500},
                     {longName, QStringLiteral(" 开黑 "), 999},
                     {QStringLiteral("短"), QStringLiteral("语音"), 128000}});
    QCOMPARE(tab->configContentHeight(), 49 + 120);
    rows = rowsOf("configList");
    QCOMPARE(rows.size(), 4);
    QCOMPARE(labelsOf(rows.at(1)).at(1)->toolTip(), QStringLiteral("昵称的房间 · 96kbps"));
    QCOMPARE(labelsOf(rows.at(2)).at(1)->toolTip(), QStringLiteral("开黑 · 0kbps"));
    QCOMPARE(labelsOf(rows.at(3)).at(1)->toolTip(), QStringLiteral("语音 · 128kbps"));
    QLabel *longTitle = labelsOf(rows.at(2)).at(0);
    QVERIFY(longTitle->text() != longName);
    QCOMPARE(longTitle->toolTip(), longName);
    QVERIFY(labelsOf(rows.at(3)).at(0)->toolTip().isEmpty());
    for (ConnectListRow *row : rows)
        QCOMPARE(row->height(), 40);

    // The same default name does not rebuild; a new one changes the rows without a room name.
    tab->setDefaultRoomName(QStringLiteral("小明的房间"));
    rows = rowsOf("configList");
    tab->setDefaultRoomName(QStringLiteral("小明的房间"));
    QCOMPARE(rowsOf("configList"), rows);
    QCOMPARE(labelsOf(rows.at(0)).at(1)->toolTip(), QStringLiteral("小明的房间 · 64kbps"));
    QCOMPARE(labelsOf(rows.at(1)).at(1)->toolTip(), QStringLiteral("小明的房间 · 96kbps"));
    QCOMPARE(labelsOf(rows.at(3)).at(1)->toolTip(), QStringLiteral("语音 · 128kbps"));
}

void ConnectSettingsTabTest::configRowsRaiseRequests()
{
    tab->setConfigs({{QStringLiteral("甲"), QString(), 64000}, {QStringLiteral("乙"), QString(), 64000}});
    QList<ConnectListRow *> rows = rowsOf("configList");
    QSignalSpy create(tab, &ConnectSettingsTab::createRoomFromConfigRequested);
    QSignalSpy edit(tab, &ConnectSettingsTab::editConfigRequested);
    QSignalSpy createConfig(tab, &ConnectSettingsTab::createConfigRequested);
    button("configButton")->click();
    QCOMPARE(createConfig.count(), 1);

    // A right double click does nothing.
    QTest::mouseDClick(rows.at(2), Qt::RightButton, {}, QPoint(5, 5));
    QCOMPARE(create.count(), 0);

    // While a join by code runs, double clicks and "创建" do nothing; "编辑" still works.
    tab->codeInput()->setText(QStringLiteral("abc"));
    button("joinButton")->click();
    QTest::mouseDClick(rows.at(2), Qt::LeftButton, {}, QPoint(5, 5));
    rowButton(rows.at(1), QStringLiteral("创建"))->click();
    QCOMPARE(create.count(), 0);
    rowButton(rows.at(0), QStringLiteral("编辑"))->click();
    QCOMPARE(edit.count(), 1);
    QCOMPARE(edit.at(0).at(0).toInt(), -1);
    tab->applyCodeSuccess();

    QTest::mouseDClick(rows.at(2), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(create.count(), 1);
    QCOMPARE(create.at(0).at(0).toInt(), 1);
    QCOMPARE(tab->currentBusyMode(), ConnectSettingsTab::CreateFromConfig);
    QPushButton *started = rows.at(2)->findChildren<QPushButton *>().at(0);
    QVERIFY(started->text().isEmpty());
    QVERIFY(spinning(started));
    QVERIFY(!tab->codeInput()->isEnabled());
    tab->clearBusy();
    QCOMPARE(started->text(), QStringLiteral("创建"));
    QVERIFY(!spinning(started));

    rowButton(rows.at(0), QStringLiteral("创建"))->click();
    QCOMPARE(create.count(), 2);
    QCOMPARE(create.at(1).at(0).toInt(), -1);
}

void ConnectSettingsTabTest::busyButtonDestroyedByRebuild()
{
    tab->setConfigs({{QStringLiteral("甲"), QString(), 64000}});
    rowButton(rowsOf("configList").at(1), QStringLiteral("创建"))->click();
    QCOMPARE(tab->currentBusyMode(), ConnectSettingsTab::CreateFromConfig);
    tab->setConfigs({{QStringLiteral("甲"), QString(), 64000}, {QStringLiteral("乙"), QString(), 64000}});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    tab->clearBusy();
    QCOMPARE(tab->currentBusyMode(), ConnectSettingsTab::None);
    QVERIFY(tab->codeInput()->isEnabled());
}

void ConnectSettingsTabTest::prefAndMemberLists()
{
    QCOMPARE(tab->prefContentHeight(), 48);
    QCOMPARE(tab->findChild<QWidget *>(QStringLiteral("prefList"))->findChild<QLabel *>()->text(),
             QStringLiteral("无偏好组"));
    tab->setPrefGroups({{QStringLiteral("好友"), 3}, {QStringLiteral("同事"), 0}});
    QCOMPARE(tab->prefContentHeight(), 80);
    QList<ConnectListRow *> rows = rowsOf("prefList");
    QCOMPARE(rows.size(), 2);
    QCOMPARE(labelsOf(rows.at(0)).at(1)->toolTip(), QStringLiteral("3 人"));
    QSignalSpy match(tab, &ConnectSettingsTab::prefMatchRequested);
    QSignalSpy edit(tab, &ConnectSettingsTab::openPrefEditRequested);
    QSignalSpy config(tab, &ConnectSettingsTab::openPrefConfigRequested);
    button("prefConfigButton")->click();
    QCOMPARE(config.count(), 1);
    rowButton(rows.at(1), QStringLiteral("编辑"))->click();
    QCOMPARE(edit.at(0).at(0).toInt(), 1);
    QTest::mouseDClick(rows.at(0), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(match.count(), 1);
    QCOMPARE(match.at(0).at(0).toInt(), 0);
    QCOMPARE(tab->currentBusyMode(), ConnectSettingsTab::PrefMatch);
    QPushButton *connectButton = rows.at(0)->findChildren<QPushButton *>().at(0);
    QVERIFY(spinning(connectButton));
    rowButton(rows.at(1), QStringLiteral("连接"))->click();
    QCOMPARE(match.count(), 1);
    tab->clearBusy();
    QCOMPARE(connectButton->text(), QStringLiteral("连接"));

    tab->setInRoom(true);
    QCOMPARE(tab->memberContentHeight(), 48);
    QCOMPARE(tab->findChild<QWidget *>(QStringLiteral("roomPrefList"))->findChild<QLabel *>()->text(),
             QStringLiteral("无成员"));
    tab->setRoomPrefMembers(
        {{QStringLiteral("u1"), QStringLiteral("小红")}, {QStringLiteral("u2"), QStringLiteral("小蓝")}});
    QCOMPARE(tab->memberContentHeight(), 80);
    rows = rowsOf("roomPrefList");
    QCOMPARE(rows.size(), 2);
    QLabel *name = labelsOf(rows.at(1)).at(0);
    QCOMPARE(name->toolTip(), QStringLiteral("小蓝"));
    QVERIFY(name->styleSheet().contains(QStringLiteral("font-size:13px")));
    QVERIFY(name->styleSheet().contains(hexOf("text")));
    QVERIFY(rows.at(1)->findChildren<QPushButton *>().isEmpty());
    QCOMPARE(section("roomPrefSection")->height(), 110);
}

KESTOVA_TEST_MAIN(ConnectSettingsTabTest)
#include "test_connect_settings_tab.moc"
