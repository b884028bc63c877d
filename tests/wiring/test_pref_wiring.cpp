#include "wiring/main_window_wiring.h"
#include "wiring/pref_wiring.h"
#include "wiring_test_fixture.h"

#include "match/i_pref_storage.h"
#include "match/pref_match_service.h"
#include "match/preference_service.h"
#include "room/room_create_service.h"
#include "room/room_service_fixture.h"
#include "room/room_settings_service.h"
#include "support/test_main.h"
#include "ui/connect/config_window.h"
#include "ui/dialogs/pref_candidate_dialog.h"
#include "ui/settings/pref_member_list_view.h"

#include <QJsonArray>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::RoomSnapshotBuilder;
using namespace wiringtest;

namespace {

class MemoryPrefStorage : public IPrefStorage
{
public:
    QList<PrefConfig> load() override { return stored; }
    void save(const QList<PrefConfig> &configs) override { stored = configs; }
    QList<PrefConfig> stored;
};

QStringList labelTexts(QWidget *widget)
{
    QStringList texts;
    for (QLabel *label : widget->findChildren<QLabel *>())
        texts << label->text();
    return texts;
}

struct Fixture
{
    WindowFixture ui;
    MemoryPrefStorage storage;
    std::unique_ptr<PreferenceService> prefs;
    RoomServiceFixture room;
    PrefMatchService match{&room.http};
    RoomCreateService create{&room.http};
    RoomSettingsService settings{&room.http, &room.store, &room.feed};
    ScriptedResolver users;

    explicit Fixture(QList<PrefConfig> groups = {{"team", {"u1", "u2", "u3", "u4"}}, {"solo", {}}})
    {
        storage.stored = groups;
        prefs = std::make_unique<PreferenceService>(&storage);
        users.names.insert("u1", {"One", "one"});
        users.names.insert("u2", {"Two", "two"});
        users.names.insert("u3", {"Three", "three"});
        users.names.insert("u4", {QString(), "four"});
        wiring::wirePrefConfigs(&ui.window, prefs.get(), &users, &room.session, nullptr, nullptr);
        wiring::wirePrefMatch(&ui.window, prefs.get(), &match, &room.store, &room.session, &create, &settings, &users);
    }
    ConfigWindow *editor() const { return findDialog<ConfigWindow>(&ui.window); }
    PrefMemberListView *editorList() const { return editor()->findChild<PrefMemberListView *>(); }
    PrefCandidateDialog *candidates() const { return findDialog<PrefCandidateDialog>(&ui.window); }
    QStringList shownIds() const
    {
        QStringList ids;
        for (const PrefMemberEntry &entry : editorList()->members())
            ids << entry.userId;
        return ids;
    }
    // Starts a match from the tab's row, as the user does, so that the tab turns busy.
    void startMatch(int row)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QList<QPushButton *> buttons;
        for (QPushButton *button : ui.tab->findChildren<QPushButton *>()) {
            if (button->text() == QStringLiteral("连接"))
                buttons << button;
        }
        buttons.at(row)->click();
    }
    void answerCandidates(const QList<QPair<QString, QString>> &pairs)
    {
        QJsonArray array;
        for (const auto &pair : pairs)
            array.append(QJsonObject{{"userId", pair.first}, {"roomId", pair.second}});
        room.http.answer("/v1/match/preference", 0, jsonReply(200, {{"status", "candidates"}, {"candidates", array}}));
    }
};

} // namespace

class TestPrefWiring : public QObject
{
    Q_OBJECT

private slots:
    void tabListsTheGroups();
    void editorShowsTheSelectedGroup();
    void editorFollowsDeletionAndRemovals();
    void editorWithoutGroupsShowsThePlaceholder();
    void matchShowsRoomsInFirstCandidateOrder();
    void acceptingJoinsTheRoom();
    void decliningEndsTheMatch();
    void expiredMatchClearsTheTabAndTellsTheUser();
    void emptyGroupOpensTheDialogWithoutARequest();
    void creatingARoomHandsItTheGroup();
};

void TestPrefWiring::tabListsTheGroups()
{
    Fixture f;
    QList<ConnectSettingsTab::PrefGroupEntry> groups = f.ui.tab->prefGroupEntries();
    QCOMPARE(groups.size(), 2);
    QCOMPARE(groups.at(0).name, QString("team"));
    QCOMPARE(groups.at(0).memberCount, 4);
    QCOMPARE(groups.at(1).memberCount, 0);
    f.prefs->addMember(1, "u9");
    QCOMPARE(f.ui.tab->prefGroupEntries().at(1).memberCount, 1);
}

