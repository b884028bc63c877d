#pragma once

#include "room/room_create_config.h"

#include <QList>
#include <QObject>

class IRoomStorage;
class QJsonObject;

// The saved room-creation presets: held in memory, edited here, saved whole after
// every change and announced by configsChanged(). Presets are addressed by their index
// in the list; an index out of range changes nothing and emits nothing. GUI thread only.
class RoomCreateConfigService : public QObject
{
    Q_OBJECT
public:
    // Loads the list once from the storage, which must outlive the service.
    explicit RoomCreateConfigService(IRoomStorage *storage, QObject *parent = nullptr);

    QList<RoomCreateConfig> configs() const { return list; }

    // The settings object of the room-creation request for that preset; empty for an
    // index out of range, -1 (no preset) included.
    QJsonObject toJson(int index) const;

public slots:
    // Appends a preset with the defaults of a new one.
    void addConfig();
    void removeConfig(int index);
    // Sets the trimmed label; an empty or unchanged label changes nothing.
    void renameConfig(int index, const QString &name);
    // Replaces every field but the label, which stays as stored; announced even when
    // nothing differs.
    void updateConfig(int index, const RoomCreateConfig &config);

signals:
    void configsChanged();

private:
    bool validIndex(int index) const { return index >= 0 && index < list.size(); }
    void commit();

    IRoomStorage *storage;
    QList<RoomCreateConfig> list;
};
