#pragma once

#include "ui/shell/i_ui_storage.h"

#include <memory>

class QSettings;

// The panel orders in the machine store "ui" (an INI file in the machine folder). Every
// write is synced to disk at once. GUI thread only.
class UiMachineStore : public IUiStorage
{
public:
    UiMachineStore();
    ~UiMachineStore() override;

    QStringList myRoomOrder() const override;
    void setMyRoomOrder(const QStringList &order) override;
    QStringList myChannelOrder() const override;
    void setMyChannelOrder(const QStringList &order) override;

private:
    std::unique_ptr<QSettings> settings;
};
