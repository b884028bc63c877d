#include "ui/connect/banner_row.h"
#include "ui/connect/request_banner_overlay.h"

#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace {
// Far beyond 32 bits, so that a narrowing of the times shows.
constexpr qint64 kBase = 1'800'000'000'000;
} // namespace

class RequestBannerOverlayTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fiveRequestsQueueAndMoveUp();
    void sameIdOnlyReplacesText();
    void countdownBarAndExpiry();
    void queuedEntriesExpire();
    void bannerFromQueueKeepsCountingAfterExpiryTick();
    void ownBannerExpires_data();
    void ownBannerExpires();
    void approveAndReject_data();
    void approveAndReject();
    void resolvedByAnotherMember();
    void dismissRemovesOnNextTurn();
    void ownCancel();
    void noticeBeyondTheLimit();
    void noticeReplacesAQueuedEntry();
    void clearIncomingKeepsOwn();
    void lastBannerClosingHides();

private:
    BannerRow *row(int i) const { return overlay->shownRows().at(i); }
    void addIncoming(int count, qint64 expiresAt = 0);

    RequestBannerOverlay *overlay = nullptr;
    qint64 nowMs = kBase;
};

void RequestBannerOverlayTest::init()
{
    nowMs = kBase;
    overlay = new RequestBannerOverlay;
    overlay->setClock([this] { return nowMs; });
    overlay->resize(400, 120);
}

void RequestBannerOverlayTest::cleanup()
{
    delete overlay;
    overlay = nullptr;
}

void RequestBannerOverlayTest::addIncoming(int count, qint64 expiresAt)
{
    for (int i = 0; i < count; ++i)
        overlay->addRequest(QStringLiteral("r%1").arg(i), RequestBannerOverlay::Join,
                            QStringLiteral("用户%1申请加入房间").arg(i), kBase, expiresAt);
}

void RequestBannerOverlayTest::fiveRequestsQueueAndMoveUp()
{
    QSignalSpy height(overlay, &RequestBannerOverlay::contentHeightChanged);
    QVERIFY(overlay->isHidden());
    addIncoming(5);
    QCOMPARE(height.count(), 5);
    QVERIFY(overlay->isVisible());
    QCOMPARE(overlay->shownRows().size(), 3);
    QCOMPARE(overlay->queue().size(), 2);
    QVERIFY(overlay->moreLine());
    QCOMPARE(overlay->moreLine()->text(), QStringLiteral("还有 2 个..."));
    QCOMPARE(overlay->sizeHint(), QSize(200, 106));
    QVERIFY(overlay->ticker()->isActive());

    height.clear();
    overlay->removeRequest(QStringLiteral("r1"));
    QCOMPARE(height.count(), 1);
    QStringList ids;
    for (BannerRow *r : overlay->shownRows())
        ids << r->id();
    QCOMPARE(ids, (QStringList{"r0", "r2", "r3"}));
    QCOMPARE(overlay->moreLine()->text(), QStringLiteral("还有 1 个..."));
    QCOMPARE(overlay->sizeHint(), QSize(200, 106));

    // The line sits directly below the banners.
    overlay->show();
    QTRY_COMPARE(overlay->moreLine()->y(), 84);

    overlay->removeRequest(QStringLiteral("r4"));
    QCOMPARE(overlay->queue().size(), 0);
    QVERIFY(!overlay->moreLine());
    QCOMPARE(overlay->sizeHint(), QSize(200, 84));
    height.clear();
    overlay->removeRequest(QStringLiteral("unknown"));
    QCOMPARE(height.count(), 0);
}

void RequestBannerOverlayTest::sameIdOnlyReplacesText()
{
    addIncoming(4);
    QSignalSpy height(overlay, &RequestBannerOverlay::contentHeightChanged);
    overlay->addRequest(QStringLiteral("r0"), RequestBannerOverlay::Attach, QStringLiteral("新文字"), kBase, 0);
    overlay->addRequest(QStringLiteral("r3"), RequestBannerOverlay::Join, QStringLiteral("排队的新文字"), kBase, 0);
    QCOMPARE(height.count(), 0);
    QCOMPARE(row(0)->currentText(), QStringLiteral("新文字"));
    QCOMPARE(row(0)->requestKind(), RequestBannerOverlay::Join);
    QCOMPARE(overlay->queue().size(), 1);
    QCOMPARE(overlay->queue().first().text, QStringLiteral("排队的新文字"));
    QCOMPARE(overlay->sizeHint(), QSize(200, 28 * 3 + 22));

    overlay->setRequestText(QStringLiteral("r1"), QStringLiteral("改名"));
    QCOMPARE(row(1)->currentText(), QStringLiteral("改名"));
    // An own request whose id is shown is ignored.
    overlay->addOwnRequest(QStringLiteral("r2"), QStringLiteral("自己的"), kBase, 0, QString());
    QCOMPARE(overlay->queue().size(), 1);
    QCOMPARE(height.count(), 0);
}

