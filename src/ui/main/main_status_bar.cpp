#include "ui/main/main_status_bar.h"

#include "theme/style_helpers.h"
#include "theme/theme_palette.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPauseAnimation>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

constexpr int kSlideMs = 260;
constexpr int kPauseMs = 3000;
constexpr int kGapMs = 220;
// A burst of failures must not hold the line for minutes: beyond this many waiting
// messages the oldest waiting one gives way to the newest.
constexpr int kMaxQueued = 4;

const char kSheet[] = "#mainStatusBar {\n"
                      "    background: @white@;\n"
                      "}\n"
                      "#mainStatusBar QLabel {\n"
                      "    color: @textMuted@;\n"
                      "    font-size: 12px;\n"
                      "}\n"
                      "#mainStatusBar QLabel#statusNickname {\n"
                      "    color: @textSub@;\n"
                      "}\n"
                      "#mainStatusBar QLabel#statusMessage[kind=\"danger\"] {\n"
                      "    color: @dangerText@;\n"
                      "}\n"
                      "#mainStatusBar QLabel#statusSystemMessages {\n"
                      "    padding: 0 12px;\n"
                      "}\n"
                      "#mainStatusBar QLabel#statusSystemMessages:hover {\n"
                      "    background: @divider@;\n"
                      "}\n";

QString figure(const QVariantMap &stats, const QString &key)
{
    const QString value = stats.value(key).toString();
    return value.isEmpty() ? QStringLiteral("---") : value;
}

} // namespace

MainStatusBar::MainStatusBar(QWidget *parent)
    : QWidget(parent)
{
    qRegisterMetaType<MainStatusBar::MessageKind>();
    setObjectName(QStringLiteral("mainStatusBar"));
    setFixedHeight(24);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(style::resolveTheme(QString::fromLatin1(kSheet)));

    nickname = new QLabel(QStringLiteral("加载中…"), this);
    nickname->setObjectName(QStringLiteral("statusNickname"));
    nickname->setTextFormat(Qt::PlainText);
    latency = new QLabel(this);
    packetLoss = new QLabel(this);
    message = new QLabel(this);
    message->setObjectName(QStringLiteral("statusMessage"));
    // Failure texts often are the server's own message: never read as markup.
    message->setTextFormat(Qt::PlainText);

    leftBlock = new QWidget(this);
    auto *left = new QHBoxLayout(leftBlock);
    left->setContentsMargins(12, 0, 12, 0);
    left->setSpacing(10);
    left->addWidget(nickname);
    left->addWidget(latency);
    left->addWidget(packetLoss);

    systemMessages = new QLabel(this);
    systemMessages->setObjectName(QStringLiteral("statusSystemMessages"));
    systemMessages->setTextFormat(Qt::RichText);
    systemMessages->installEventFilter(this);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(leftBlock);
    row->addStretch(1);
    row->addWidget(systemMessages);

    message->setAlignment(Qt::AlignCenter);
    message->setAttribute(Qt::WA_TransparentForMouseEvents);
    message->raise();

    slideIn = new QPropertyAnimation(message, "pos", this);
    slideIn->setEasingCurve(QEasingCurve::OutCubic);
    slideOut = new QPropertyAnimation(message, "pos", this);
    slideOut->setEasingCurve(QEasingCurve::InCubic);
    stickySlide = new QPropertyAnimation(message, "pos", this);
    sequence = new QSequentialAnimationGroup(this);
    sequence->addAnimation(slideIn);
    sequence->addPause(kPauseMs);
    sequence->addAnimation(slideOut);
    startTimer = new QTimer(this);
    startTimer->setSingleShot(true);
    connect(startTimer, &QTimer::timeout, this, &MainStatusBar::playNext);
    connect(sequence, &QAbstractAnimation::finished, startTimer, qOverload<>(&QTimer::start));
    setTimings(kSlideMs, kPauseMs, kGapMs);

    setQualityStats({});
    setSystemMessageCount(0);
}

void MainStatusBar::setTimings(int slideMs, int pauseMs, int gapMs)
{
    slideIn->setDuration(slideMs);
    slideOut->setDuration(slideMs);
    stickySlide->setDuration(slideMs);
    if (auto *pause = qobject_cast<QPauseAnimation *>(sequence->animationAt(1)))
        pause->setDuration(pauseMs);
    startTimer->setInterval(gapMs);
}

QString MainStatusBar::nicknameText() const
{
    return nickname->text();
}

QString MainStatusBar::latencyText() const
{
    return latency->text();
}

