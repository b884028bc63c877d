#include "ui/shell/ui_machine_store.h"

#include "storage/machine_store.h"

#include <QSettings>

namespace {

const QString kMyRoomOrder = QStringLiteral("minimal/myRoomOrder");
const QString kMyChannelOrder = QStringLiteral("minimal/myChannelOrder");

} // namespace

UiMachineStore::UiMachineStore()
    : settings(openMachineSettings(QStringLiteral("ui")))
{}

UiMachineStore::~UiMachineStore() = default;

QStringList UiMachineStore::myRoomOrder() const
{
    return settings->value(kMyRoomOrder).toStringList();
}

void UiMachineStore::setMyRoomOrder(const QStringList &order)
{
    settings->setValue(kMyRoomOrder, order);
    settings->sync();
}

QStringList UiMachineStore::myChannelOrder() const
{
    return settings->value(kMyChannelOrder).toStringList();
}

void UiMachineStore::setMyChannelOrder(const QStringList &order)
{
    settings->setValue(kMyChannelOrder, order);
    settings->sync();
}
