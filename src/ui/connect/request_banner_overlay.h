#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class BannerRow;
class QLabel;
class QTimer;

// A strip of one-line banners over the top of the chat feed: incoming join and sub-room
// requests of the current room (approve, reject, dismiss), the user's own requests
// (cancel) and short outcome notices. At most three banners show at once; the rest
// wait in a queue announced by a "还有 %1 个..." line. Countdowns are computed from the
// clock at every tick. It knows no service: its owner calls the operations and connects
// the click signals. GUI thread.
class RequestBannerOverlay : public QWidget
{
    Q_OBJECT
public:
    enum Kind {
        Join = 0,   // a request to join the current room
        Attach = 1, // another room asks to become a sub-room of the current room
    };
    Q_ENUM(Kind)

    // A banner waiting for a free place.
    struct PendingBanner
    {
        QString requestId;
        Kind kind = Join;
        QString text;
        qint64 startMs = 0;
        qint64 expiresAtMs = 0; // 0 or less: no expiry
        bool own = false;
        QString expiredText; // own requests only; empty keeps the banner's default
    };

    explicit RequestBannerOverlay(QWidget *parent = nullptr);

    void addRequest(const QString &requestId, Kind kind, const QString &text, qint64 startMs, qint64 expiresAtMs);
    void addOwnRequest(const QString &requestId, const QString &text, qint64 startMs, qint64 expiresAtMs,
                       const QString &expiredText);
    void setRequestText(const QString &requestId, const QString &text);
    void resolveRequest(const QString &requestId, const QString &actorName, bool approved);
    void showNotice(const QString &requestId, const QString &text);
    void removeRequest(const QString &requestId);
    void clearIncomingRequests();

    QSize sizeHint() const override;

    // Milliseconds since the epoch; the system clock unless a test sets another.
    void setClock(std::function<qint64()> clock);
    // How long a settled banner stays before it closes (5000 ms); banners made later use it.
    void setCloseDelayMs(int ms);

    const QList<BannerRow *> &shownRows() const { return rows; }
    const QList<PendingBanner> &queue() const { return pending; }
    QLabel *moreLine() const { return moreLabel; }
    QTimer *ticker() const { return tickTimer; }

public slots:
    void onTick();

signals:
    void approveClicked(const QString &requestId, RequestBannerOverlay::Kind kind);
    void rejectClicked(const QString &requestId, RequestBannerOverlay::Kind kind);
    void cancelClicked(const QString &requestId);
    void contentHeightChanged();

private:
    void enqueue(const PendingBanner &entry);
    BannerRow *createRow(const PendingBanner &entry);
    void insertBelowLastRow(QWidget *widget);
    void materializePending();
    void updateMoreLabel();
    void removeRow(BannerRow *row);
    void announceChange();
    BannerRow *findShown(const QString &requestId) const;
    int findQueued(const QString &requestId) const;
    qint64 now() const;

    QList<BannerRow *> rows;
    QList<PendingBanner> pending;
    QLabel *moreLabel = nullptr;
    QTimer *tickTimer = nullptr;
    std::function<qint64()> clock;
    int closeDelayMs = 5000;
};
