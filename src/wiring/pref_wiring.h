#pragma once

#include "match/pref_match_service.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class AbstractUserResolver;
class ActiveRoomSession;
class MainWindow;
class PreferenceService;
class RoomCreateService;
class RoomEntityStore;
class RoomSettingsService;

// The machine-local preference groups and the preference match with its candidate
// dialog. GUI thread only.
namespace wiring {

// Opens a new editor of the preference groups with the group at `index` selected (0 for
// a negative index). Window-modal; deletes itself on close.
struct PrefPickSources;
void openPrefConfigWindow(MainWindow *window, PreferenceService *preferences, AbstractUserResolver *users, int index,
                          const PrefPickSources &sources);

// What a match runs with: the group of the latest valid match start, shared by the
// match's connections.
struct PrefMatchContext
{
    MainWindow *window = nullptr;
    PreferenceService *preferences = nullptr;
    PrefMatchService *prefMatch = nullptr;
    RoomEntityStore *roomStore = nullptr;
    ActiveRoomSession *activeRoom = nullptr;
    RoomCreateService *roomCreate = nullptr;
    RoomSettingsService *roomSettings = nullptr;
    AbstractUserResolver *users = nullptr;
    QString groupName;
    QStringList memberIds;
};

void startPrefMatch(const std::shared_ptr<PrefMatchContext> &context, int index);
void showPrefCandidates(const std::shared_ptr<PrefMatchContext> &context,
                        const QList<PrefMatchService::Candidate> &candidates);

} // namespace wiring
