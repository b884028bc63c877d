#include "wiring/main_window_wiring.h"
#include "wiring/room_settings_wiring.h"
#include "wiring_test_fixture.h"

#include "room/i_room_storage.h"
#include "room/room_create_config_service.h"
#include "room/room_create_service.h"
#include "support/fake_http_client.h"
#include "support/test_main.h"
#include "ui/connect/config_window.h"
#include "ui/settings/room_base_settings_view.h"
#include "ui/settings/room_settings_dialog.h"

#include "ui/widgets/segmented_control.h"
#include <QComboBox>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using namespace wiringtest;

namespace {

class MemoryRoomStorage : public IRoomStorage
{
public:
    QList<RoomCreateConfig> load() override { return stored; }
    void save(const QList<RoomCreateConfig> &configs) override { stored = configs; }
    QList<RoomCreateConfig> stored;
};

RoomCreateConfig config(const QString &name, const QString &roomName, int bitrate)
{
    RoomCreateConfig c;
    c.name = name;
    c.roomName = roomName;
    c.bitrate = bitrate;
    c.accessMode = QStringLiteral("pref_only");
    c.requireApproval = true;
    return c;
}

struct Fixture
{
    WindowFixture ui;
    UserState user;
    MemoryRoomStorage storage;
    std::unique_ptr<RoomCreateConfigService> configs;
    FakeHttpClient http;
    RoomCreateService create{&http};

    Fixture()
    {
        storage.stored = {config("work", "Standup", 32000), config("play", QString(), 96000)};
        configs = std::make_unique<RoomCreateConfigService>(&storage);
        RoomCreateConfigService *raw = configs.get();
        create.setConfigProvider([raw](int index) { return raw->toJson(index); });
        signIn(user, "me", "Ann");
        wiring::wireRoomCreateConfigs(&ui.window, configs.get(), &user);
        wiring::wireRoomCreation(&ui.window, &create);
    }
    ConfigWindow *editor() const { return findDialog<ConfigWindow>(&ui.window); }
    RoomSettingsDialog *editorDialog() const { return editor()->findChild<RoomSettingsDialog *>(); }
    QPushButton *createButton(int row) const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QList<QPushButton *> buttons;
        for (QPushButton *button : ui.tab->findChildren<QPushButton *>()) {
            if (button->text() == QStringLiteral("创建"))
                buttons << button;
        }
        return buttons.value(row + 1); // the default row comes first
    }
};

} // namespace

class TestRoomCreateConfigWiring : public QObject
{
    Q_OBJECT

private slots:
    void tabListsTheConfigurationsAndTheDefaultName();
    void editorOpenedFromTheAddEntryShowsDefaultsLocked();
    void editorShowsAConfigurationAndSavesIntoIt();
    void editorButtonsReachTheService();
    void createsARoomFromASavedConfiguration();
    void defaultRowAndMenuSendNoConfiguration();
    void failedCreationsAreShown();
};

void TestRoomCreateConfigWiring::tabListsTheConfigurationsAndTheDefaultName()
{
    Fixture f;
    const QList<ConnectSettingsTab::ConfigItem> items = f.ui.tab->configEntries();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0).name, QString("work"));
    QCOMPARE(items.at(0).roomName, QString("Standup"));
    QCOMPARE(items.at(0).bitrate, 32000);
    QCOMPARE(items.at(1).roomName, QString());
    QCOMPARE(f.ui.tab->defaultRoomNameText(), QString("Ann的房间"));

    f.user.setNickname("Bob");
    QCOMPARE(f.ui.tab->defaultRoomNameText(), QString("Bob的房间"));
    f.user.clear();
    QCOMPARE(f.ui.tab->defaultRoomNameText(), QString("的房间"));

    f.configs->addConfig();
    QCOMPARE(f.ui.tab->configEntries().size(), 3);
    QCOMPARE(f.ui.tab->configEntries().last().name, QString("新配置"));
}

