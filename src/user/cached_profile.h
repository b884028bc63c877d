#pragma once

#include <QString>
#include <QtGlobal>

// Another user's public names as the user directory holds them.
struct CachedProfile
{
    QString nickname;
    QString username;
    // The server's time of the profile's last change; 0 when it gave none.
    qint64 updatedAtMs = 0;
};
