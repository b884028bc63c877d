#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class RoomEntityStore;
class RoomViewModel;

// Hands out one RoomViewModel per room id, created on the first request and kept
// (as a Qt child) for the registry's lifetime, so that every reader of a room shares
// one object and one set of signals. The registry alone listens to the store and passes
// each change to the view model of its room, so that a change costs one lookup however
// many view models exist. GUI thread only; must not outlive the store.
class RoomAdapterRegistry : public QObject
{
    Q_OBJECT

public:
    // The store is not owned.
    explicit RoomAdapterRegistry(RoomEntityStore *store, QObject *parent = nullptr);
    ~RoomAdapterRegistry() override;

    // The view model of the room; null for an empty id. Valid until the registry
    // is destroyed; callers never delete it.
    RoomViewModel *viewModel(const QString &roomId);

private:
    void onStoreChanged(const QString &roomId, uint fieldMask);
    void onStoreRemoved(const QString &roomId);

    RoomEntityStore *store = nullptr;
    QHash<QString, RoomViewModel *> viewModels;
    // Connected to the store when the first view model is made, so that the view models
    // hear a change after the services that listened to the store before them, as when
    // each view model connected on its own.
    bool listening = false;
};
