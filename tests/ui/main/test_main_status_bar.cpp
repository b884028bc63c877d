#include "ui/main/main_status_bar.h"

#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QLabel>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QSignalSpy>
#include <QTimer>

namespace {

// Short timings keep the tests fast; their ratios match the real ones closely enough.
constexpr int kSlide = 20;
constexpr int kPause = 120;
constexpr int kGap = 40;

} // namespace

class MainStatusBarTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void construction();
    void defaultDurations();
    void figures_data();
    void figures();
    void queuePlaysInOrder();
    void kindIsResetBetweenMessages();
    void stickyWaitsForTransients();
    void repeatsAreDropped();
    void queueIsCapped();
    void clearingSticky();
    void elision();
    void resizePlacesWithoutAnimation();
    void systemMessagesClick();

private:
    QWidget *host = nullptr;
    MainStatusBar *bar = nullptr;
};

void MainStatusBarTest::init()
{
    host = new QWidget;
    host->resize(600, 24);
    bar = new MainStatusBar(host);
    bar->setTimings(kSlide, kPause, kGap);
    bar->setGeometry(0, 0, 600, 24);
    host->show();
}

void MainStatusBarTest::cleanup()
{
    delete host;
    host = nullptr;
}

void MainStatusBarTest::construction()
{
    QCOMPARE(bar->height(), 24);
    QCOMPARE(bar->nicknameText(), QStringLiteral("加载中…"));
    QCOMPARE(bar->latencyText(), QStringLiteral("延迟 ---"));
    QCOMPARE(bar->packetLossText(), QStringLiteral("丢包 ---"));
    QCOMPARE(bar->systemMessagesText(), QStringLiteral("系统消息：<span style=\"color:%1;\">0</span>")
                                            .arg(QLatin1String(ThemePalette::hex("text"))));
    QCOMPARE(bar->messageLabel()->y(), 24); // parked below
    QVERIFY(bar->messageLabel()->testAttribute(Qt::WA_TransparentForMouseEvents));
    bar->setNickname(QStringLiteral("小明"));
    QCOMPARE(bar->nicknameText(), QStringLiteral("小明"));
    bar->setNickname(QString());
    QCOMPARE(bar->nicknameText(), QStringLiteral("加载中…"));
}

void MainStatusBarTest::defaultDurations()
{
    MainStatusBar fresh;
    auto *group = fresh.findChild<QSequentialAnimationGroup *>();
    QVERIFY(group);
    QCOMPARE(group->animationCount(), 3);
    QCOMPARE(group->duration(), 260 + 3000 + 260);
    const QList<QTimer *> timers = fresh.findChildren<QTimer *>();
    QCOMPARE(timers.size(), 1);
    QCOMPARE(timers.first()->interval(), 220);
    QVERIFY(timers.first()->isSingleShot());
}

void MainStatusBarTest::figures_data()
{
    QTest::addColumn<QVariantMap>("stats");
    QTest::addColumn<QString>("latency");
    QTest::addColumn<QString>("loss");
    QTest::newRow("empty") << QVariantMap{} << "延迟 ---"
                           << "丢包 ---";
    QTest::newRow("both") << QVariantMap{{"rtt", "35 ms"}, {"packetLoss", "0.5%"}} << "延迟 35 ms"
                          << "丢包 0.5%";
    QTest::newRow("empty string") << QVariantMap{{"rtt", ""}, {"packetLoss", "2%"}} << "延迟 ---"
                                  << "丢包 2%";
    QTest::newRow("number") << QVariantMap{{"rtt", 48}} << "延迟 48"
                            << "丢包 ---";
    QTest::newRow("other keys ignored") << QVariantMap{{"jitter", "3 ms"}} << "延迟 ---"
                                        << "丢包 ---";
}

void MainStatusBarTest::figures()
{
    QFETCH(QVariantMap, stats);
    QFETCH(QString, latency);
    QFETCH(QString, loss);
    bar->setQualityStats({{"rtt", "1"}, {"packetLoss", "1"}});
    bar->setQualityStats(stats);
    QCOMPARE(bar->latencyText(), latency);
    QCOMPARE(bar->packetLossText(), loss);
}