void TestRoomCreateConfigWiring::editorOpenedFromTheAddEntryShowsDefaultsLocked()
{
    Fixture f;
    emit f.ui.tab->createConfigRequested();
    ConfigWindow *editor = f.editor();
    QVERIFY(editor);
    QVERIFY(editor->isVisible());
    QVERIFY(editor->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(editor->windowTitle(), QString("建房配置"));
    QCOMPARE(editor->currentIndex(), -1);
    RoomBaseSettingsView *page = f.editorDialog()->basePage();
    QCOMPARE(page->nameField()->text(), QString());
    QCOMPARE(page->nameField()->placeholderText(), QString("Ann的房间"));
    QCOMPARE(page->bitrateBox()->currentData().toInt(), 64000);
    QCOMPARE(page->accessModeControl()->value(), QString("public"));
    QVERIFY(!page->nameField()->isEnabled());
    QVERIFY(!page->bitrateBox()->isEnabled());
    QVERIFY(!page->accessModeControl()->isEnabled());

    // A save with nothing selected changes no configuration.
    const QList<RoomCreateConfig> before = f.configs->configs();
    emit f.editorDialog()->settingsSaved(QJsonObject{{"name", "x"}});
    QCOMPARE(f.configs->configs(), before);

    // The placeholder of the open editor follows the nickname.
    f.user.setNickname("Cat");
    QCOMPARE(page->nameField()->placeholderText(), QString("Cat的房间"));
    editor->close();
}

void TestRoomCreateConfigWiring::editorShowsAConfigurationAndSavesIntoIt()
{
    Fixture f;
    emit f.ui.tab->editConfigRequested(0);
    ConfigWindow *editor = f.editor();
    QCOMPARE(editor->currentIndex(), 0);
    RoomSettingsDialog *dialog = f.editorDialog();
    RoomBaseSettingsView *page = dialog->basePage();
    QCOMPARE(page->nameField()->text(), QString("Standup"));
    QCOMPARE(page->bitrateBox()->currentData().toInt(), 32000);
    QCOMPARE(page->accessModeControl()->value(), QString("pref_only"));
    QVERIFY(page->nameField()->isEnabled());
    QVERIFY(page->accessModeControl()->isEnabled());
    QVERIFY(!page->roomCodeSwitchButton()->isEnabled());

    // "name" is the created room's name; the configuration keeps its label.
    emit dialog->settingsSaved(QJsonObject{{"name", "Retro"}});
    emit dialog->settingsSaved(QJsonObject{{"bitrate", 32000}});
    emit dialog->settingsSaved(QJsonObject{{"allowSubroom", "deny"}, {"allowSubroomChat", false}});
    emit dialog->settingsSaved(QJsonObject{{"bitrate", "loud"}, {"unknown", 1}});
    const RoomCreateConfig saved = f.configs->configs().at(0);
    QCOMPARE(saved.name, QString("work"));
    QCOMPARE(saved.roomName, QString("Retro"));
    QCOMPARE(saved.bitrate, 0);
    QCOMPARE(saved.allowSubRoom, QString("deny"));
    QVERIFY(!saved.allowSubRoomChat);
    QVERIFY(saved.requireApproval);
    QCOMPARE(f.storage.stored.at(0), saved);
    // Both lists refill from the service, and the dialog shows the stored values.
    QCOMPARE(f.ui.tab->configEntries().at(0).roomName, QString("Retro"));
    QCOMPARE(page->nameField()->text(), QString("Retro"));
    QCOMPARE(editor->currentIndex(), 0);
    editor->close();
}

void TestRoomCreateConfigWiring::editorButtonsReachTheService()
{
    Fixture f;
    emit f.ui.tab->editConfigRequested(1);
    ConfigWindow *editor = f.editor();
    emit editor->itemAddRequested();
    QCOMPARE(f.configs->configs().size(), 3);
    QCOMPARE(editor->nameLabelAt(2)->text(), QString("新配置"));
    QCOMPARE(editor->currentIndex(), 1);

    emit editor->itemRenameRequested(2, "  party ");
    QCOMPARE(f.configs->configs().at(2).name, QString("party"));

    emit editor->itemDeleteRequested(1);
    QCOMPARE(f.configs->configs().size(), 2);
    QCOMPARE(f.ui.tab->configEntries().size(), 2);
    // Whatever the window selects afterwards is shown; with nothing selected, the defaults.
    RoomBaseSettingsView *page = f.editorDialog()->basePage();
    if (editor->currentIndex() < 0) {
        QVERIFY(!page->nameField()->isEnabled());
    } else {
        QCOMPARE(page->nameField()->text(), f.configs->configs().at(editor->currentIndex()).roomName);
        QVERIFY(page->nameField()->isEnabled());
    }

    // Every opening makes a new window; closing deletes it.
    QPointer<ConfigWindow> first = editor;
    emit f.ui.tab->editConfigRequested(0);
    QVERIFY(f.editor() != first.data());
    first->close();
    QTRY_VERIFY(first.isNull());
    f.editor()->close();
}

void TestRoomCreateConfigWiring::createsARoomFromASavedConfiguration()
{
    Fixture f;
    QSignalSpy entering(&f.create, &RoomCreateService::tempRoomEntering);
    f.createButton(0)->click();
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::CreateFromConfig);
    QCOMPARE(f.http.calls.size(), 1);
    QCOMPARE(f.http.calls.at(0).path, QString("/v1/rooms"));
    const QJsonObject body = f.http.calls.at(0).body;
    QCOMPARE(body.value("roomName").toString(), QString("Standup"));
    QCOMPARE(body.value("bitrate").toInt(), 32000);
    QCOMPARE(body.value("accessMode").toString(), QString("pref_only"));

    f.http.reply(0, jsonReply(200, {{"roomId", "r9"}}));
    QCOMPARE(f.http.calls.at(1).path, QString("/v1/rooms/r9/join"));
    f.http.reply(1, jsonReply(200, {{"outcome", "joined"}}));
    QCOMPARE(entering.size(), 1);
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::None);
}

void TestRoomCreateConfigWiring::defaultRowAndMenuSendNoConfiguration()
{
    Fixture f;
    f.createButton(-1)->click();
    emit f.ui.window.createTempRoomRequested();
    QCOMPARE(f.http.calls.size(), 2);
    for (const FakeHttpClient::Call &call : f.http.calls) {
        QCOMPARE(call.path, QString("/v1/rooms"));
        QVERIFY(call.body.isEmpty());
    }
    emit f.ui.window.createPersistentRoomRequested();
    QCOMPARE(f.http.calls.size(), 3);
    QCOMPARE(f.http.calls.at(2).path, QString("/v1/rooms/persistent"));
}

void TestRoomCreateConfigWiring::failedCreationsAreShown()
{
    Fixture f;
    f.createButton(1)->click();
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::CreateFromConfig);
    f.http.reply(0, jsonReply(500, {}));
    QCOMPARE(f.ui.tab->currentBusyMode(), ConnectSettingsTab::None);
    emit f.ui.window.createPersistentRoomRequested();
    f.http.reply(1, jsonReply(403, {{"message", "不允许"}}));
    emit f.ui.window.createPersistentRoomRequested();
    f.http.reply(2, jsonReply(500, {}));
    QCOMPARE(playedMessages(f.ui.statusBar(), 3),
             QStringList({"创建房间失败，请稍后重试", "不允许", "创建持久房间失败，请稍后重试"}));
}

KESTOVA_TEST_MAIN(TestRoomCreateConfigWiring)
#include "test_room_create_config_wiring.moc"
