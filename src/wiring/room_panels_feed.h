#pragma once

#include <QObject>

namespace wiring {

// Assembles the records of the three room panels of one main window and hands them
// over at most once per turn of the event loop. Owned by its main window.
class RoomPanelsFeed : public QObject
{
    Q_OBJECT
public:
    explicit RoomPanelsFeed(QObject *parent = nullptr);
    ~RoomPanelsFeed() override;
};

} // namespace wiring
