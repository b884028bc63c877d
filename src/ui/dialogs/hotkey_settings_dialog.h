#pragma once

#include "hotkey/hotkey_action.h"

#include <QDialog>
#include <QKeySequence>

class QLabel;
class QPushButton;

// Chooses the single key of push-to-talk and of broadcast: click a row, press a key.
// It only asks for a change; the binding shown is the one it is given back, or a
// conflict message. GUI thread.
class HotkeySettingsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit HotkeySettingsDialog(QWidget *parent = nullptr);

    void setBinding(HotkeyAction action, const QKeySequence &key);
    void showConflict(HotkeyAction action);

    QPushButton *rowButton(HotkeyAction action) const;
    QLabel *statusLine() const { return status; }
    bool isCapturing() const { return capturing; }

signals:
    // The key holds exactly one key code, without modifiers.
    void bindingChangeRequested(HotkeyAction action, const QKeySequence &key);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void startCapture(HotkeyAction action);
    void endCapture();
    void showStatus(const QString &text, bool isError);
    void showBinding(HotkeyAction action);

    QPushButton *pttButton = nullptr;
    QPushButton *broadcastButton = nullptr;
    QLabel *status = nullptr;
    bool capturing = false;
    HotkeyAction capturedAction = HotkeyAction::PushToTalk;
    QKeySequence pttBinding;
    QKeySequence broadcastBinding;
};
