#include "ui/connect/request_banner_overlay.h"

#include "theme/theme_palette.h"
#include "ui/connect/banner_row.h"

#include <QDateTime>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

RequestBannerOverlay::RequestBannerOverlay(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addStretch();
    tickTimer = new QTimer(this);
    tickTimer->setInterval(100);
    connect(tickTimer, &QTimer::timeout, this, &RequestBannerOverlay::onTick);
    hide();
}

void RequestBannerOverlay::setClock(std::function<qint64()> clockFunction)
{
    clock = std::move(clockFunction);
    for (BannerRow *row : std::as_const(rows))
        row->setClock(clock);
}

void RequestBannerOverlay::setCloseDelayMs(int ms)
{
    closeDelayMs = ms;
}

qint64 RequestBannerOverlay::now() const
{
    return clock ? clock() : QDateTime::currentMSecsSinceEpoch();
}

BannerRow *RequestBannerOverlay::findShown(const QString &requestId) const
{
    for (BannerRow *row : rows) {
        if (row->id() == requestId)
            return row;
    }
    return nullptr;
}

int RequestBannerOverlay::findQueued(const QString &requestId) const
{
    for (int i = 0; i < pending.size(); ++i) {
        if (pending.at(i).requestId == requestId)
            return i;
    }
    return -1;
}

void RequestBannerOverlay::addRequest(const QString &requestId, Kind kind, const QString &text, qint64 startMs,
                                      qint64 expiresAtMs)
{
    if (BannerRow *row = findShown(requestId)) {
        row->setText(text);
        return;
    }
    const int queued = findQueued(requestId);
    if (queued >= 0) {
        pending[queued].text = text;
        return;
    }
    enqueue({requestId, kind, text, startMs, expiresAtMs, false, QString()});
}

void RequestBannerOverlay::addOwnRequest(const QString &requestId, const QString &text, qint64 startMs,
                                         qint64 expiresAtMs, const QString &expiredText)
{
    if (findShown(requestId))
        return;
    enqueue({requestId, Join, text, startMs, expiresAtMs, true, expiredText});
}

void RequestBannerOverlay::enqueue(const PendingBanner &entry)
{
    pending.append(entry);
    materializePending();
    announceChange();
    if (!tickTimer->isActive())
        tickTimer->start();
}

void RequestBannerOverlay::announceChange()
{
    setVisible(!rows.isEmpty() || moreLabel);
    updateGeometry();
    emit contentHeightChanged();
}

void RequestBannerOverlay::setRequestText(const QString &requestId, const QString &text)
{
    if (BannerRow *row = findShown(requestId)) {
        row->setText(text);
        return;
    }
    const int queued = findQueued(requestId);
    if (queued >= 0)
        pending[queued].text = text;
}

void RequestBannerOverlay::resolveRequest(const QString &requestId, const QString &actorName, bool approved)
{
    if (BannerRow *row = findShown(requestId)) {
        if (row->settle())
            row->setOutcome(actorName, approved);
        return;
    }
    const int queued = findQueued(requestId);
    if (queued < 0)
        return;
    pending.removeAt(queued);
    updateMoreLabel();
    announceChange();
}

void RequestBannerOverlay::showNotice(const QString &requestId, const QString &text)
{
    if (BannerRow *row = findShown(requestId)) {
        if (row->settle())
            row->setNotice(text);
        return;
    }
    const int queued = findQueued(requestId);
    if (queued >= 0)
        pending.removeAt(queued);
    // A notice takes its place at once, beyond the three-banner limit.
    BannerRow *row = createRow({requestId, Join, text, 0, 0, true, QString()});
    insertBelowLastRow(row);
    row->show();
    rows.append(row);
    row->settle();
    row->setNotice(text);
    updateMoreLabel();
    announceChange();
}

void RequestBannerOverlay::removeRequest(const QString &requestId)
{
    if (BannerRow *row = findShown(requestId)) {
        removeRow(row);
        return;
    }
    const int queued = findQueued(requestId);
    if (queued < 0)
        return;
    pending.removeAt(queued);
    updateMoreLabel();
    announceChange();
}

void RequestBannerOverlay::clearIncomingRequests()
{
    for (int i = pending.size() - 1; i >= 0; --i) {
        if (!pending.at(i).own)
            pending.removeAt(i);
    }
    QList<BannerRow *> kept;
    QList<BannerRow *> dropped;
    for (BannerRow *row : std::as_const(rows))
        (row->isOwn() ? kept : dropped).append(row);
    if (dropped.isEmpty() && pending.isEmpty() && !moreLabel)
        return;
    rows = kept;
    for (BannerRow *row : std::as_const(dropped)) {
        row->hide();
        row->deleteLater();
    }
    materializePending();
    announceChange();
    if (rows.isEmpty() && pending.isEmpty())
        tickTimer->stop();
}

