#include "ui/main/control_panel.h"
#include "ui/main/main_status_bar.h"

#include "theme/style_helpers.h"
#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStyleFactory>
#include <QVBoxLayout>

// The control panel in its sub-room state above the status bar with a sticky message,
// saved as a picture for a person to look at, with a few colours checked.
class ConsolePictureTest : public QObject
{
    Q_OBJECT

private slots:
    void picture();
};

void ConsolePictureTest::picture()
{
    QFile sheet(QStringLiteral(":/minimal-theme.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    qApp->setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));

    QWidget page;
    auto *column = new QVBoxLayout(&page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto *panel = new ControlPanel(&page);
    panel->setBroadcastVisible(true);
    panel->setMicState(false, true, false);
    panel->setSpeakerOn(false);
    auto *held = new ControlPanel(&page);
    held->setBroadcastVisible(true);
    held->setBroadcasting(true);
    held->setMicState(true, false, true);
    auto *bar = new MainStatusBar(&page);
    bar->setNickname(QStringLiteral("小明"));
    bar->setQualityStats(
        {{QStringLiteral("rtt"), QStringLiteral("35 ms")}, {QStringLiteral("packetLoss"), QStringLiteral("0.2%")}});
    bar->setSystemMessageCount(3);
    column->addWidget(panel);
    column->addWidget(held);
    column->addWidget(bar);
    page.resize(360, 240);
    page.show();
    bar->setStickyMessage(QStringLiteral("语音连接已断开，正在重连"), MainStatusBar::Danger);
    QTRY_COMPARE(bar->messageLabel()->y(), 0);

    const QImage image = page.grab().toImage();
    QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
    QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/console.png")));

    const auto colourAt = [&](QWidget *w) { return image.pixel(w->mapTo(&page, QPoint(3, w->height() / 2))); };
    QCOMPARE(colourAt(panel->micButton()), ThemePalette::color("primary").rgb());
    QCOMPARE(colourAt(panel->speakerButton()), ThemePalette::color("textFaint").rgb());
    QCOMPARE(colourAt(panel->broadcastButton()), ThemePalette::color("primary").rgb());
    QCOMPARE(colourAt(held->broadcastButton()), ThemePalette::color("primaryPressed").rgb());
    QCOMPARE(colourAt(held->micButton()), ThemePalette::color("danger").rgb());
    QCOMPARE(colourAt(panel->disconnectButton()), ThemePalette::color("danger").rgb());
}

KESTOVA_TEST_MAIN(ConsolePictureTest)
#include "test_console_picture.moc"
