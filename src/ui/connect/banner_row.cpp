#include "ui/connect/banner_row.h"

#include "theme/hairline.h"
#include "theme/theme_palette.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>

BannerRow::BannerRow(const QString &requestId_, RequestBannerOverlay::Kind kind_, const QString &text_, qint64 startMs_,
                     qint64 expiresAtMs_, bool own_, QWidget *parent)
    : QWidget(parent)
    , requestId(requestId_)
    , kind(kind_)
    , text(text_)
    , startMs(startMs_)
    , expiresAtMs(expiresAtMs_)
    , own(own_)
{
    setFixedHeight(28);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 6, 0);
    layout->setSpacing(8);
    layout->addStretch();

    if (own) {
        QPushButton *cancel = addButton(QStringLiteral("取消"), "link", true);
        connect(cancel, &QPushButton::clicked, this, [this] {
            emit cancelClicked(this->requestId);
            emit closeRequested(this);
        });
        return;
    }
    QPushButton *approve = addButton(QStringLiteral("同意"), "link", true);
    QPushButton *reject = addButton(QStringLiteral("拒绝"), "linkDanger", true);
    QPushButton *dismiss = addButton(QStringLiteral("✕"), "ghost", false);
    dismiss->setToolTip(QStringLiteral("无视"));
    connect(approve, &QPushButton::clicked, this, [this] { answer(true); });
    connect(reject, &QPushButton::clicked, this, [this] { answer(false); });
    // Dismissing only hides the banner; the request itself stays unanswered.
    connect(dismiss, &QPushButton::clicked, this, [this] { emit closeRequested(this); });
}

QPushButton *BannerRow::addButton(const QString &label, const char *variant, bool compact)
{
    auto *button = new QPushButton(label, this);
    button->setProperty("variant", QString::fromLatin1(variant));
    if (compact)
        button->setProperty("compact", true);
    button->setCursor(Qt::PointingHandCursor);
    layout()->addWidget(button);
    buttons.append(button);
    return button;
}

void BannerRow::answer(bool approve)
{
    if (approve)
        emit approveClicked(requestId, kind);
    else
        emit rejectClicked(requestId, kind);
    if (settle())
        setOutcome(QStringLiteral("你"), approve);
}

bool BannerRow::settle()
{
    if (!active)
        return false;
    active = false;
    for (QPushButton *button : std::as_const(buttons))
        button->hide();
    QTimer::singleShot(closeDelayMs, this, [this] { emit closeRequested(this); });
    return true;
}

void BannerRow::setText(const QString &newText)
{
    if (newText == text)
        return;
    text = newText;
    update();
}

void BannerRow::setOutcome(const QString &actor, bool wasApproved)
{
    actorName = actor;
    approved = wasApproved;
    noticeText.clear();
    update();
}

void BannerRow::setNotice(const QString &notice)
{
    noticeText = notice;
    update();
}

void BannerRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    const QFontMetrics metrics = painter.fontMetrics();
    if (active) {
        painter.fillRect(rect(), ThemePalette::color("white"));
        const qint64 span = expiresAtMs - startMs;
        if (span > 0) {
            const qint64 nowMs = clock ? clock() : QDateTime::currentMSecsSinceEpoch();
            const double fraction = std::clamp(double(expiresAtMs - nowMs) / double(span), 0.0, 1.0);
            const int barWidth = int(std::lround(w * fraction));
            painter.fillRect(QRect(0, 0, barWidth, h), ThemePalette::color("selectBg"));
        }
        int textWidth = w - 14;
        if (!buttons.isEmpty())
            textWidth = buttons.first()->x() - 16;
        textWidth = std::max(textWidth, 0);
        painter.setPen(ThemePalette::color("text"));
        painter.drawText(QRect(8, 0, textWidth, h), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(text, Qt::ElideRight, textWidth));
    } else {
        painter.fillRect(rect(), ThemePalette::color("overlayBg"));
        if (noticeText.isEmpty()) {
            struct Segment
            {
                QString text;
                const char *token;
            };
            const Segment segments[] = {
                {actorName, "text"},
                {approved ? QStringLiteral("已同意") : QStringLiteral("已拒绝"),
                 approved ? "successText" : "dangerText"},
                {QStringLiteral("此申请"), "text"},
            };
            int x = 8;
            for (const Segment &segment : segments) {
                const int room = std::max(w - x - 6, 0);
                painter.setPen(ThemePalette::color(segment.token));
                painter.drawText(QRect(x, 0, room, h), Qt::AlignLeft | Qt::AlignVCenter,
                                 metrics.elidedText(segment.text, Qt::ElideRight, room));
                x += metrics.horizontalAdvance(segment.text);
            }
        } else {
            const int room = std::max(w - 14, 0);
            painter.setPen(ThemePalette::color("text"));
            painter.drawText(QRect(8, 0, room, h), Qt::AlignLeft | Qt::AlignVCenter,
                             metrics.elidedText(noticeText, Qt::ElideRight, room));
        }
    }
    paintHairlineH(painter, h - 1, 0, w, ThemePalette::color("border"));
}
