#include "wiring/pref_wiring.h"
#include "wiring/main_window_wiring.h"
#include "wiring/window_views.h"
#include "wiring/wiring_common.h"

#include "match/preference_service.h"
#include "room/active_room_session.h"
#include "room/room_create_service.h"
#include "room/room_entity.h"
#include "room/room_entity_store.h"
#include "room/room_settings_service.h"
#include "ui/connect/config_window.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/dialogs/pref_candidate_dialog.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/settings/pref_member_list_view.h"
#include "user/abstract_user_resolver.h"

#include <QBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QTimer>

#include "wiring/picker_wiring.h"

namespace wiring {

namespace {

void refreshPrefGroups(ConnectSettingsTab *tab, PreferenceService *preferences)
{
    QList<ConnectSettingsTab::PrefGroupEntry> groups;
    for (const PrefConfig &config : preferences->configs())
        groups.append({config.name, int(config.memberIds.size())});
    tab->setPrefGroups(groups);
}

void refreshPrefGroupNames(ConfigWindow *window, PreferenceService *preferences)
{
    QStringList names;
    for (const PrefConfig &config : preferences->configs())
        names.append(config.name);
    window->setItems(names);
}

void refreshPrefGroupDetail(ConfigWindow *window, PrefMemberListView *members, PreferenceService *preferences,
                            AbstractUserResolver *users)
{
    const int index = window->currentIndex();
    const QList<PrefConfig> configs = preferences->configs();
    QList<PrefMemberEntry> rows;
    if (index >= 0 && index < configs.size()) {
        for (const QString &userId : configs.at(index).memberIds)
            rows.append(
                {userId, displayNameFor(users, userId), users != nullptr ? users->username(userId) : QString()});
    }
    members->setMembers(rows);
}

} // namespace

void wirePrefConfigs(MainWindow *window, PreferenceService *preferences, AbstractUserResolver *users,
                     ActiveRoomSession *activeRoom, RoomListService *roomList, UserState *user)
{
    const PrefPickSources sources{activeRoom, roomList, user, users};
    auto *tab = windowView<ConnectSettingsTab>(window->connectSettingsTab());
    if (tab == nullptr || preferences == nullptr)
        return;
    refreshPrefGroups(tab, preferences);
    QObject::connect(preferences, &PreferenceService::configsChanged, tab,
                     [tab, preferences] { refreshPrefGroups(tab, preferences); });
    QObject::connect(tab, &ConnectSettingsTab::openPrefConfigRequested, window,
                     [window, preferences, users, sources] {
                         openPrefConfigWindow(window, preferences, users, -1, sources);
                     });
    QObject::connect(tab, &ConnectSettingsTab::openPrefEditRequested, window,
                     [window, preferences, users, sources](int index) {
                         openPrefConfigWindow(window, preferences, users, index, sources);
                     });
}

void openPrefConfigWindow(MainWindow *window, PreferenceService *preferences, AbstractUserResolver *users, int index,
                          const PrefPickSources &sources)
{
    if (preferences == nullptr)
        return;
    auto *editor = new ConfigWindow(QStringLiteral("偏好组"), QStringLiteral("＋ 添加新配置"), window);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->setAllowNone(false);
    editor->setPlaceholderText(QStringLiteral("左侧添加新配置以加入成员"));

    auto *detail = new QWidget;
    auto *layout = new QVBoxLayout(detail);
    layout->setContentsMargins(18, 14, 18, 12);
    layout->setSpacing(8);
    auto *members = new PrefMemberListView(detail);
    layout->addWidget(members, 1);
    members->setEditable(true);
    members->setGroup(QStringLiteral("成员"), QString());
    editor->setDetailWidget(detail);

    const auto refreshDetail = [editor, members, preferences, users] {
        refreshPrefGroupDetail(editor, members, preferences, users);
    };
    QObject::connect(editor, &ConfigWindow::itemSelected, members, refreshDetail);
    refreshPrefGroupNames(editor, preferences);
    QObject::connect(preferences, &PreferenceService::configsChanged, editor,
                     [editor, preferences] { refreshPrefGroupNames(editor, preferences); });
    editor->setCurrentIndex(index < 0 ? 0 : index);

    // Names resolved later replace their placeholders once per loop turn.
    auto *namesArrived = new QTimer(editor);
    namesArrived->setSingleShot(true);
    namesArrived->setInterval(0);
    QObject::connect(namesArrived, &QTimer::timeout, editor, refreshDetail);
    if (users != nullptr)
        QObject::connect(users, &AbstractUserResolver::userInfoReady, namesArrived, qOverload<>(&QTimer::start));

    QObject::connect(editor, &ConfigWindow::itemAddRequested, preferences, &PreferenceService::addConfig);
    QObject::connect(editor, &ConfigWindow::itemRenameRequested, preferences, &PreferenceService::renameConfig);
    QObject::connect(editor, &ConfigWindow::itemDeleteRequested, preferences, &PreferenceService::removeConfig);
    QObject::connect(members, &PrefMemberListView::removeRequested, preferences,
                     [editor, preferences](const QString &userId) {
                         preferences->removeMember(editor->currentIndex(), userId);
                     });
    QObject::connect(members, &PrefMemberListView::addRequested, editor,
                     [editor, preferences, sources] { openPrefGroupPicker(editor, preferences, sources); });
    editor->open();
}

void wirePrefMatch(MainWindow *window, PreferenceService *preferences, PrefMatchService *prefMatch,
                   RoomEntityStore *roomStore, ActiveRoomSession *activeRoom, RoomCreateService *roomCreate,
                   RoomSettingsService *roomSettings, AbstractUserResolver *users)
{
    auto *tab = windowView<ConnectSettingsTab>(window->connectSettingsTab());
    if (tab == nullptr || preferences == nullptr || prefMatch == nullptr)
        return;
    auto context = std::make_shared<PrefMatchContext>();
    *context = {window, preferences, prefMatch, roomStore, activeRoom, roomCreate, roomSettings, users, {}, {}};
    QObject::connect(tab, &ConnectSettingsTab::prefMatchRequested, window,
                     [context](int index) { startPrefMatch(context, index); });
    QObject::connect(prefMatch, &PrefMatchService::candidatesReady, window,
                     [context](const QList<PrefMatchService::Candidate> &candidates) {
                         showPrefCandidates(context, candidates);
                     });
    MainStatusBar *statusBar = window->statusBar();
    QObject::connect(prefMatch, &PrefMatchService::matchFailed, window,
                     [tab, statusBar](MatchErrorCode, const QString &message) {
                         tab->clearBusy();
                         showFailure(statusBar, message, QStringLiteral("匹配失败，请稍后重试"));
                     });
}

void startPrefMatch(const std::shared_ptr<PrefMatchContext> &context, int index)
{
    const QList<PrefConfig> configs = context->preferences->configs();
    if (index < 0 || index >= configs.size())
        return;
    context->groupName = configs.at(index).name;
    context->memberIds = configs.at(index).memberIds;
    if (context->memberIds.isEmpty()) {
        showPrefCandidates(context, {});
        return;
    }
    context->prefMatch->start(context->memberIds);
}

void showPrefCandidates(const std::shared_ptr<PrefMatchContext> &context,
                        const QList<PrefMatchService::Candidate> &candidates)
{
    MainWindow *window = context->window;
    QList<PrefCandidateRoom> rooms;
    QHash<QString, qsizetype> rowOfRoom;
    QSet<QString> matched;
    for (const PrefMatchService::Candidate &candidate : candidates) {
        matched.insert(candidate.userId);
        qsizetype row = rowOfRoom.value(candidate.roomId, -1);
        if (row < 0) {
            PrefCandidateRoom room;
            room.roomId = candidate.roomId;
            const RoomEntity *stored =
                context->roomStore != nullptr ? context->roomStore->find(candidate.roomId) : nullptr;
            if (stored != nullptr && stored->populated != 0) {
                room.roomName = stored->name;
                room.directEntry = stored->publicState.accessMode == QLatin1String("public");
            }
            row = rooms.size();
            rowOfRoom.insert(candidate.roomId, row);
            rooms.append(room);
        }
        rooms[row].memberNames.append(displayNameFor(context->users, candidate.userId));
    }
    QStringList namesInNoRoom;
    for (const QString &userId : context->memberIds) {
        if (!matched.contains(userId))
            namesInNoRoom.append(displayNameFor(context->users, userId));
    }

    auto *dialog = new PrefCandidateDialog(window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setCandidates(context->groupName, int(context->memberIds.size()), namesInNoRoom, rooms);
    if (auto *tab = windowView<ConnectSettingsTab>(window->connectSettingsTab()))
        QObject::connect(dialog, &QDialog::finished, tab, &ConnectSettingsTab::clearBusy);
    if (ActiveRoomSession *activeRoom = context->activeRoom) {
        QObject::connect(dialog, &PrefCandidateDialog::joinRequested, activeRoom,
                         [dialog, activeRoom](const QString &roomId) {
                             activeRoom->join(roomId);
                             dialog->accept();
                         });
    }
    if (RoomCreateService *roomCreate = context->roomCreate) {
        QObject::connect(dialog, &PrefCandidateDialog::createRoomRequested, roomCreate, [dialog, context, roomCreate] {
            // The group as it is at the click becomes the new room's preference group.
            const QStringList memberIds = context->memberIds;
            RoomSettingsService *roomSettings = context->roomSettings;
            QObject::connect(roomCreate, &RoomCreateService::tempRoomEntering, dialog,
                             [dialog, memberIds, roomSettings](const QString &roomId) {
                                 if (!memberIds.isEmpty() && roomSettings != nullptr) {
                                     QJsonArray pref;
                                     for (const QString &userId : memberIds)
                                         pref.append(QJsonObject{{QStringLiteral("userId"), userId}});
                                     roomSettings->saveSettings(roomId, QJsonObject{{QStringLiteral("pref"), pref}});
                                 }
                                 dialog->accept();
                             });
            roomCreate->createTempRoom(-1);
        });
    }
    dialog->open();
}

} // namespace wiring