QString MainStatusBar::packetLossText() const
{
    return packetLoss->text();
}

QString MainStatusBar::systemMessagesText() const
{
    return systemMessages->text();
}

void MainStatusBar::setNickname(const QString &name)
{
    nickname->setText(name.isEmpty() ? QStringLiteral("加载中…") : name);
}

void MainStatusBar::setQualityStats(const QVariantMap &stats)
{
    latency->setText(QStringLiteral("延迟 ") + figure(stats, QStringLiteral("rtt")));
    packetLoss->setText(QStringLiteral("丢包 ") + figure(stats, QStringLiteral("packetLoss")));
}

void MainStatusBar::setSystemMessageCount(int count)
{
    systemMessageCount = count;
    systemMessages->setText(QStringLiteral("系统消息：<span style=\"color:%1;\">%2</span>")
                                .arg(QLatin1String(ThemePalette::hex("text")))
                                .arg(count));
}

bool MainStatusBar::busy() const
{
    return sequence->state() == QAbstractAnimation::Running || startTimer->isActive();
}

void MainStatusBar::showTransientMessage(const QString &msg, MainStatusBar::MessageKind kind)
{
    if (msg.isEmpty())
        return;
    // A repeat of what is on screen or already waiting adds nothing for the reader.
    if (sequence->state() == QAbstractAnimation::Running && currentText == msg && currentKind == kind)
        return;
    for (const Pending &p : std::as_const(queue)) {
        if (p.text == msg && p.kind == kind)
            return;
    }
    if (queue.size() >= kMaxQueued)
        queue.removeFirst();
    queue.append(Pending{msg, kind});
    if (!busy())
        playNext();
}

void MainStatusBar::setStickyMessage(const QString &msg, MainStatusBar::MessageKind kind)
{
    if (msg == stickyText && kind == stickyKind)
        return;
    stickyText = msg;
    stickyKind = kind;
    if (!busy())
        showSticky();
}

void MainStatusBar::playNext()
{
    if (queue.isEmpty()) {
        showSticky();
        return;
    }
    stickySlide->stop();
    const Pending next = queue.takeFirst();
    currentText = next.text;
    currentKind = next.kind;
    applyKind(next.kind);
    updateMessageText();

    const int h = height();
    message->move(0, h);
    slideIn->setStartValue(QPoint(0, h));
    slideIn->setEndValue(QPoint(0, 0));
    slideOut->setStartValue(QPoint(0, 0));
    slideOut->setEndValue(QPoint(0, -h));
    sequence->start();
    emit transientMessageShown(next.text, next.kind);
}

void MainStatusBar::showSticky()
{
    stickySlide->stop();
    const int h = height();
    if (stickyText.isEmpty()) {
        currentText.clear();
        if (message->y() != 0) {
            message->move(0, h);
            return;
        }
        stickySlide->setEasingCurve(QEasingCurve::InCubic);
        stickySlide->setStartValue(QPoint(0, 0));
        stickySlide->setEndValue(QPoint(0, -h));
        stickySlide->start();
        return;
    }
    currentText = stickyText;
    currentKind = stickyKind;
    applyKind(stickyKind);
    updateMessageText();
    if (message->y() == 0)
        return;
    message->move(0, h);
    stickySlide->setEasingCurve(QEasingCurve::OutCubic);
    stickySlide->setStartValue(QPoint(0, h));
    stickySlide->setEndValue(QPoint(0, 0));
    stickySlide->start();
}

void MainStatusBar::applyKind(MessageKind kind)
{
    message->setProperty("kind", kind == Danger ? QStringLiteral("danger") : QString());
    message->style()->unpolish(message);
    message->style()->polish(message);
}

void MainStatusBar::updateMessageText()
{
    if (currentText.isEmpty()) {
        message->clear();
        return;
    }
    const int free = width() - (2 * std::max(leftBlock->width(), systemMessages->width()) + 24);
    if (free <= 0) {
        message->setText(currentText);
        return;
    }
    message->setText(QFontMetrics(message->font()).elidedText(currentText, Qt::ElideRight, free));
}

bool MainStatusBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == systemMessages && event->type() == QEvent::MouseButtonRelease) {
        emit systemMessagesRequested();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainStatusBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    message->resize(width(), height());
    if (sequence->state() != QAbstractAnimation::Running && stickySlide->state() != QAbstractAnimation::Running)
        message->move(0, stickyText.isEmpty() ? height() : 0);
    updateMessageText();
}
