#include "ui/login/sms_retry_button.h"

#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

SmsRetryButton::SmsRetryButton(QPushButton *target, QLineEdit *focus, QObject *parent)
    : QObject(parent)
    , button(target)
    , focusTarget(focus)
    , timer(new QTimer(this))
    , now([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &SmsRetryButton::onTick);
}

void SmsRetryButton::setClock(std::function<qint64()> clock)
{
    now = std::move(clock);
}

void SmsRetryButton::setCanSend(std::function<bool()> predicate)
{
    canSend = std::move(predicate);
}

bool SmsRetryButton::isTicking() const
{
    return timer->isActive();
}

void SmsRetryButton::startWaiting(int seconds)
{
    remainingSeconds = seconds;
    deadlineMs = now() + qint64(seconds) * 1000;
    timer->start();
}

void SmsRetryButton::setState(bool sending, int cooldownSeconds)
{
    if (!button)
        return;
    if (sending) {
        button->setEnabled(false);
        button->setText(QStringLiteral("发送中..."));
        return;
    }
    if (cooldownSeconds <= 0) {
        finishCountdown();
        return;
    }
    countdownVisible = false;
    sentOnce = true;
    startWaiting(cooldownSeconds);
    button->setEnabled(false);
    button->setText(QStringLiteral("已发送"));
    if (focusTarget)
        focusTarget->setFocus(Qt::OtherFocusReason);
}

void SmsRetryButton::startCountdown(int seconds)
{
    if (!button)
        return;
    countdownVisible = true;
    startWaiting(seconds > 0 ? seconds : 60);
    button->setEnabled(false);
    showRemaining();
}

void SmsRetryButton::showRemaining()
{
    button->setText(QStringLiteral("%1s").arg(remainingSeconds));
}

void SmsRetryButton::onTick()
{
    // Whole seconds left, rounded up, from the clock rather than from counting ticks.
    const qint64 leftMs = deadlineMs - now();
    remainingSeconds = leftMs <= 0 ? 0 : int((leftMs + 999) / 1000);
    if (remainingSeconds <= 0) {
        finishCountdown();
        return;
    }
    if (countdownVisible && button)
        showRemaining();
}

void SmsRetryButton::finishCountdown()
{
    timer->stop();
    remainingSeconds = 0;
    if (!button)
        return;
    button->setText(sentOnce ? QStringLiteral("重试") : QStringLiteral("获取验证码"));
    button->setEnabled(canSend ? canSend() : true);
}
