#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QLineEdit;
class QPushButton;
class QTimer;

// Drives the login form's send-code button: "发送中..." while a request runs, "已发送"
// during the wait after a send, "%1s" while counting down after a throttle, then back to
// "获取验证码" (or "重试" once a send has succeeded). The remainder is computed from the
// clock at every tick, so a busy or suspended machine never shows a wrong or negative
// value. GUI thread.
class SmsRetryButton : public QObject
{
    Q_OBJECT
public:
    SmsRetryButton(QPushButton *button, QLineEdit *focusTarget, QObject *parent = nullptr);

    void setState(bool sending, int cooldownSeconds);
    void startCountdown(int seconds);
    void setCanSend(std::function<bool()> predicate);

    // Milliseconds since the epoch; the system clock unless a test sets another.
    void setClock(std::function<qint64()> clock);
    int remaining() const { return remainingSeconds; }
    bool isTicking() const;

public slots:
    void onTick();

private:
    void startWaiting(int seconds);
    void finishCountdown();
    void showRemaining();

    QPointer<QPushButton> button;
    QPointer<QLineEdit> focusTarget;
    QTimer *timer = nullptr;
    int remainingSeconds = 0;
    qint64 deadlineMs = 0;
    bool countdownVisible = false;
    bool sentOnce = false;
    std::function<bool()> canSend;
    std::function<qint64()> now;
};
