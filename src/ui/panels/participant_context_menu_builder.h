#pragma once

#include <QPoint>

#include <functional>

class QWidget;

// The right-click menu of a room member: moderation entries by the user's rights and
// the member's mutes, and a row with the member's playback volume and level.
class ParticipantContextMenuBuilder
{
public:
    struct State
    {
        bool canVoiceMute = false;
        bool canTextMute = false;
        bool canKick = false;
        bool canBan = false;
        bool voiceMuted = false;
        bool textMuted = false;
        // Shows a disabled invite entry.
        bool invitePlaceholder = false;
        int gainDb = 0;
    };

    // Each may be empty; an empty callback leaves its entry (or the volume row) out.
    struct Actions
    {
        std::function<void()> voiceMute;
        std::function<void()> voiceUnmute;
        std::function<void()> textMute;
        std::function<void()> textUnmute;
        std::function<void()> kick;
        std::function<void()> ban;
        std::function<void(int)> gainChanged;
        std::function<double()> level;
    };

    // Builds, runs and destroys the menu; a chosen entry's callback runs before this
    // returns. Nothing opens when the menu would be empty. GUI thread.
    static void exec(QWidget *parent, QPoint globalPos, const State &state, const Actions &actions);
};