void MainStatusBarTest::queuePlaysInOrder()
{
    QStringList shown;
    QElapsedTimer clock;
    QList<qint64> startedAt;
    // Record every new message as the label starts rising from below.
    auto *group = bar->findChild<QSequentialAnimationGroup *>();
    connect(group, &QAbstractAnimation::stateChanged, this, [&](QAbstractAnimation::State state) {
        if (state == QAbstractAnimation::Running) {
            shown.append(bar->currentMessage());
            startedAt.append(clock.elapsed());
        }
    });
    clock.start();
    bar->showTransientMessage(QStringLiteral("一"));
    bar->showTransientMessage(QString()); // dropped
    bar->showTransientMessage(QStringLiteral("二"));
    bar->showTransientMessage(QStringLiteral("三"));
    QCOMPARE(shown, QStringList{QStringLiteral("一")}); // the first starts at once
    QCOMPARE(bar->messageLabel()->text(), QStringLiteral("一"));
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 3, 5000);
    QCOMPARE(shown, (QStringList{QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三")}));
    // Each message occupies slide + pause + slide, then the gap follows.
    const int period = 2 * kSlide + kPause + kGap;
    QVERIFY2(startedAt.at(1) - startedAt.at(0) >= period - 5, qPrintable(QString::number(startedAt.at(1))));
    QVERIFY2(startedAt.at(2) - startedAt.at(1) >= period - 5, qPrintable(QString::number(startedAt.at(2))));
    QTRY_COMPARE(group->state(), QAbstractAnimation::Stopped);
    QTRY_COMPARE(bar->currentMessage(), QString());
}

void MainStatusBarTest::kindIsResetBetweenMessages()
{
    bar->showTransientMessage(QStringLiteral("失败"), MainStatusBar::Danger);
    QCOMPARE(bar->messageLabel()->property("kind").toString(), QStringLiteral("danger"));
    const QColor danger = bar->messageLabel()->palette().color(QPalette::WindowText);
    QCOMPARE(danger.rgb(), ThemePalette::color("dangerText").rgb());
    bar->showTransientMessage(QStringLiteral("完成"));
    QTRY_COMPARE_WITH_TIMEOUT(bar->currentMessage(), QStringLiteral("完成"), 3000);
    QCOMPARE(bar->messageLabel()->property("kind").toString(), QString());
    QCOMPARE(bar->messageLabel()->palette().color(QPalette::WindowText).rgb(), ThemePalette::color("textMuted").rgb());
}

void MainStatusBarTest::repeatsAreDropped()
{
    QStringList shown;
    auto *group = bar->findChild<QSequentialAnimationGroup *>();
    connect(group, &QAbstractAnimation::stateChanged, this, [&](QAbstractAnimation::State state) {
        if (state == QAbstractAnimation::Running)
            shown.append(bar->currentMessage());
    });
    const QString failure = QStringLiteral("连接失败");
    for (int i = 0; i < 20; ++i)
        bar->showTransientMessage(failure, MainStatusBar::Danger); // one playing, the rest repeats
    QCOMPARE(bar->pendingCount(), 0);
    bar->showTransientMessage(QStringLiteral("其他"));
    bar->showTransientMessage(failure); // same text, other kind: a different message
    for (int i = 0; i < 5; ++i)
        bar->showTransientMessage(QStringLiteral("其他")); // already waiting
    QCOMPARE(bar->pendingCount(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 3, 5000);
    QTRY_COMPARE(group->state(), QAbstractAnimation::Stopped);
    QTRY_COMPARE(bar->currentMessage(), QString());
    QCOMPARE(shown, (QStringList{failure, QStringLiteral("其他"), failure}));
    // Once it has left, the same failure may be told again.
    bar->showTransientMessage(failure, MainStatusBar::Danger);
    QCOMPARE(bar->currentMessage(), failure);
}

void MainStatusBarTest::queueIsCapped()
{
    bar->showTransientMessage(QStringLiteral("playing"));
    for (int i = 0; i < 30; ++i)
        bar->showTransientMessage(QStringLiteral("m%1").arg(i));
    QVERIFY(bar->pendingCount() > 0);
    QVERIFY2(bar->pendingCount() <= 5, qPrintable(QString::number(bar->pendingCount())));
    // The newest message is the one kept.
    QStringList shown;
    auto *group = bar->findChild<QSequentialAnimationGroup *>();
    connect(group, &QAbstractAnimation::stateChanged, this, [&](QAbstractAnimation::State state) {
        if (state == QAbstractAnimation::Running)
            shown.append(bar->currentMessage());
    });
    QTRY_COMPARE_WITH_TIMEOUT(bar->pendingCount(), 0, 10000);
    QTRY_COMPARE(group->state(), QAbstractAnimation::Stopped);
    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown.last(), QStringLiteral("m29"));
}

void MainStatusBarTest::stickyWaitsForTransients()
{
    // A gap long enough to be seen between the end of the transient and the sticky line,
    // however late a loaded machine polls.
    bar->setTimings(kSlide, kPause, 1500);
    bar->showTransientMessage(QStringLiteral("已复制"));
    bar->setStickyMessage(QStringLiteral("连接已断开"), MainStatusBar::Danger);
    QCOMPARE(bar->currentMessage(), QStringLiteral("已复制"));
    auto *group = bar->findChild<QSequentialAnimationGroup *>();
    QTRY_COMPARE(group->state(), QAbstractAnimation::Stopped);
    QCOMPARE(bar->currentMessage(), QStringLiteral("已复制")); // the gap runs first
    QTRY_COMPARE(bar->currentMessage(), QStringLiteral("连接已断开"));
    // It rises in from below.
    const auto slides = bar->findChildren<QPropertyAnimation *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(slides.size(), 1);
    QCOMPARE(slides.first()->startValue().toPoint(), QPoint(0, 24));
    QCOMPARE(slides.first()->endValue().toPoint(), QPoint(0, 0));
    QTRY_COMPARE(bar->messageLabel()->y(), 0);
    QCOMPARE(bar->messageLabel()->property("kind").toString(), QStringLiteral("danger"));

    // The same sticky message again changes nothing; a new one changes the text in place.
    bar->setStickyMessage(QStringLiteral("连接已断开"), MainStatusBar::Danger);
    bar->setStickyMessage(QStringLiteral("正在重连"));
    QCOMPARE(bar->currentMessage(), QStringLiteral("正在重连"));
    QCOMPARE(bar->messageLabel()->y(), 0);

    // A transient message still plays over it, and the sticky one comes back afterwards.
    bar->showTransientMessage(QStringLiteral("提示"));
    QCOMPARE(bar->currentMessage(), QStringLiteral("提示"));
    QTRY_COMPARE_WITH_TIMEOUT(bar->currentMessage(), QStringLiteral("正在重连"), 3000);
}

void MainStatusBarTest::clearingSticky()
{
    bar->setStickyMessage(QStringLiteral("连接已断开"));
    QTRY_COMPARE(bar->messageLabel()->y(), 0);
    bar->setStickyMessage(QString());
    QCOMPARE(bar->currentMessage(), QString());
    QCOMPARE(bar->messageLabel()->text(), QStringLiteral("连接已断开")); // kept while it leaves
    QTRY_COMPARE(bar->messageLabel()->y(), -24);                         // upwards

    // Not at rest: only parked below.
    bar->setStickyMessage(QStringLiteral("连接已断开"));
    bar->setStickyMessage(QString());
    QCOMPARE(bar->messageLabel()->y(), 24);
}

void MainStatusBarTest::elision()
{
    const QString longText = QStringLiteral("这是一条非常长的状态消息，").repeated(12);
    bar->setStickyMessage(longText);
    QVERIFY(bar->messageLabel()->text().endsWith(QChar(0x2026)));
    QVERIFY(bar->messageLabel()->text().size() < longText.size());

    host->resize(120, 24);
    bar->setGeometry(0, 0, 120, 24); // narrower than both side blocks need
    QCOMPARE(bar->messageLabel()->text(), longText);
}

void MainStatusBarTest::resizePlacesWithoutAnimation()
{
    bar->setStickyMessage(QStringLiteral("连接已断开"));
    QTRY_COMPARE(bar->messageLabel()->y(), 0);
    bar->messageLabel()->move(0, 11);
    bar->resize(500, 24);
    QCOMPARE(bar->messageLabel()->pos(), QPoint(0, 0));
    QCOMPARE(bar->messageLabel()->size(), QSize(500, 24));

    bar->setStickyMessage(QString());
    QTRY_COMPARE(bar->messageLabel()->y(), -24);
    bar->resize(520, 24);
    QCOMPARE(bar->messageLabel()->pos(), QPoint(0, 24));
}

void MainStatusBarTest::systemMessagesClick()
{
    QSignalSpy requested(bar, &MainStatusBar::systemMessagesRequested);
    auto *label = bar->findChild<QLabel *>(QStringLiteral("statusSystemMessages"));
    QVERIFY(label);
    QTest::mouseClick(label, Qt::RightButton);
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(requested.count(), 2);
    bar->setSystemMessageCount(7);
    QVERIFY(bar->systemMessagesText().endsWith(QStringLiteral(">7</span>")));
}

KESTOVA_TEST_MAIN(MainStatusBarTest)
#include "test_main_status_bar.moc"
