#pragma once

#include <QString>
#include <QStringList>

// One preference group: a label and the user ids of its members, in the order
// they were added.
struct PrefConfig
{
    QString name;
    QStringList memberIds;

    friend bool operator==(const PrefConfig &, const PrefConfig &) = default;
};
