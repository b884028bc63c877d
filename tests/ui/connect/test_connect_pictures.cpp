#include "ui/connect/banner_row.h"
#include "ui/connect/code_input_edit.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/connect/request_banner_overlay.h"

#include "theme/style_helpers.h"
#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyleFactory>

namespace {
constexpr qint64 kBase = 1'800'000'000'000;
} // namespace

// The connection tab (lobby and in a room) and the request banners with sample data,
// saved as pictures for a person to look at, with a few colours checked.
class ConnectPicturesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void connectionTab();
    void banners();
};

void ConnectPicturesTest::initTestCase()
{
    QFile sheet(QStringLiteral(":/minimal-theme.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    qApp->setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
    QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
}

void ConnectPicturesTest::connectionTab()
{
    QWidget page;
    page.setObjectName(QStringLiteral("page"));
    page.setStyleSheet(QStringLiteral("#page{background:%1;}").arg(QLatin1String(ThemePalette::hex("panelBg"))));
    auto *row = new QHBoxLayout(&page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);

    auto *lobby = new ConnectSettingsTab(&page);
    lobby->setDefaultRoomName(QStringLiteral("小明的房间"));
    lobby->setConfigs(
        {{QStringLiteral("晚间开黑"), QString(), 96000}, {QStringLiteral("高音质"), QStringLiteral("音乐房"), 128000}});
    lobby->setPrefGroups({{QStringLiteral("好友"), 3}, {QStringLiteral("同事"), 5}});
    lobby->codeInput()->setText(QStringLiteral("x7k2p9"));
    lobby->applyJoinError(MatchErrorCode::RoomGone);

    auto *room = new ConnectSettingsTab(&page);
    room->setClock([] { return kBase; });
    room->setInRoom(true);
    room->setFollowCode(QStringLiteral("K7Q2MX"), kBase + 154'000);
    room->setCanAttach(true);
    room->setCanManageFollowCode(true);
    room->setRoomPrefMembers(
        {{QStringLiteral("u1"), QStringLiteral("小红")}, {QStringLiteral("u2"), QStringLiteral("小蓝")}});
    room->applyAttachPending();

    row->addWidget(lobby);
    row->addWidget(room);
    page.resize(761, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QTRY_COMPARE(lobby->width(), 380);

    const QImage image = page.grab().toImage();
    QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/connect_tab.png")));
    auto *join = lobby->findChild<QPushButton *>(QStringLiteral("joinButton"));
    QCOMPARE(image.pixel(join->mapTo(&page, QPoint(3, 3))), ThemePalette::color("primary").rgb());
    auto *copy = room->findChild<QPushButton *>(QStringLiteral("copyButton"));
    QCOMPARE(image.pixel(copy->mapTo(&page, QPoint(3, 3))), ThemePalette::color("primary").rgb());
}

void ConnectPicturesTest::banners()
{
    QWidget page;
    page.setObjectName(QStringLiteral("page"));
    page.setStyleSheet(QStringLiteral("#page{background:%1;}").arg(QLatin1String(ThemePalette::hex("panelBg"))));
    auto *overlay = new RequestBannerOverlay(&page);
    qint64 now = kBase + 20'000;
    overlay->setClock([&now] { return now; });
    overlay->addRequest(QStringLiteral("j1"), RequestBannerOverlay::Join, QStringLiteral("小红申请加入房间"), kBase,
                        kBase + 60'000);
    overlay->addRequest(QStringLiteral("a1"), RequestBannerOverlay::Attach, QStringLiteral("音乐房申请挂载为子房间"),
                        kBase, kBase + 30'000);
    overlay->addOwnRequest(QStringLiteral("own"), QStringLiteral("你已申请加入开黑房间，请等待管理员审核"), kBase,
                           kBase + 120'000, QString());
    overlay->addRequest(QStringLiteral("j2"), RequestBannerOverlay::Join, QStringLiteral("小蓝申请加入房间"), kBase, 0);
    overlay->addRequest(QStringLiteral("j3"), RequestBannerOverlay::Join, QStringLiteral("小绿申请加入房间"), kBase, 0);
    overlay->resolveRequest(QStringLiteral("a1"), QStringLiteral("小明"), true);
    overlay->showNotice(QStringLiteral("n1"), QStringLiteral("本房已挂载到音乐房房间"));
    overlay->move(0, 0);
    page.resize(420, overlay->sizeHint().height());
    overlay->resize(420, overlay->sizeHint().height());
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QTRY_COMPARE(overlay->shownRows().first()->width(), 420);

    const QImage image = page.grab().toImage();
    QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/request_banners.png")));
    // The first banner has two thirds of its time left: its bar ends at 280 of 420 px.
    QCOMPARE(image.pixel(270, 3), ThemePalette::color("selectBg").rgb());
    QCOMPARE(image.pixel(290, 3), ThemePalette::color("white").rgb());
    // The settled banner is grey.
    QCOMPARE(image.pixel(300, 28 + 3), ThemePalette::color("overlayBg").rgb());
}

KESTOVA_TEST_MAIN(ConnectPicturesTest)
#include "test_connect_pictures.moc"