void RequestBannerOverlayTest::countdownBarAndExpiry()
{
    overlay->addRequest(QStringLiteral("r"), RequestBannerOverlay::Join, QStringLiteral("申请"), kBase, kBase + 10'000);
    // Wide enough that the buttons at the right end do not cover the points looked at.
    overlay->resize(1200, 120);
    overlay->show();
    BannerRow *banner = row(0);
    QTRY_COMPARE(banner->width(), 1200);
    QVERIFY(banner->buttonList().first()->x() > 900);
    const QRgb select = ThemePalette::color("selectBg").rgb();
    const QRgb white = ThemePalette::color("white").rgb();

    QImage image = banner->grab().toImage();
    QCOMPARE(image.pixel(880, 2), select);

    nowMs = kBase + 5'000;
    image = banner->grab().toImage();
    QCOMPARE(image.pixel(599, 2), select);
    QCOMPARE(image.pixel(600, 2), white);

    nowMs = kBase + 9'999;
    overlay->onTick();
    QCOMPARE(overlay->shownRows().size(), 1);
    nowMs = kBase + 10'000;
    QSignalSpy height(overlay, &RequestBannerOverlay::contentHeightChanged);
    overlay->onTick();
    QCOMPARE(overlay->shownRows().size(), 0);
    QCOMPARE(height.count(), 1);
    QVERIFY(!overlay->ticker()->isActive());
    QVERIFY(overlay->isHidden());
}

void RequestBannerOverlayTest::queuedEntriesExpire()
{
    addIncoming(3);
    overlay->addRequest(QStringLiteral("late"), RequestBannerOverlay::Attach, QStringLiteral("子房"), kBase,
                        kBase + 1'000);
    overlay->addRequest(QStringLiteral("open"), RequestBannerOverlay::Attach, QStringLiteral("子房"), kBase, 0);
    QCOMPARE(overlay->queue().size(), 2);
    nowMs = kBase + 1'000;
    QSignalSpy height(overlay, &RequestBannerOverlay::contentHeightChanged);
    overlay->onTick();
    QCOMPARE(overlay->queue().size(), 1);
    QCOMPARE(overlay->queue().first().requestId, QStringLiteral("open"));
    QCOMPARE(overlay->moreLine()->text(), QStringLiteral("还有 1 个..."));
    QCOMPARE(height.count(), 1);
    QVERIFY(overlay->ticker()->isActive());
}

void RequestBannerOverlayTest::bannerFromQueueKeepsCountingAfterExpiryTick()
{
    // The three shown banners expire in one tick; the fourth moves up and must still
    // expire later, so the tick may not stop.
    addIncoming(3, kBase + 1'000);
    overlay->addRequest(QStringLiteral("next"), RequestBannerOverlay::Join, QStringLiteral("下一个"), kBase,
                        kBase + 60'000);
    nowMs = kBase + 1'000;
    overlay->onTick();
    QCOMPARE(overlay->shownRows().size(), 1);
    QCOMPARE(row(0)->id(), QStringLiteral("next"));
    QVERIFY(overlay->ticker()->isActive());
    nowMs = kBase + 60'000;
    overlay->onTick();
    QVERIFY(overlay->shownRows().isEmpty());
    QVERIFY(!overlay->ticker()->isActive());
}

void RequestBannerOverlayTest::ownBannerExpires_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("shown");
    QTest::newRow("default text") << QString() << QStringLiteral("申请加入已超时");
    QTest::newRow("attach text") << QStringLiteral("挂载申请已超时") << QStringLiteral("挂载申请已超时");
}

void RequestBannerOverlayTest::ownBannerExpires()
{
    QFETCH(QString, given);
    QFETCH(QString, shown);
    overlay->setCloseDelayMs(30);
    overlay->addOwnRequest(QStringLiteral("own"), QStringLiteral("你已申请加入A房间，请等待管理员审核"), kBase,
                           kBase + 30'000, given);
    QCOMPARE(row(0)->buttonList().size(), 1);
    QCOMPARE(row(0)->buttonList().first()->text(), QStringLiteral("取消"));
    nowMs = kBase + 30'000;
    overlay->onTick();
    QCOMPARE(overlay->shownRows().size(), 1);
    QVERIFY(!row(0)->isActive());
    QCOMPARE(row(0)->notice(), shown);
    QVERIFY(row(0)->buttonList().first()->isHidden());
    QVERIFY(!overlay->ticker()->isActive());
    QTRY_VERIFY(overlay->shownRows().isEmpty());
    QVERIFY(overlay->isHidden());
}

void RequestBannerOverlayTest::approveAndReject_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("approved");
    QTest::newRow("approve") << 0 << true;
    QTest::newRow("reject") << 1 << false;
}

void RequestBannerOverlayTest::approveAndReject()
{
    QFETCH(int, button);
    QFETCH(bool, approved);
    overlay->setCloseDelayMs(30);
    overlay->addRequest(QStringLiteral("sub"), RequestBannerOverlay::Attach, QStringLiteral("B申请挂载为子房间"), kBase,
                        0);
    QSignalSpy approve(overlay, &RequestBannerOverlay::approveClicked);
    QSignalSpy reject(overlay, &RequestBannerOverlay::rejectClicked);
    const QList<QPushButton *> buttons = row(0)->buttonList();
    QCOMPARE(buttons.size(), 3);
    QCOMPARE(buttons.at(0)->text(), QStringLiteral("同意"));
    QCOMPARE(buttons.at(1)->text(), QStringLiteral("拒绝"));
    QCOMPARE(buttons.at(2)->toolTip(), QStringLiteral("无视"));
    buttons.at(button)->click();
    QSignalSpy &clicked = approved ? approve : reject;
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toString(), QStringLiteral("sub"));
    QCOMPARE(clicked.at(0).at(1).value<RequestBannerOverlay::Kind>(), RequestBannerOverlay::Attach);
    QCOMPARE((approved ? reject : approve).count(), 0);
    QVERIFY(!row(0)->isActive());
    QCOMPARE(row(0)->actor(), QStringLiteral("你"));
    QCOMPARE(row(0)->wasApproved(), approved);
    for (QPushButton *b : buttons)
        QVERIFY(b->isHidden());
    // A later answer from elsewhere does not change a settled banner.
    overlay->resolveRequest(QStringLiteral("sub"), QStringLiteral("别人"), !approved);
    QCOMPARE(row(0)->actor(), QStringLiteral("你"));
    QCOMPARE(row(0)->wasApproved(), approved);
    QTRY_VERIFY(overlay->shownRows().isEmpty());
}

void RequestBannerOverlayTest::resolvedByAnotherMember()
{
    addIncoming(4);
    overlay->resolveRequest(QStringLiteral("r1"), QStringLiteral("小红"), false);
    QVERIFY(!row(1)->isActive());
    QCOMPARE(row(1)->actor(), QStringLiteral("小红"));
    QVERIFY(!row(1)->wasApproved());
    QVERIFY(row(1)->notice().isEmpty());
    // A queued one is dropped.
    QSignalSpy height(overlay, &RequestBannerOverlay::contentHeightChanged);
    overlay->resolveRequest(QStringLiteral("r3"), QStringLiteral("小红"), true);
    QVERIFY(overlay->queue().isEmpty());
    QVERIFY(!overlay->moreLine());
    QCOMPARE(height.count(), 1);

    // The settled look: grey background and "已拒绝" in the danger colour.
    overlay->show();
    QTRY_COMPARE(row(1)->width(), 400);
    const QImage image = row(1)->grab().toImage();
    QCOMPARE(image.pixel(390, 5), ThemePalette::color("overlayBg").rgb());
    bool dangerSeen = false;
    for (int x = 0; x < image.width() && !dangerSeen; ++x) {
        for (int y = 0; y < image.height() - 1 && !dangerSeen; ++y)
            dangerSeen = image.pixel(x, y) == ThemePalette::color("dangerText").rgb();
    }
    QVERIFY(dangerSeen);
}

void RequestBannerOverlayTest::dismissRemovesOnNextTurn()
{
    addIncoming(1);
    QSignalSpy approve(overlay, &RequestBannerOverlay::approveClicked);
    QSignalSpy reject(overlay, &RequestBannerOverlay::rejectClicked);
    row(0)->buttonList().at(2)->click();
    QCOMPARE(overlay->shownRows().size(), 1);
    QTRY_VERIFY(overlay->shownRows().isEmpty());
    QCOMPARE(approve.count() + reject.count(), 0);
}

void RequestBannerOverlayTest::ownCancel()
{
    overlay->addOwnRequest(QStringLiteral("own"), QStringLiteral("等待"), kBase, kBase + 60'000, QString());
    QSignalSpy cancel(overlay, &RequestBannerOverlay::cancelClicked);
    row(0)->buttonList().first()->click();
    QCOMPARE(cancel.count(), 1);
    QCOMPARE(cancel.at(0).at(0).toString(), QStringLiteral("own"));
    QTRY_VERIFY(overlay->shownRows().isEmpty());
}

void RequestBannerOverlayTest::noticeBeyondTheLimit()
{
    addIncoming(3);
    QSignalSpy height(overlay, &RequestBannerOverlay::contentHeightChanged);
    overlay->showNotice(QStringLiteral("own"), QStringLiteral("你已加入房间"));
    QCOMPARE(height.count(), 1);
    QCOMPARE(overlay->shownRows().size(), 4);
    QVERIFY(!row(3)->isActive());
    QCOMPARE(row(3)->notice(), QStringLiteral("你已加入房间"));
    QCOMPARE(overlay->sizeHint(), QSize(200, 112));

    // A notice for a shown active banner settles it in place.
    overlay->showNotice(QStringLiteral("r0"), QStringLiteral("已处理"));
    QCOMPARE(overlay->shownRows().size(), 4);
    QCOMPARE(row(0)->notice(), QStringLiteral("已处理"));
}

void RequestBannerOverlayTest::noticeReplacesAQueuedEntry()
{
    addIncoming(3);
    overlay->addOwnRequest(QStringLiteral("own"), QStringLiteral("等待"), kBase, 0, QString());
    QCOMPARE(overlay->queue().size(), 1);
    overlay->showNotice(QStringLiteral("own"), QStringLiteral("你已被A房间管理员拒绝"));
    QVERIFY(overlay->queue().isEmpty());
    QVERIFY(!overlay->moreLine());
    QCOMPARE(overlay->shownRows().size(), 4);
    QCOMPARE(row(3)->id(), QStringLiteral("own"));
}

void RequestBannerOverlayTest::clearIncomingKeepsOwn()
{
    overlay->addRequest(QStringLiteral("a"), RequestBannerOverlay::Join, QStringLiteral("A"), kBase, 0);
    overlay->addOwnRequest(QStringLiteral("own"), QStringLiteral("等待"), kBase, kBase + 60'000, QString());
    overlay->addRequest(QStringLiteral("b"), RequestBannerOverlay::Attach, QStringLiteral("B"), kBase, 0);
    QSignalSpy height(overlay, &RequestBannerOverlay::contentHeightChanged);
    overlay->clearIncomingRequests();
    QCOMPARE(height.count(), 1);
    QCOMPARE(overlay->shownRows().size(), 1);
    QCOMPARE(row(0)->id(), QStringLiteral("own"));
    QVERIFY(overlay->ticker()->isActive());
    // Nothing left to drop: no signal.
    overlay->clearIncomingRequests();
    QCOMPARE(height.count(), 1);
    nowMs = kBase + 60'000;
    overlay->onTick();
    QCOMPARE(row(0)->notice(), QStringLiteral("申请加入已超时"));
}

void RequestBannerOverlayTest::lastBannerClosingHides()
{
    overlay->show();
    addIncoming(1);
    QVERIFY(overlay->isVisible());
    overlay->removeRequest(QStringLiteral("r0"));
    QVERIFY(overlay->isHidden());
    QCOMPARE(overlay->sizeHint().height(), 0);
    // Removing twice changes nothing.
    QSignalSpy height(overlay, &RequestBannerOverlay::contentHeightChanged);
    overlay->removeRequest(QStringLiteral("r0"));
    QCOMPARE(height.count(), 0);
}

KESTOVA_TEST_MAIN(RequestBannerOverlayTest)
#include "test_request_banner_overlay.moc"
