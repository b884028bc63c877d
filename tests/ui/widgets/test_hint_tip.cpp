#include "ui/widgets/hint_tip.h"

#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QEnterEvent>
#include <QImage>
#include <QLabel>
#include <QScreen>

namespace {

void hover(HintTip &tip)
{
    QEnterEvent enter(QPointF(8, 8), tip.mapToGlobal(QPointF(8, 8)), tip.mapToGlobal(QPointF(8, 8)));
    QApplication::sendEvent(&tip, &enter);
}

void leave(HintTip &tip)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&tip, &event);
}

// A top-level host that places the badge at a global position.
struct Host
{
    QWidget window;
    HintTip *tip = new HintTip(&window);

    explicit Host(QPoint globalBadge)
    {
        window.setWindowFlags(Qt::FramelessWindowHint);
        window.resize(40, 40);
        window.move(globalBadge);
        tip->move(0, 0);
        window.show();
    }
};

// True when the badge's drawing is, in some pixel, nearer to `wanted` than to `other`.
bool drawnIn(HintTip &tip, const QColor &wanted, const QColor &other)
{
    const QImage image = tip.grab().toImage();
    const auto distance = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
    };
    const QColor background = tip.palette().color(QPalette::Window);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (distance(c, background) > 120 && distance(c, wanted) < distance(c, other))
                return true;
        }
    return false;
}

} // namespace

class HintTipTest : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void emptyTextShowsNoPopup();
    void popupAboveAndCentred();
    void popupBelowNearTheTop();
    void popupKeptInsideHorizontally();
    void textChangeWaitsForTheNextHover();
    void hoverColour();
};

void HintTipTest::construction()
{
    HintTip tip;
    QCOMPARE(tip.size(), QSize(16, 16));
    QCOMPARE(tip.sizeHint(), QSize(16, 16));
    QCOMPARE(tip.cursor().shape(), Qt::WhatsThisCursor);
    QVERIFY(tip.text().isEmpty());
    QVERIFY(!tip.popupLabel());
}

void HintTipTest::emptyTextShowsNoPopup()
{
    Host host(QPoint(300, 300));
    hover(*host.tip);
    QVERIFY(!host.tip->popupLabel());
    leave(*host.tip);
}

void HintTipTest::popupAboveAndCentred()
{
    Host host(QPoint(300, 300));
    host.tip->setText(QStringLiteral("开启后，成员加入房间需要管理员审批。"));
    hover(*host.tip);
    QLabel *popup = host.tip->popupLabel();
    QVERIFY(popup);
    QVERIFY(popup->isVisible());
    QVERIFY(!popup->parent());
    QVERIFY(popup->windowFlags().testFlag(Qt::ToolTip));
    QVERIFY(popup->wordWrap());
    QCOMPARE(popup->maximumWidth(), 220);
    QCOMPARE(popup->property("role").toString(), QStringLiteral("hintPopup"));
    QCOMPARE(popup->text(), host.tip->text());

    const QPoint badge = host.tip->mapToGlobal(QPoint(0, 0));
    QCOMPARE(popup->y() + popup->height() + 6, badge.y());
    QCOMPARE(popup->x(), badge.x() + 8 - popup->width() / 2);

    leave(*host.tip);
    QVERIFY(!popup->isVisible());
    QCOMPARE(host.tip->popupLabel(), popup); // kept for the next hover
}

void HintTipTest::popupBelowNearTheTop()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    Host host(QPoint(available.left() + 300, available.top() + 2));
    host.tip->setText(QStringLiteral("提示"));
    hover(*host.tip);
    QLabel *popup = host.tip->popupLabel();
    QVERIFY(popup);
    QCOMPARE(popup->y(), host.tip->mapToGlobal(QPoint(0, 16 + 6)).y());
}

void HintTipTest::popupKeptInsideHorizontally()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QString longText =
        QStringLiteral("一段较长的说明文字，用来把弹出框撑到它的最大宽度，以便检查它不会越过屏幕边缘。");
    {
        Host host(QPoint(available.left(), available.top() + 200));
        host.tip->setText(longText);
        hover(*host.tip);
        QCOMPARE(host.tip->popupLabel()->x(), available.left());
    }
    {
        Host host(QPoint(available.right() - 15, available.top() + 200));
        host.tip->setText(longText);
        hover(*host.tip);
        QLabel *popup = host.tip->popupLabel();
        QCOMPARE(popup->x() + popup->width(), available.left() + available.width());
    }
}

void HintTipTest::textChangeWaitsForTheNextHover()
{
    Host host(QPoint(300, 300));
    host.tip->setText(QStringLiteral("旧"));
    hover(*host.tip);
    host.tip->setText(QStringLiteral("新"));
    QCOMPARE(host.tip->popupLabel()->text(), QStringLiteral("旧"));
    leave(*host.tip);
    hover(*host.tip);
    QCOMPARE(host.tip->popupLabel()->text(), QStringLiteral("新"));
}

void HintTipTest::hoverColour()
{
    Host host(QPoint(300, 300));
    const QColor primary = ThemePalette::color("primary");
    const QColor muted = ThemePalette::color("textMuted");
    QVERIFY(drawnIn(*host.tip, muted, primary));
    QVERIFY(!drawnIn(*host.tip, primary, muted));
    hover(*host.tip); // no text: repaints in the hover colour, no popup
    QVERIFY(drawnIn(*host.tip, primary, muted));
    QVERIFY(!host.tip->popupLabel());
    leave(*host.tip);
    QVERIFY(drawnIn(*host.tip, muted, primary));
}

KESTOVA_TEST_MAIN(HintTipTest)
#include "test_hint_tip.moc"