void TestPrefWiring::editorShowsTheSelectedGroup()
{
    Fixture f;
    emit f.ui.tab->openPrefConfigRequested();
    ConfigWindow *editor = f.editor();
    QVERIFY(editor);
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->windowTitle(), QString("偏好组"));
    QCOMPARE(editor->currentIndex(), 0);
    QVERIFY(!editor->rowAt(-1)); // no none row
    QVERIFY(f.editorList()->isEditable());
    QCOMPARE(f.shownIds(), QStringList({"u1", "u2", "u3", "u4"}));
    QCOMPARE(f.editorList()->members().at(0).displayName, QString("One"));
    QCOMPARE(f.editorList()->members().at(3).displayName, QString("four"));
    editor->close();

    emit f.ui.tab->openPrefEditRequested(1);
    QCOMPARE(f.editor()->currentIndex(), 1);
    QCOMPARE(f.shownIds(), QStringList());
    f.prefs->addMember(1, "u7"); // an unknown user: "…" until the name arrives
    QCOMPARE(f.shownIds(), QStringList({"u7"}));
    QCOMPARE(f.editorList()->members().at(0).displayName, QString("\u2026"));
    f.users.arrive("u7", "Seven");
    QTRY_COMPARE(f.editorList()->members().at(0).displayName, QString("Seven"));
}

void TestPrefWiring::editorFollowsDeletionAndRemovals()
{
    Fixture f({{"a", {"u1"}}, {"b", {"u2", "u3"}}, {"c", {"u4"}}});
    emit f.ui.tab->openPrefEditRequested(1);
    ConfigWindow *editor = f.editor();
    emit f.editorList()->removeRequested("u3");
    QCOMPARE(f.prefs->configs().at(1).memberIds, QStringList{"u2"});
    QCOMPARE(f.shownIds(), QStringList{"u2"});
    QCOMPARE(f.ui.tab->prefGroupEntries().at(1).memberCount, 1);

    emit editor->itemRenameRequested(1, " bee ");
    QCOMPARE(f.prefs->configs().at(1).name, QString("bee"));
    emit editor->itemAddRequested();
    QCOMPARE(f.prefs->configs().size(), 4);

    // Removals go to the group selected at the moment of the click.
    editor->setCurrentIndex(0);
    emit f.editorList()->removeRequested("u1");
    QVERIFY(f.prefs->configs().at(0).memberIds.isEmpty());

    emit editor->itemDeleteRequested(0);
    QCOMPARE(f.prefs->configs().size(), 3);
    const int selected = editor->currentIndex();
    QVERIFY(selected >= 0 && selected < 3);
    QCOMPARE(f.shownIds(), f.prefs->configs().at(selected).memberIds);
}

void TestPrefWiring::editorWithoutGroupsShowsThePlaceholder()
{
    Fixture f(QList<PrefConfig>{});
    emit f.ui.tab->openPrefConfigRequested();
    ConfigWindow *editor = f.editor();
    QCOMPARE(editor->currentIndex(), -1);
    QCOMPARE(editor->placeholder()->text(), QString("左侧添加新配置以加入成员"));
    QVERIFY(editor->placeholder()->isVisible());
    QCOMPARE(f.shownIds(), QStringList());
    emit editor->itemAddRequested();
    QVERIFY(editor->nameLabelAt(0));
    QVERIFY(!editor->placeholder()->isVisible());
}

void TestPrefWiring::matchShowsRoomsInFirstCandidateOrder()
{
    Fixture f;
    // R2 is known and admits everyone; R1 is not in the store.
    f.room.store.retain("R2");
    f.room.snapshot(RoomSnapshotBuilder("R2").name("Den").setting("accessMode", "public"));
    f.startMatch(0);
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::PrefMatch);
    const QList<FakeHttpClient::Call> sent = f.room.http.callsTo("/v1/match/preference");
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.at(0).body.value("memberIds").toArray(), QJsonArray({"u1", "u2", "u3", "u4"}));

    f.answerCandidates({{"u1", "R2"}, {"u2", "R1"}, {"u3", "R2"}});
    PrefCandidateDialog *dialog = f.candidates();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->hintLabel()->text(), QString("team · 4 人"));
    QListWidget *list = dialog->roomList();
    QCOMPARE(list->count(), 4);
    QVERIFY(labelTexts(list->itemWidget(list->item(0))).contains("four"));
    QCOMPARE(list->item(2)->data(PrefCandidateDialog::RoomIdRole).toString(), QString("R2"));
    QCOMPARE(list->item(3)->data(PrefCandidateDialog::RoomIdRole).toString(), QString("R1"));
    const QStringList den = labelTexts(list->itemWidget(list->item(2)));
    QVERIFY(den.contains("Den"));
    QVERIFY(den.contains("可直入"));
    QVERIFY(den.contains("One、Three"));
    const QStringList stranger = labelTexts(list->itemWidget(list->item(3)));
    QVERIFY(stranger.contains("（陌生房间）"));
    QVERIFY(stranger.contains("需申请"));
    QVERIFY(stranger.contains("Two"));
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::PrefMatch); // busy while the dialog is open
    dialog->close();
}

