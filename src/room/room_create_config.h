#pragma once

#include <QString>

// One saved preset for creating a temporary room. The defaults are those of a new preset.
struct RoomCreateConfig
{
    QString name = QStringLiteral("新配置"); // the label shown in the list; never sent
    QString roomName;                        // the created room's name; blank means none
    int bitrate = 64000;                     // bits per second
    QString accessMode = QStringLiteral("public");
    bool requireApproval = false;
    bool codeDirectEntry = true;
    QString allowSubRoom = QStringLiteral("ask");
    bool allowSubRoomBroadcast = true;
    bool allowSubRoomChat = true;

    friend bool operator==(const RoomCreateConfig &, const RoomCreateConfig &) = default;
};