QSize RequestBannerOverlay::sizeHint() const
{
    return QSize(200, 28 * int(rows.size()) + (moreLabel ? 22 : 0));
}

BannerRow *RequestBannerOverlay::createRow(const PendingBanner &entry)
{
    auto *row =
        new BannerRow(entry.requestId, entry.kind, entry.text, entry.startMs, entry.expiresAtMs, entry.own, this);
    row->setClock(clock);
    row->setCloseDelayMs(closeDelayMs);
    if (!entry.expiredText.isEmpty())
        row->setExpiredText(entry.expiredText);
    connect(row, &BannerRow::approveClicked, this, &RequestBannerOverlay::approveClicked);
    connect(row, &BannerRow::rejectClicked, this, &RequestBannerOverlay::rejectClicked);
    connect(row, &BannerRow::cancelClicked, this, &RequestBannerOverlay::cancelClicked);
    // Never delete a banner inside its own click or timer handler.
    connect(row, &BannerRow::closeRequested, this,
            [this](BannerRow *closing) { QTimer::singleShot(0, this, [this, closing] { removeRow(closing); }); });
    return row;
}

void RequestBannerOverlay::insertBelowLastRow(QWidget *widget)
{
    auto *box = static_cast<QVBoxLayout *>(layout());
    const int index = rows.isEmpty() ? 0 : box->indexOf(rows.last()) + 1;
    box->insertWidget(index, widget);
}

void RequestBannerOverlay::materializePending()
{
    while (rows.size() < 3 && !pending.isEmpty()) {
        const PendingBanner entry = pending.takeFirst();
        BannerRow *row = createRow(entry);
        insertBelowLastRow(row);
        row->show();
        rows.append(row);
    }
    updateMoreLabel();
}

void RequestBannerOverlay::updateMoreLabel()
{
    if (pending.isEmpty()) {
        if (moreLabel) {
            moreLabel->hide();
            moreLabel->deleteLater();
            moreLabel = nullptr;
        }
        return;
    }
    if (!moreLabel) {
        moreLabel = new QLabel(this);
        moreLabel->setFixedHeight(22);
        moreLabel->setStyleSheet(
            QStringLiteral("background:%1; color:%2; font-size:12px; padding-left:8px;border-bottom:1px solid %3;")
                .arg(QLatin1String(ThemePalette::hex("panelBg")), QLatin1String(ThemePalette::hex("textMuted")),
                     QLatin1String(ThemePalette::hex("border"))));
        insertBelowLastRow(moreLabel);
        moreLabel->show();
    } else {
        // Keep the line directly under the banners, which may have moved in above it.
        auto *box = static_cast<QVBoxLayout *>(layout());
        box->removeWidget(moreLabel);
        insertBelowLastRow(moreLabel);
    }
    moreLabel->setText(QStringLiteral("还有 %1 个...").arg(pending.size()));
}

void RequestBannerOverlay::removeRow(BannerRow *row)
{
    if (!rows.removeOne(row))
        return;
    row->hide();
    row->deleteLater();
    materializePending();
    announceChange();
}

void RequestBannerOverlay::onTick()
{
    const qint64 nowMs = now();
    const QList<BannerRow *> shown = rows;
    for (auto it = shown.crbegin(); it != shown.crend(); ++it) {
        BannerRow *row = *it;
        if (!rows.contains(row) || !row->isActive())
            continue;
        if (row->expiry() <= 0 || nowMs < row->expiry()) {
            row->update();
        } else if (row->isOwn()) {
            if (row->settle())
                row->setNotice(row->expiryText());
        } else {
            removeRow(row);
        }
    }
    bool dropped = false;
    for (int i = pending.size() - 1; i >= 0; --i) {
        const qint64 expiry = pending.at(i).expiresAtMs;
        if (expiry > 0 && expiry <= nowMs) {
            pending.removeAt(i);
            dropped = true;
        }
    }
    if (dropped) {
        updateMoreLabel();
        announceChange();
    }
    // A banner that moved in from the queue during this tick still has to count down,
    // so the timer keeps running while any shown banner is active.
    bool running = false;
    for (BannerRow *row : std::as_const(rows))
        running = running || row->isActive();
    if (!running && pending.isEmpty())
        tickTimer->stop();
}
