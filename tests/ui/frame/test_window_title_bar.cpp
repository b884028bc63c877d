#include "ui/frame/window_title_bar.h"

#include "platform/frameless/frameless_agent.h"
#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QSignalSpy>

namespace {

// A frameless window with a title bar (and a menu bar) on top of some content.
struct FramedWindow
{
    QWidget window;
    QMenuBar *menuBar = new QMenuBar;
    WindowTitleBar *titleBar = nullptr;
    FramelessAgent *agent = nullptr;

    FramedWindow()
    {
        menuBar->addMenu(QStringLiteral("菜单"));
        titleBar = new WindowTitleBar(menuBar, &window);
        titleBar->setTitle(QStringLiteral("Kestova"));
        auto *column = new QVBoxLayout(&window);
        column->setContentsMargins(0, 0, 0, 0);
        column->addWidget(titleBar);
        column->addWidget(new QWidget(&window), 1);
        installFramelessAgent(&window, titleBar);
        agent = window.findChild<FramelessAgent *>();
        window.resize(600, 400);
        window.show();
    }
};

QImage paintedButton(WindowTitleBar::SysButton *button, bool hovered, bool down)
{
    button->setAttribute(Qt::WA_UnderMouse, hovered);
    button->setDown(down);
    // Through the title bar, so that what the button leaves unpainted shows the strip.
    const QImage image = button->parentWidget()->grab(button->geometry()).toImage();
    button->setDown(false);
    button->setAttribute(Qt::WA_UnderMouse, false);
    return image;
}

} // namespace

class WindowTitleBarTest : public QObject
{
    Q_OBJECT

private slots:
    void structure();
    void withoutMenuBar();
    void buttonsDriveTheWindow();
    void maximiseGlyphFollowsTheState();
    void closeButtonColours();
    void dragAreaAndClickableParts();
    void edgesResize();
};

