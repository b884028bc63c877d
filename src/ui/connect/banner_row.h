#pragma once

#include "ui/connect/request_banner_overlay.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class QPushButton;

// One banner of the request overlay: active (buttons and a shrinking countdown bar) until
// it is settled, then a grey result line that asks to be closed a few seconds later.
// GUI thread.
class BannerRow : public QWidget
{
    Q_OBJECT
public:
    BannerRow(const QString &requestId, RequestBannerOverlay::Kind kind, const QString &text, qint64 startMs,
              qint64 expiresAtMs, bool own, QWidget *parent = nullptr);

    // Ends the active state: hides the buttons and starts the close delay. False when the
    // banner was settled already (nothing changes then).
    bool settle();

    void setText(const QString &text);
    void setExpiredText(const QString &expired) { expiredText = expired; }
    void setOutcome(const QString &actor, bool wasApproved);
    void setNotice(const QString &notice);
    void setClock(std::function<qint64()> clockFunction) { clock = std::move(clockFunction); }
    void setCloseDelayMs(int ms) { closeDelayMs = ms; }

    const QString &id() const { return requestId; }
    RequestBannerOverlay::Kind requestKind() const { return kind; }
    const QString &currentText() const { return text; }
    qint64 expiry() const { return expiresAtMs; }
    bool isOwn() const { return own; }
    bool isActive() const { return active; }
    const QString &expiryText() const { return expiredText; }
    const QString &actor() const { return actorName; }
    const QString &notice() const { return noticeText; }
    bool wasApproved() const { return approved; }
    const QList<QPushButton *> &buttonList() const { return buttons; }

signals:
    void approveClicked(const QString &requestId, RequestBannerOverlay::Kind kind);
    void rejectClicked(const QString &requestId, RequestBannerOverlay::Kind kind);
    void cancelClicked(const QString &requestId);
    void closeRequested(BannerRow *row);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPushButton *addButton(const QString &label, const char *variant, bool compact);
    void answer(bool approve);

    QString requestId;
    RequestBannerOverlay::Kind kind;
    QString text;
    qint64 startMs;
    qint64 expiresAtMs;
    bool own;
    QString expiredText = QStringLiteral("申请加入已超时");
    bool active = true;
    QString actorName;
    QString noticeText;
    bool approved = false;
    QList<QPushButton *> buttons;
    std::function<qint64()> clock;
    int closeDelayMs = 5000;
};
