#pragma once

#include <QObject>
#include <QStringList>

class ChannelEntityStore;
class ChannelListService;
class QTimer;
class RoomEntityStore;
class WatchRegistry;

// Keeps the rooms attached to the user's channels watched: one room store reference
// and one "room:<id>" watch per room that any valid listed channel names, however many
// channels name it. List and store changes restart a zero-delay timer, so any number
// of them within one turn of the event loop leads to one reconcile. The rooms are not
// given up at destruction (the watch goes with the list service at teardown). GUI
// thread only.
class ChannelRoomsWatch : public QObject
{
    Q_OBJECT

public:
    // None of the collaborators is owned; all must outlive the watch.
    ChannelRoomsWatch(ChannelListService *list, ChannelEntityStore *channels, RoomEntityStore *rooms,
                      WatchRegistry *registry, QObject *parent = nullptr);
    ~ChannelRoomsWatch() override;

    // Brings the held rooms in line with the listed channels' room ids.
    void reconcile();

    // The room ids currently retained and watched.
    QStringList heldRoomIds() const { return held; }

private:
    ChannelListService *list = nullptr;
    ChannelEntityStore *channels = nullptr;
    RoomEntityStore *rooms = nullptr;
    WatchRegistry *registry = nullptr;
    QStringList held;
    QTimer *timer = nullptr;
};
