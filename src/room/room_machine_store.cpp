#include "room/room_machine_store.h"

#include "storage/machine_store.h"

#include <QSettings>
#include <QStringList>

namespace {
const QString kArray = QStringLiteral("createConfigs");
// The file's own spelling: the sub-room keys have a lower-case "r", unlike the
// room-creation request.
const QString kName = QStringLiteral("name");
const QString kRoomName = QStringLiteral("roomName");
const QString kBitrate = QStringLiteral("bitrate");
const QString kAccessMode = QStringLiteral("accessMode");
const QString kRequireApproval = QStringLiteral("requireApproval");
const QString kCodeDirectEntry = QStringLiteral("codeDirectEntry");
const QString kAllowSubroom = QStringLiteral("allowSubroom");
const QString kAllowSubroomBroadcast = QStringLiteral("allowSubroomBroadcast");
const QString kAllowSubroomChat = QStringLiteral("allowSubroomChat");

} // namespace

RoomMachineStore::RoomMachineStore()
    : settings(openMachineSettings(QStringLiteral("room")))
{}

RoomMachineStore::~RoomMachineStore() = default;

QList<RoomCreateConfig> RoomMachineStore::load()
{
    QList<RoomCreateConfig> configs;
    const int count = storedArrayCount(*settings, kArray);
    settings->beginReadArray(kArray);
    for (int i = 0; i < count; ++i) {
        settings->setArrayIndex(i);
        RoomCreateConfig config;
        config.name = settings->value(kName, QString()).toString();
        config.roomName = settings->value(kRoomName, QString()).toString();
        config.bitrate = settings->value(kBitrate, 64000).toInt();
        config.accessMode = settings->value(kAccessMode, QStringLiteral("public")).toString();
        config.requireApproval = settings->value(kRequireApproval, false).toBool();
        config.codeDirectEntry = settings->value(kCodeDirectEntry, true).toBool();
        config.allowSubRoom = settings->value(kAllowSubroom, QStringLiteral("ask")).toString();
        config.allowSubRoomBroadcast = settings->value(kAllowSubroomBroadcast, true).toBool();
        config.allowSubRoomChat = settings->value(kAllowSubroomChat, true).toBool();
        configs.append(config);
    }
    settings->endArray();
    return configs;
}

void RoomMachineStore::save(const QList<RoomCreateConfig> &configs)
{
    // Removing first drops the elements beyond the new size.
    settings->remove(kArray);
    settings->beginWriteArray(kArray, int(configs.size()));
    for (int i = 0; i < configs.size(); ++i) {
        const RoomCreateConfig &config = configs.at(i);
        settings->setArrayIndex(i);
        settings->setValue(kName, config.name);
        settings->setValue(kRoomName, config.roomName);
        settings->setValue(kBitrate, config.bitrate);
        settings->setValue(kAccessMode, config.accessMode);
        settings->setValue(kRequireApproval, config.requireApproval);
        settings->setValue(kCodeDirectEntry, config.codeDirectEntry);
        settings->setValue(kAllowSubroom, config.allowSubRoom);
        settings->setValue(kAllowSubroomBroadcast, config.allowSubRoomBroadcast);
        settings->setValue(kAllowSubroomChat, config.allowSubRoomChat);
    }
    settings->endArray();
    settings->sync();
}
