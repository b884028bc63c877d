#include "ui/panels/room_context_menu_builder.h"

#include "ui/panels/popup_menu.h"

#include <QAction>

void RoomContextMenuBuilder::exec(QWidget *parent, QPoint globalPos, const State &state, const Actions &actions)
{
    PopupMenu menu(parent);
    bool added = false;
    const auto add = [&](const QString &text, std::function<void()> callback) {
        added = true;
        return menu.addAction(text, std::move(callback));
    };

    if (state.relation == 0 && actions.leave)
        add(QStringLiteral("断开连接"), actions.leave);
    menu.addSeparator();
    // Both cases detach the user's room from its parent.
    if (state.canManageAttach && actions.detachFromParent
        && ((state.relation == 0 && state.currentHasParent) || state.relation == 2))
        add(QStringLiteral("脱离父房间"), actions.detachFromParent);
    if (state.relation == 1) {
        if (state.canApproveSubroomAttach && actions.detachChild)
            add(QStringLiteral("移出子房"), actions.detachChild);
        if (state.canOverrideChildBroadcast && actions.childOverride) {
            const bool denied = !state.childBroadcastDenied;
            QAction *entry = add(QStringLiteral("单独禁止广播"),
                                 [override = actions.childOverride, denied] { override(true, denied); });
            entry->setCheckable(true);
            entry->setChecked(state.childBroadcastDenied);
        }
        if (state.canOverrideChildChat && actions.childOverride) {
            const bool denied = !state.childChatDenied;
            QAction *entry = add(QStringLiteral("单独禁止聊天"),
                                 [override = actions.childOverride, denied] { override(false, denied); });
            entry->setCheckable(true);
            entry->setChecked(state.childChatDenied);
        }
    }
    if (state.canAttachHere && actions.attachHere)
        add(QStringLiteral("挂载到此房间"), actions.attachHere);
    menu.addSeparator();
    if (state.isMember && actions.openSettings)
        add(QStringLiteral("房间设置"), actions.openSettings);
    if (actions.subscribeChat)
        add(QStringLiteral("订阅此房间文字"), actions.subscribeChat)->setEnabled(!state.chatSubscribed);
    menu.addSeparator();
    if (state.relation == 0 && state.canDissolve && actions.dissolve)
        add(QStringLiteral("解散房间"), actions.dissolve);
    if (!added)
        menu.addAction(QStringLiteral("非目标房成员"), {})->setEnabled(false);
    menu.exec(globalPos);
}
