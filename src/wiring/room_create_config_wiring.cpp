#include "wiring/main_window_wiring.h"
#include "wiring/room_settings_wiring.h"
#include "wiring/window_views.h"
#include "wiring/wiring_common.h"

#include "room/room_create_config_service.h"
#include "room/room_create_service.h"
#include "ui/connect/config_window.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "user/user_state.h"

#include <QJsonObject>

namespace wiring {

namespace {

void refreshCreateConfigList(ConnectSettingsTab *tab, RoomCreateConfigService *configs)
{
    QList<ConnectSettingsTab::ConfigItem> items;
    for (const RoomCreateConfig &config : configs->configs())
        items.append({config.name, config.roomName, config.bitrate});
    tab->setConfigs(items);
}

void refreshCreateConfigItems(ConfigWindow *window, RoomCreateConfigService *configs)
{
    QStringList names;
    for (const RoomCreateConfig &config : configs->configs())
        names.append(config.name);
    window->setItems(names);
}

// The dialog of the editor shows the selected configuration, or the defaults with
// nothing editable when none is selected.
void showCreateConfig(ConfigWindow *window, RoomSettingsDialog *dialog, RoomCreateConfigService *configs)
{
    const int index = window->currentIndex();
    const QList<RoomCreateConfig> list = configs->configs();
    RoomBaseSettingsView::Values values;
    RoomSettingsDialog::Permissions rights;
    if (index >= 0 && index < list.size()) {
        const RoomCreateConfig &config = list.at(index);
        values.name = config.roomName;
        values.bitrate = config.bitrate;
        values.accessMode = config.accessMode;
        values.requireApproval = config.requireApproval;
        values.codeDirectEntry = config.codeDirectEntry;
        values.allowSubroom = config.allowSubRoom;
        values.allowSubroomBroadcast = config.allowSubRoomBroadcast;
        values.allowSubroomChat = config.allowSubRoomChat;
        rights.changeName = true;
        rights.changeBitrate = true;
        rights.changeAccessMode = true;
        rights.toggleRequireApproval = true;
        rights.toggleCodeDirectEntry = true;
        rights.toggleAllowSubroomAttach = true;
        rights.toggleAllowSubroomBroadcast = true;
        rights.toggleAllowSubroomChat = true;
    }
    dialog->setSettings(values);
    dialog->setPermissions(rights);
}

// A change made in the editor's dialog overwrites the fields it names; the label of the
// configuration is never among them ("name" is the created room's name).
void saveCreateConfig(ConfigWindow *window, RoomCreateConfigService *configs, const QJsonObject &updates)
{
    const int index = window->currentIndex();
    const QList<RoomCreateConfig> list = configs->configs();
    if (index < 0 || index >= list.size())
        return;
    RoomCreateConfig config = list.at(index);
    if (updates.contains(QLatin1String("name")))
        config.roomName = updates.value(QLatin1String("name")).toString();
    if (updates.contains(QLatin1String("bitrate")))
        config.bitrate = updates.value(QLatin1String("bitrate")).toInt(0);
    if (updates.contains(QLatin1String("accessMode")))
        config.accessMode = updates.value(QLatin1String("accessMode")).toString();
    if (updates.contains(QLatin1String("requireApproval")))
        config.requireApproval = updates.value(QLatin1String("requireApproval")).toBool();
    if (updates.contains(QLatin1String("codeDirectEntry")))
        config.codeDirectEntry = updates.value(QLatin1String("codeDirectEntry")).toBool();
    if (updates.contains(QLatin1String("allowSubroom")))
        config.allowSubRoom = updates.value(QLatin1String("allowSubroom")).toString();
    if (updates.contains(QLatin1String("allowSubroomBroadcast")))
        config.allowSubRoomBroadcast = updates.value(QLatin1String("allowSubroomBroadcast")).toBool();
    if (updates.contains(QLatin1String("allowSubroomChat")))
        config.allowSubRoomChat = updates.value(QLatin1String("allowSubroomChat")).toBool();
    configs->updateConfig(index, config);
}

} // namespace

QString defaultRoomName(UserState *user)
{
    const QString nickname = user != nullptr ? user->nickname() : QString();
    return nickname + QStringLiteral("的房间");
}

void wireRoomCreateConfigs(MainWindow *window, RoomCreateConfigService *configs, UserState *user)
{
    auto *tab = windowView<ConnectSettingsTab>(window->connectSettingsTab());
    if (tab == nullptr || configs == nullptr)
        return;
    refreshCreateConfigList(tab, configs);
    QObject::connect(configs, &RoomCreateConfigService::configsChanged, tab,
                     [tab, configs] { refreshCreateConfigList(tab, configs); });
    tab->setDefaultRoomName(defaultRoomName(user));
    if (user != nullptr) {
        QObject::connect(user, &UserState::nicknameChanged, tab,
                         [tab, user] { tab->setDefaultRoomName(defaultRoomName(user)); });
    }
    QObject::connect(tab, &ConnectSettingsTab::createConfigRequested, window,
                     [window, configs, user] { openCreateConfigEditor(window, configs, user, -1); });
    QObject::connect(tab, &ConnectSettingsTab::editConfigRequested, window,
                     [window, configs, user](int index) { openCreateConfigEditor(window, configs, user, index); });
}

void openCreateConfigEditor(MainWindow *window, RoomCreateConfigService *configs, UserState *user, int index)
{
    if (configs == nullptr)
        return;
    auto *editor = new ConfigWindow(QStringLiteral("建房配置"), QStringLiteral("＋ 添加新配置"), window);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    auto *dialog = new RoomSettingsDialog(editor, true);
    editor->setDetailWidget(dialog);
    QObject::connect(editor, &ConfigWindow::itemSelected, dialog,
                     [editor, dialog, configs] { showCreateConfig(editor, dialog, configs); });
    refreshCreateConfigItems(editor, configs);
    QObject::connect(configs, &RoomCreateConfigService::configsChanged, editor,
                     [editor, configs] { refreshCreateConfigItems(editor, configs); });
    editor->setCurrentIndex(index);
    dialog->setDefaultName(defaultRoomName(user));
    if (user != nullptr) {
        QObject::connect(user, &UserState::nicknameChanged, dialog,
                         [dialog, user] { dialog->setDefaultName(defaultRoomName(user)); });
    }
    QObject::connect(editor, &ConfigWindow::itemAddRequested, configs, &RoomCreateConfigService::addConfig);
    QObject::connect(editor, &ConfigWindow::itemRenameRequested, configs, &RoomCreateConfigService::renameConfig);
    QObject::connect(editor, &ConfigWindow::itemDeleteRequested, configs, &RoomCreateConfigService::removeConfig);
    QObject::connect(dialog, &RoomSettingsDialog::settingsSaved, configs,
                     [editor, configs](const QJsonObject &updates) { saveCreateConfig(editor, configs, updates); });
    editor->open();
}

void wireRoomCreation(MainWindow *window, RoomCreateService *roomCreate)
{
    if (roomCreate == nullptr)
        return;
    MainStatusBar *statusBar = window->statusBar();
    auto *tab = windowView<ConnectSettingsTab>(window->connectSettingsTab());
    if (tab != nullptr) {
        QObject::connect(tab, &ConnectSettingsTab::createRoomFromConfigRequested, roomCreate,
                         &RoomCreateService::createTempRoom);
    }
    QObject::connect(window, &MainWindow::createTempRoomRequested, roomCreate,
                     [roomCreate] { roomCreate->createTempRoom(-1); });
    if (tab != nullptr)
        QObject::connect(roomCreate, &RoomCreateService::tempRoomEntering, tab, &ConnectSettingsTab::clearBusy);
    QObject::connect(roomCreate, &RoomCreateService::createTempRoomFailed, window,
                     [tab, statusBar](RoomErrorCode, const QString &message) {
                         if (tab != nullptr)
                             tab->clearBusy();
                         showFailure(statusBar, message, QStringLiteral("创建房间失败，请稍后重试"));
                     });
    QObject::connect(window, &MainWindow::createPersistentRoomRequested, roomCreate,
                     &RoomCreateService::createPersistentRoom);
    QObject::connect(roomCreate, &RoomCreateService::createPersistentRoomFailed, statusBar,
                     [statusBar](RoomErrorCode, const QString &message) {
                         showFailure(statusBar, message, QStringLiteral("创建持久房间失败，请稍后重试"));
                     });
}

} // namespace wiring