void WindowTitleBarTest::structure()
{
    FramedWindow w;
    QVERIFY(w.agent);
    QVERIFY(w.window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(w.titleBar->height(), 40);
    QCOMPARE(w.titleBar->objectName(), QStringLiteral("windowTitleBar"));
    QCOMPARE(w.titleBar->title(), QStringLiteral("Kestova"));
    QCOMPARE(w.menuBar->parentWidget(), w.titleBar);
    QCOMPARE(w.titleBar->minimizeButton()->sizeHint(), QSize(46, 40));
    QCOMPARE(w.titleBar->closeButton()->width(), 46);
    QCOMPARE(w.titleBar->closeButton()->focusPolicy(), Qt::NoFocus);
    QCOMPARE(w.agent->systemButton(FramelessAgent::Close), w.titleBar->closeButton());
    QCOMPARE(w.agent->systemButton(FramelessAgent::Maximize), w.titleBar->maximizeButton());
    // Buttons at the right end, in order.
    QCOMPARE(w.titleBar->closeButton()->geometry().right(), w.titleBar->width() - 1);
    QVERIFY(w.titleBar->minimizeButton()->x() < w.titleBar->maximizeButton()->x());
    QVERIFY(w.menuBar->x() > 0);
    // The strip's background and bottom line come from the theme.
    const QImage image = w.titleBar->grab().toImage();
    QCOMPARE(image.pixel(w.titleBar->width() / 2, 10), ThemePalette::color("panelBg").rgb());
    QCOMPARE(image.pixel(w.titleBar->width() / 2, 39), ThemePalette::color("border").rgb());
}

void WindowTitleBarTest::withoutMenuBar()
{
    WindowTitleBar bar(nullptr);
    QVERIFY(!bar.menuBar());
    auto *row = qobject_cast<QHBoxLayout *>(bar.layout());
    QVERIFY(row);
    QCOMPARE(row->count(), 5); // brand, stretch, three buttons
    QVERIFY(qobject_cast<QLabel *>(row->itemAt(0)->widget()));
    QVERIFY(row->itemAt(1)->spacerItem());
}

void WindowTitleBarTest::buttonsDriveTheWindow()
{
    FramedWindow w;
    w.titleBar->maximizeButton()->click();
    QVERIFY(w.window.isMaximized());
    w.titleBar->maximizeButton()->click();
    QVERIFY(!w.window.isMaximized());
    w.titleBar->minimizeButton()->click();
    QVERIFY(w.window.isMinimized());
    w.window.showNormal();
    w.titleBar->closeButton()->click();
    QVERIFY(!w.window.isVisible());
}

void WindowTitleBarTest::maximiseGlyphFollowsTheState()
{
    FramedWindow w;
    WindowTitleBar::SysButton *button = w.titleBar->maximizeButton();
    QCOMPARE(button->kind(), WindowTitleBar::SysButton::Maximize);
    const QImage square = paintedButton(button, false, false);
    w.window.showMaximized();
    QCOMPARE(button->kind(), WindowTitleBar::SysButton::Restore);
    const QImage squares = paintedButton(button, false, false);
    QVERIFY(square != squares);
    // Restore: the back square's top edge shows right of the front square.
    const int bx = (button->width() - 10) / 2;
    const int by = (button->height() - 10) / 2;
    const QRgb text = ThemePalette::color("text").rgb();
    QCOMPARE(squares.pixel(bx + 9, by), text);
    QVERIFY(squares.pixel(bx, by) != text);
    QCOMPARE(square.pixel(bx, by), text);
    w.window.showNormal();
    QCOMPARE(button->kind(), WindowTitleBar::SysButton::Maximize);
}

void WindowTitleBarTest::closeButtonColours()
{
    FramedWindow w;
    WindowTitleBar::SysButton *button = w.titleBar->closeButton();
    const QImage idle = paintedButton(button, false, false);
    QCOMPARE(idle.pixel(2, 2), ThemePalette::color("panelBg").rgb()); // no background of its own
    const QImage hovered = paintedButton(button, true, false);
    QCOMPARE(hovered.pixel(2, 2), QColor(0xe8, 0x11, 0x23).rgb());
    const QImage pressed = paintedButton(button, true, true);
    QCOMPARE(pressed.pixel(2, 2), QColor(0xc5, 0x0e, 0x1f).rgb());
    // The cross is white on red: inside its box many pixels are far lighter than the red.
    int whiteish = 0;
    const QRect box((button->width() - 10) / 2, (button->height() - 10) / 2, 11, 11);
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            whiteish += hovered.pixelColor(x, y).green() > 100;
    QVERIFY2(whiteish >= 10, qPrintable(QString::number(whiteish)));

    const QImage minimizeHovered = paintedButton(w.titleBar->minimizeButton(), true, false);
    QCOMPARE(minimizeHovered.pixel(2, 2), ThemePalette::color("divider").rgb());
}

void WindowTitleBarTest::dragAreaAndClickableParts()
{
    FramedWindow w;
    QSignalSpy moves(w.agent, &FramelessAgent::systemMoveRequested);
    const QPoint empty(w.titleBar->width() - 200, 20);
    QTest::mousePress(w.titleBar, Qt::LeftButton, {}, empty);
    QCOMPARE(moves.count(), 1);
    QTest::mouseRelease(w.titleBar, Qt::LeftButton, {}, empty);

    auto *brand = w.titleBar->findChild<QLabel *>(QStringLiteral("titleBarBrand"));
    QTest::mousePress(brand, Qt::LeftButton, {}, QPoint(10, 20));
    QCOMPARE(moves.count(), 2);
    QTest::mouseRelease(brand, Qt::LeftButton, {}, QPoint(10, 20));

    QTest::mouseClick(w.titleBar->minimizeButton(), Qt::RightButton);
    QTest::mousePress(w.titleBar, Qt::RightButton, {}, empty);
    QCOMPARE(moves.count(), 2);

    QTest::mouseDClick(w.titleBar, Qt::LeftButton, {}, empty);
    QVERIFY(w.window.isMaximized());
    QTest::mouseDClick(w.titleBar, Qt::LeftButton, {}, empty);
    QVERIFY(!w.window.isMaximized());
}

void WindowTitleBarTest::edgesResize()
{
    FramedWindow w;
    QSignalSpy resizes(w.agent, &FramelessAgent::systemResizeRequested);
    QWidget *content = w.window.layout()->itemAt(1)->widget();
    const QPoint corner = content->mapFrom(&w.window, QPoint(598, 398));
    QTest::mousePress(content, Qt::LeftButton, {}, corner);
    QCOMPARE(resizes.count(), 1);
    QCOMPARE(resizes.at(0).at(0).value<Qt::Edges>(), Qt::RightEdge | Qt::BottomEdge);
    QTest::mouseRelease(content, Qt::LeftButton, {}, corner);

    QTest::mousePress(content, Qt::LeftButton, {}, content->mapFrom(&w.window, QPoint(2, 200)));
    QCOMPARE(resizes.count(), 2);
    QCOMPARE(resizes.at(1).at(0).value<Qt::Edges>(), Qt::Edges(Qt::LeftEdge));

    QTest::mousePress(content, Qt::LeftButton, {}, content->mapFrom(&w.window, QPoint(300, 200)));
    QCOMPARE(resizes.count(), 2); // the middle is not an edge

    // The title bar's top edge resizes rather than moves.
    QSignalSpy moves(w.agent, &FramelessAgent::systemMoveRequested);
    QTest::mousePress(w.titleBar, Qt::LeftButton, {}, QPoint(300, 1));
    QCOMPARE(moves.count(), 0);
    QCOMPARE(resizes.count(), 3);
    QCOMPARE(resizes.at(2).at(0).value<Qt::Edges>(), Qt::Edges(Qt::TopEdge));

    w.window.showMaximized(); // no resizing while maximised
    QTest::mousePress(content, Qt::LeftButton, {}, QPoint(1, 100));
    QCOMPARE(resizes.count(), 3);
}

KESTOVA_TEST_MAIN(WindowTitleBarTest)
#include "test_window_title_bar.moc"
