#include "wiring/status_announcer.h"

#include "realtime/gateway_service.h"
#include "room/active_room_session.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "wiring/main_window_wiring.h"

#include <QTimer>

namespace {

const QString joinedText = QStringLiteral("已加入房间");
const QString leftText = QStringLiteral("已退出房间");
const QString lostText = QStringLiteral("已断线，重连中");
const QString backText = QStringLiteral("重连成功");

} // namespace

StatusAnnouncer::StatusAnnouncer(MainStatusBar *statusBar, QObject *parent)
    : QObject(parent)
    , bar(statusBar)
    , timer(new QTimer(this))
{
    timer->setSingleShot(true);
    timer->setInterval(lossDelayMs);
    connect(timer, &QTimer::timeout, this, &StatusAnnouncer::onLossTimeout);
}

void StatusAnnouncer::setActiveRoomId(const QString &roomId)
{
    // The first id is where the window started: nothing happened yet to tell.
    if (!initialized) {
        initialized = true;
        lastRoomId = roomId;
        return;
    }
    // The session signals after every change of the room's record; only a new room counts.
    if (roomId == lastRoomId)
        return;
    const bool wasEmpty = lastRoomId.isEmpty();
    lastRoomId = roomId;
    if (!roomId.isEmpty())
        bar->showTransientMessage(joinedText, MainStatusBar::Normal);
    else if (!wasEmpty)
        bar->showTransientMessage(leftText, MainStatusBar::Normal);
}

void StatusAnnouncer::setRealtimeConnected(bool value)
{
    if (value == connected)
        return;
    connected = value;
    if (!connected) {
        timer->start();
        return;
    }
    timer->stop();
    if (lossShown) {
        lossShown = false;
        bar->setStickyMessage(QString(), MainStatusBar::Normal);
        bar->showTransientMessage(backText, MainStatusBar::Normal);
    }
}

void StatusAnnouncer::onLossTimeout()
{
    if (connected)
        return;
    lossShown = true;
    bar->setStickyMessage(lostText, MainStatusBar::Danger);
}

namespace wiring {

void wireStatusAnnouncer(MainWindow *window, ActiveRoomSession *activeRoom, GatewayService *gateway)
{
    auto *announcer = new StatusAnnouncer(window->statusBar(), window);
    QObject::connect(activeRoom, &ActiveRoomSession::activeRoomChanged, announcer,
                     [announcer, activeRoom] { announcer->setActiveRoomId(activeRoom->activeRoomId()); });
    announcer->setActiveRoomId(activeRoom->activeRoomId());
    QObject::connect(gateway, &GatewayService::sessionReady, announcer,
                     [announcer] { announcer->setRealtimeConnected(true); });
    QObject::connect(gateway, &GatewayService::sessionLost, announcer,
                     [announcer] { announcer->setRealtimeConnected(false); });
}

} // namespace wiring
