#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace wiring {

// Assembles the records of the three room panels of one main window and hands them
// over at most once per turn of the event loop. Owned by its main window.
//
// Every change notification of a turn restarts one single-shot zero-delay timer, so
// the panels are rebuilt once, on the next turn, from the stores as they are then. The
// feed also keeps the three inputs that live in no store: who speaks in the media
// connections of the active room and of its parent, and whether the active room may be
// heard in its parent. GUI thread only.
class RoomPanelsFeed : public QObject
{
    Q_OBJECT
public:
    explicit RoomPanelsFeed(QObject *parent = nullptr);
    ~RoomPanelsFeed() override;

    // The rebuild, run on each timeout; set once by the room panel wiring.
    void setAssembler(std::function<void()> assembler);

    QStringList ownSpeakers() const { return ownList; }
    QStringList parentSpeakers() const { return parentList; }
    bool parentBroadcastAllowed() const { return broadcastAllowed; }
    // A rebuild is due on the next turn of the loop.
    bool isDirty() const { return timer.isActive(); }

public slots:
    void markDirty();
    // A list equal to the stored one (same ids in the same order) changes nothing.
    void setOwnSpeakers(const QStringList &speakers);
    void setParentSpeakers(const QStringList &speakers);
    void setParentBroadcastAllowed(bool allowed);

signals:
    // After every rebuild, once the room panels have their records.
    void assembleTicked();

private:
    void onTimeout();

    QTimer timer;
    std::function<void()> assembler;
    QStringList ownList;
    QStringList parentList;
    bool broadcastAllowed = true;
};

} // namespace wiring
