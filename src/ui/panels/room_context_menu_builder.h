#pragma once

#include <QPoint>

#include <functional>

class QWidget;

// The right-click menu of a room, seen from the room the user is in: leave, detach,
// sub-room overrides, attach, settings, chat subscription and dissolve, by relation and
// rights.
class RoomContextMenuBuilder
{
public:
    struct State
    {
        // The clicked room is 0 the user's room, 1 its sub-room, 2 its parent, 3 another
        // sub-room of the same parent, 4 any other room.
        int relation = 4;
        bool isMember = false;
        bool canDissolve = false;
        bool canManageAttach = false;
        bool canApproveSubroomAttach = false;
        bool canOverrideChildBroadcast = false;
        bool canOverrideChildChat = false;
        bool canAttachHere = false;
        bool currentHasParent = false;
        bool childBroadcastDenied = false;
        bool childChatDenied = false;
        bool chatSubscribed = false;
    };

    // Each may be empty; an empty callback leaves its entry out.
    struct Actions
    {
        std::function<void()> leave;
        std::function<void()> detachFromParent;
        std::function<void()> detachChild;
        // (broadcast override rather than chat override, new denied state)
        std::function<void(bool, bool)> childOverride;
        std::function<void()> attachHere;
        std::function<void()> openSettings;
        std::function<void()> subscribeChat;
        std::function<void()> dissolve;
    };

    // Builds, runs and destroys the menu; a chosen entry's callback runs before this
    // returns. GUI thread.
    static void exec(QWidget *parent, QPoint globalPos, const State &state, const Actions &actions);
};
