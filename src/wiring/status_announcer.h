#pragma once

#include <QObject>
#include <QString>

class MainStatusBar;
class QTimer;

// Tells the user in the status bar when they entered or left a room and when the
// realtime connection was lost for more than a moment and came back. Lives as long as
// its main window. GUI thread only.
class StatusAnnouncer : public QObject
{
    Q_OBJECT
public:
    StatusAnnouncer(MainStatusBar *bar, QObject *parent = nullptr);

    // How long a lost connection must stay lost before it is shown.
    static constexpr int lossDelayMs = 1500;

    QTimer *lossTimer() const { return timer; }

public slots:
    void setActiveRoomId(const QString &roomId);
    void setRealtimeConnected(bool connected);

private:
    void onLossTimeout();

    MainStatusBar *bar;
    QTimer *timer;
    QString lastRoomId;
    bool initialized = false;
    bool connected = true;
    bool lossShown = false;
};
