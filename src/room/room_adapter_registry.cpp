#include "room/room_adapter_registry.h"

#include "room/room_entity_store.h"
#include "room/room_view_model.h"

RoomAdapterRegistry::RoomAdapterRegistry(RoomEntityStore *store_, QObject *parent)
    : QObject(parent)
    , store(store_)
{}

// The view models are children and go with the QObject part.
RoomAdapterRegistry::~RoomAdapterRegistry() = default;

RoomViewModel *RoomAdapterRegistry::viewModel(const QString &roomId)
{
    if (roomId.isEmpty())
        return nullptr;
    if (RoomViewModel *model = viewModels.value(roomId))
        return model;
    if (!listening) {
        listening = true;
        connect(store, &RoomEntityStore::changed, this, &RoomAdapterRegistry::onStoreChanged);
        connect(store, &RoomEntityStore::removed, this, &RoomAdapterRegistry::onStoreRemoved);
    }
    auto *model = new RoomViewModel(roomId, store, this, RoomViewModel::RoutedByRegistry{});
    viewModels.insert(roomId, model);
    return model;
}

// A reader of the signal may ask for new view models meanwhile; the pointer taken here
// stays valid, since the registry never removes one.
void RoomAdapterRegistry::onStoreChanged(const QString &roomId, uint fieldMask)
{
    if (RoomViewModel *model = viewModels.value(roomId))
        model->onStoreChanged(roomId, fieldMask);
}

void RoomAdapterRegistry::onStoreRemoved(const QString &roomId)
{
    if (RoomViewModel *model = viewModels.value(roomId))
        model->onStoreRemoved(roomId);
}
