#pragma once

#include "ui/panels/room_context_menu_builder.h"

#include <QPointer>
#include <QString>

class QWidget;

namespace panels {

// Asks the destructive-action question; true only for the answer Yes.
bool confirm(QWidget *parent, const QString &text);

inline const QString kDissolveQuestion = QStringLiteral("确定要解散房间吗？所有人将被踢出。");
inline const QString kBanQuestion = QStringLiteral("确定要封禁该成员吗？其将被移出房间且无法再加入。");

// The room menu's callbacks for a panel that declares the room signals of every room
// panel; each callback re-emits the panel's signal of that name, dissolve after asking.
template<typename Panel>
RoomContextMenuBuilder::Actions roomMenuActions(Panel *panel, const QString &roomId)
{
    const QPointer<Panel> guard(panel);
    RoomContextMenuBuilder::Actions actions;
    actions.leave = [guard] {
        if (guard)
            emit guard->leaveRoomRequested();
    };
    actions.detachFromParent = [guard] {
        if (guard)
            emit guard->detachFromParentRequested();
    };
    actions.detachChild = [guard, roomId] {
        if (guard)
            emit guard->detachChildRequested(roomId);
    };
    actions.childOverride = [guard, roomId](bool broadcastField, bool denied) {
        if (guard)
            emit guard->childOverrideToggled(roomId, broadcastField, denied);
    };
    actions.attachHere = [guard, roomId] {
        if (guard)
            emit guard->attachToRoomRequested(roomId);
    };
    actions.openSettings = [guard, roomId] {
        if (guard)
            emit guard->roomSettingsRequested(roomId);
    };
    actions.subscribeChat = [guard, roomId] {
        if (guard)
            emit guard->roomChatSubscribeRequested(roomId);
    };
    actions.dissolve = [guard] {
        if (guard && confirm(guard, kDissolveQuestion) && guard)
            emit guard->dissolveRequested();
    };
    return actions;
}

} // namespace panels
