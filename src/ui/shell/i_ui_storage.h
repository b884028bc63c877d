#pragma once

#include <QStringList>

// The machine-local orders of the "my rooms" and "my channels" panels. GUI thread only.
class IUiStorage
{
public:
    virtual ~IUiStorage() = default;
    virtual QStringList myRoomOrder() const = 0;
    virtual void setMyRoomOrder(const QStringList &order) = 0;
    virtual QStringList myChannelOrder() const = 0;
    virtual void setMyChannelOrder(const QStringList &order) = 0;
};