void TestPrefWiring::acceptingJoinsTheRoom()
{
    Fixture f;
    f.startMatch(0);
    f.answerCandidates({{"u1", "R1"}});
    QPointer<PrefCandidateDialog> dialog = f.candidates();
    f.room.clearCalls();
    emit dialog->joinRequested("R1");
    QCOMPARE(f.room.http.calls.size(), 1);
    QCOMPARE(f.room.http.calls.at(0).path, QString("/v1/rooms/R1/join"));
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::None);
    QTRY_VERIFY(dialog.isNull());
}

void TestPrefWiring::decliningEndsTheMatch()
{
    Fixture f;
    f.startMatch(0);
    f.answerCandidates({{"u1", "R1"}});
    QPointer<PrefCandidateDialog> dialog = f.candidates();
    f.room.clearCalls();
    dialog->cancelButton()->click();
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::None);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(f.room.http.calls.size(), 0);
}

void TestPrefWiring::expiredMatchClearsTheTabAndTellsTheUser()
{
    Fixture f;
    f.startMatch(0);
    f.room.http.answer("/v1/match/preference", 0, testsupport::timedOutReply());
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::None);
    QVERIFY(!f.candidates());
    f.startMatch(0);
    f.room.http.answer("/v1/match/preference", 1, jsonReply(409, {{"message", "成员不在线"}}));
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::None);
    QCOMPARE(playedMessages(f.ui.statusBar(), 2), QStringList({"匹配失败，请稍后重试", "成员不在线"}));
}

void TestPrefWiring::emptyGroupOpensTheDialogWithoutARequest()
{
    Fixture f;
    f.startMatch(1);
    QCOMPARE(f.room.http.callsTo("/v1/match/preference").size(), 0);
    PrefCandidateDialog *dialog = f.candidates();
    QVERIFY(dialog);
    QCOMPARE(dialog->hintLabel()->text(), QString("solo · 0 人"));
    QVERIFY(labelTexts(dialog->roomList()->itemWidget(dialog->roomList()->item(0))).contains("无"));
    dialog->close();
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::None);
}

void TestPrefWiring::creatingARoomHandsItTheGroup()
{
    Fixture f;
    f.startMatch(0);
    f.answerCandidates({});
    QPointer<PrefCandidateDialog> dialog = f.candidates();
    f.room.clearCalls();
    // The group changes after the match; the new room gets the group as it is at the click.
    f.prefs->removeMember(0, "u4");
    dialog->createButton()->click();
    QCOMPARE(f.room.http.calls.size(), 1);
    QCOMPARE(f.room.http.calls.at(0).path, QString("/v1/rooms"));
    QVERIFY(f.room.http.calls.at(0).body.isEmpty());
    f.room.http.reply(0, jsonReply(200, {{"roomId", "N1"}}));
    f.room.http.reply(1, jsonReply(200, {{"outcome", "joined"}}));
    const QList<FakeHttpClient::Call> saves = f.room.http.callsTo("/v1/rooms/N1/settings");
    QCOMPARE(saves.size(), 1);
    const QJsonArray pref = saves.at(0).body.value("pref").toArray();
    QCOMPARE(pref.size(), 4);
    QCOMPARE(pref.at(0).toObject().value("userId").toString(), QString("u1"));
    QCOMPARE(pref.at(3).toObject().value("userId").toString(), QString("u4"));
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::None);

    // A room created later elsewhere no longer reaches the closed dialog's slot.
    f.create.createTempRoom(-1);
    const qsizetype index = f.room.http.calls.size() - 1;
    f.room.http.reply(index, jsonReply(200, {{"roomId", "N2"}}));
    f.room.http.reply(index + 1, jsonReply(200, {{"outcome", "joined"}}));
    QCOMPARE(f.room.http.callsTo("/v1/rooms/N2/settings").size(), 0);
}

KESTOVA_TEST_MAIN(TestPrefWiring)
#include "test_pref_wiring.moc"
