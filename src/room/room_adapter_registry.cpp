#include "room/room_adapter_registry.h"

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
    RoomViewModel *&model = viewModels[roomId];
    if (!model)
        model = new RoomViewModel(roomId, store, this);
    return model;
}
