#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>
#include <QWidget>

class QLabel;
class QPropertyAnimation;
class QSequentialAnimationGroup;
class QTimer;

// The strip at the bottom of the main window: the nickname and the voice connection's
// figures on the left, a clickable system-message count on the right, and across the
// whole width an overlay line that plays transient messages one after another (each
// rises in, stays, and leaves upwards) and otherwise shows one sticky message. GUI thread.
class MainStatusBar : public QWidget
{
    Q_OBJECT
public:
    enum MessageKind {
        Normal = 0,
        Danger = 1,
    };
    Q_ENUM(MessageKind)

    explicit MainStatusBar(QWidget *parent = nullptr);

    // Overrides the slide, pause and gap durations (260, 3000 and 220 ms) for tests.
    void setTimings(int slideMs, int pauseMs, int gapMs);

    QLabel *messageLabel() const { return message; }
    QString currentMessage() const { return currentText; }
    // How many transient messages wait behind the one playing (at most a handful).
    int pendingCount() const { return int(queue.size()); }
    QString nicknameText() const;
    QString latencyText() const;
    QString packetLossText() const;
    QString systemMessagesText() const;

public slots:
    void setNickname(const QString &nickname);
    // Reads the display strings "rtt" and "packetLoss"; a missing or empty one shows "---".
    void setQualityStats(const QVariantMap &stats);
    // A message identical (text and kind) to the one playing or to one waiting is dropped;
    // when the queue is full the oldest waiting message gives way.
    void showTransientMessage(const QString &msg, MainStatusBar::MessageKind kind = MainStatusBar::Normal);
    // An empty text removes the sticky line.
    void setStickyMessage(const QString &msg, MainStatusBar::MessageKind kind = MainStatusBar::Normal);
    void setSystemMessageCount(int count);

signals:
    void systemMessagesRequested();
    // A transient message has just started to play.
    void transientMessageShown(const QString &text, MainStatusBar::MessageKind kind);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Pending
    {
        QString text;
        MessageKind kind = Normal;
    };

    void playNext();
    void showSticky();
    void applyKind(MessageKind kind);
    void updateMessageText();
    bool busy() const;

    QLabel *nickname = nullptr;
    QLabel *latency = nullptr;
    QLabel *packetLoss = nullptr;
    QLabel *message = nullptr;
    QWidget *leftBlock = nullptr;
    QLabel *systemMessages = nullptr;
    QSequentialAnimationGroup *sequence = nullptr;
    QPropertyAnimation *slideIn = nullptr;
    QPropertyAnimation *slideOut = nullptr;
    QPropertyAnimation *stickySlide = nullptr;
    QTimer *startTimer = nullptr;
    QList<Pending> queue;
    QString stickyText;
    MessageKind stickyKind = Normal;
    QString currentText;
    MessageKind currentKind = Normal;
    int systemMessageCount = 0;
};

Q_DECLARE_METATYPE(MainStatusBar::MessageKind)
