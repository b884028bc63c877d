#pragma once

#include <QWidget>

class QPushButton;

// The console of voice controls: microphone mode, speaker, audio settings, disconnect
// and, in a sub-room, a broadcast button held to speak to the parent room. It shows
// the state it is given and raises requests; the broadcast hold is the one state it
// owns, and every change of it is announced. GUI thread.
class ControlPanel : public QWidget
{
    Q_OBJECT
public:
    explicit ControlPanel(QWidget *parent = nullptr);

    void setMicState(bool freeTalk, bool speaking, bool forceMuted);
    void setSpeakerOn(bool on);
    void setBroadcastVisible(bool visible);
    void setBroadcastAvailable(bool available);
    void setBroadcastAllowed(bool allowed);
    // Turning on is refused while the broadcast button is hidden or disabled.
    void setBroadcasting(bool on);

    bool isBroadcasting() const { return broadcasting; }
    QPushButton *micButton() const { return mic; }
    QPushButton *speakerButton() const { return speaker; }
    QPushButton *broadcastButton() const { return broadcast; }
    QPushButton *disconnectButton() const { return disconnect; }

signals:
    void toggleMicRequested();
    void toggleSpeakerRequested();
    void audioSettingsRequested();
    void disconnectRoomRequested();
    void broadcastStateChanged(bool broadcasting);
    // The panel's content grew (positive) or shrank (negative) by this many pixels.
    void contentHeightDeltaRequested(int deltaPx);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateMicButton();
    void updateSpeakerButton();
    void updateBroadcastButton();
    // Ends a held broadcast and announces it; nothing when none is held.
    void endBroadcast();

    QPushButton *mic = nullptr;
    QPushButton *speaker = nullptr;
    QPushButton *broadcast = nullptr;
    QPushButton *disconnect = nullptr;

    bool freeTalk = true;
    bool speaking = false;
    bool forceMuted = false;
    bool speakerOn = true;
    bool broadcasting = false;
    bool broadcastAllowed = true;
    bool broadcastAvailable = true;
};
