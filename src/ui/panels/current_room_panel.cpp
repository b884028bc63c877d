#include "ui/panels/current_room_panel.h"

#include "theme/theme_palette.h"
#include "ui/panels/room_menu_requests.h"

#include <QLabel>
#include <QPointer>
#include <QResizeEvent>

namespace {

constexpr int kBannerHeight = 28;

} // namespace

CurrentRoomPanel::CurrentRoomPanel(QWidget *parent)
    : BlockListPanel(parent)
{
    connect(this, &BlockListPanel::roomMenuRequested, this, &CurrentRoomPanel::showRoomContextMenu);
    connect(this, &BlockListPanel::memberMenuRequested, this, &CurrentRoomPanel::showParticipantContextMenu);

    banner = new QLabel(QStringLiteral("输出已关闭"), this);
    banner->setAlignment(Qt::AlignCenter);
    banner->setFixedHeight(kBannerHeight);
    banner->setStyleSheet(QStringLiteral("background:%1;border-top:1px solid %2;color:%3;")
                              .arg(QLatin1String(ThemePalette::hex("white")),
                                   QLatin1String(ThemePalette::hex("border")),
                                   QLatin1String(ThemePalette::hex("text"))));
    banner->hide();
}

void CurrentRoomPanel::setSelfIdProvider(std::function<QString()> provider)
{
    selfIdProvider = std::move(provider);
}

void CurrentRoomPanel::setParticipantStateProvider(
    std::function<ParticipantContextMenuBuilder::State(const QString &)> provider)
{
    participantStateProvider = std::move(provider);
}

void CurrentRoomPanel::setRoomStateProvider(std::function<RoomContextMenuBuilder::State(const QString &)> provider)
{
    roomStateProvider = std::move(provider);
}

void CurrentRoomPanel::setGainProvider(std::function<int(const QString &)> provider)
{
    gainProvider = std::move(provider);
}

void CurrentRoomPanel::setLevelProvider(std::function<double(const QString &)> provider)
{
    levelProvider = std::move(provider);
}

void CurrentRoomPanel::setOutputClosed(bool closed)
{
    outputClosed = closed;
    updateOutputBanner();
}

void CurrentRoomPanel::setBlocks(const blocks::BlockListData &newData)
{
    BlockListPanel::setBlocks(newData);
    hasSections = !newData.sections.isEmpty();
    updateOutputBanner();
}

void CurrentRoomPanel::resizeEvent(QResizeEvent *event)
{
    BlockListPanel::resizeEvent(event);
    updateOutputBanner();
}

void CurrentRoomPanel::updateOutputBanner()
{
    if (outputClosed && hasSections) {
        banner->setGeometry(0, height() - kBannerHeight, width(), kBannerHeight);
        banner->show();
        banner->raise();
    } else {
        banner->hide();
    }
}

void CurrentRoomPanel::showParticipantContextMenu(const QString &userId, const QPoint &globalPos)
{
    const QString self = selfIdProvider ? selfIdProvider() : QString();
    if (userId.isEmpty() || userId == self)
        return;
    ParticipantContextMenuBuilder::State state;
    if (participantStateProvider)
        state = participantStateProvider(userId);

    const QPointer<CurrentRoomPanel> guard(this);
    ParticipantContextMenuBuilder::Actions actions;
    actions.voiceMute = [guard, userId] {
        if (guard)
            emit guard->forceMuteRequested(userId);
    };
    actions.voiceUnmute = [guard, userId] {
        if (guard)
            emit guard->forceUnmuteRequested(userId);
    };
    actions.textMute = [guard, userId] {
        if (guard)
            emit guard->textMuteRequested(userId);
    };
    actions.textUnmute = [guard, userId] {
        if (guard)
            emit guard->textUnmuteRequested(userId);
    };
    actions.kick = [guard, userId] {
        if (guard)
            emit guard->kickRequested(userId);
    };
    actions.ban = [guard, userId] {
        if (guard && panels::confirm(guard, panels::kBanQuestion) && guard)
            emit guard->banRequested(userId);
    };
    if (gainProvider) {
        state.gainDb = gainProvider(userId);
        actions.gainChanged = [guard, userId](int db) {
            if (guard)
                emit guard->participantVolumeChanged(userId, db);
        };
        if (levelProvider) {
            // The provider is copied: the panel may be gone while the open menu still ticks.
            actions.level = [provider = levelProvider, userId] { return provider(userId); };
        }
    }
    ParticipantContextMenuBuilder::exec(this, globalPos, state, actions);
}

void CurrentRoomPanel::showRoomContextMenu(const QString &roomId, const QPoint &globalPos)
{
    if (roomId.isEmpty() || !roomStateProvider)
        return;
    const RoomContextMenuBuilder::State state = roomStateProvider(roomId);
    RoomContextMenuBuilder::exec(this, globalPos, state, panels::roomMenuActions(this, roomId));
}
