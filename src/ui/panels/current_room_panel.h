#pragma once

#include "ui/panels/block_list_panel.h"
#include "ui/panels/participant_context_menu_builder.h"
#include "ui/panels/room_context_menu_builder.h"

#include <functional>

class QLabel;

// The room the user is in, its parent or sub-rooms and their members. Right-clicking a
// member opens the participant menu, a room the room menu; a banner lies over the bottom
// edge while the user's audio output is closed. Every choice leaves as a request signal.
class CurrentRoomPanel : public blocks::BlockListPanel
{
    Q_OBJECT
public:
    explicit CurrentRoomPanel(QWidget *parent = nullptr);

    // An empty function clears the provider; without one the feature stays away.
    void setSelfIdProvider(std::function<QString()> provider);
    void setParticipantStateProvider(std::function<ParticipantContextMenuBuilder::State(const QString &)> provider);
    void setRoomStateProvider(std::function<RoomContextMenuBuilder::State(const QString &)> provider);
    void setGainProvider(std::function<int(const QString &)> provider);
    void setLevelProvider(std::function<double(const QString &)> provider);

    // Whether the user's speaker output is muted.
    void setOutputClosed(bool closed);
    void setBlocks(const blocks::BlockListData &data) override;

    QLabel *outputBanner() const { return banner; }

signals:
    void roomSettingsRequested(QString roomId);
    void roomChatSubscribeRequested(QString roomId);
    void dissolveRequested();
    void forceMuteRequested(QString userId);
    void forceUnmuteRequested(QString userId);
    void textMuteRequested(QString userId);
    void textUnmuteRequested(QString userId);
    void kickRequested(QString userId);
    void banRequested(QString userId);
    void participantVolumeChanged(QString userId, int gainDb);
    void detachChildRequested(QString childRoomId);
    void childOverrideToggled(QString childRoomId, bool broadcastField, bool denied);
    void detachFromParentRequested();
    void leaveRoomRequested();
    void attachToRoomRequested(QString parentRoomId);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showParticipantContextMenu(const QString &userId, const QPoint &globalPos);
    void showRoomContextMenu(const QString &roomId, const QPoint &globalPos);
    void updateOutputBanner();

    std::function<QString()> selfIdProvider;
    std::function<ParticipantContextMenuBuilder::State(const QString &)> participantStateProvider;
    std::function<RoomContextMenuBuilder::State(const QString &)> roomStateProvider;
    std::function<int(const QString &)> gainProvider;
    std::function<double(const QString &)> levelProvider;
    QLabel *banner = nullptr;
    bool outputClosed = false;
    bool hasSections = false;
};
