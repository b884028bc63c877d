#include "ui/widgets/underline_tab_bar.h"

#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QImage>
#include <QSignalSpy>

class UnderlineTabBarTest : public QObject
{
    Q_OBJECT

private slots:
    void layoutWithDangerTabs();
    void setCurrentIndexIgnoresNoChange();
    void hidingTabs();
    void clicks();
    void underlineFollowsResize();
};

void UnderlineTabBarTest::layoutWithDangerTabs()
{
    UnderlineTabBar bar;
    QSignalSpy changed(&bar, &UnderlineTabBar::currentChanged);
    QCOMPARE(bar.addTab(QStringLiteral("基本")), 0);
    QCOMPARE(bar.addTab(QStringLiteral("删除"), true), 1);
    QCOMPARE(bar.addTab(QStringLiteral("解散"), true), 2);
    QCOMPARE(bar.addTab(QStringLiteral("成员")), 3);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(bar.currentIndex(), 0);
    QCOMPARE(bar.sizeHint(), QSize(200, 38));
    bar.resize(400, 38);

    const QFontMetrics metrics(bar.font());
    QCOMPARE(bar.tabRect(0), QRect(10, 0, metrics.horizontalAdvance(QStringLiteral("基本")) + 24, 38));
    QCOMPARE(bar.tabRect(3).x(), bar.tabRect(0).x() + bar.tabRect(0).width() + 2);
    QCOMPARE(bar.tabRect(1).x() + bar.tabRect(1).width(), 390);
    QCOMPARE(bar.tabRect(2).x() + bar.tabRect(2).width(), bar.tabRect(1).x());
}

void UnderlineTabBarTest::setCurrentIndexIgnoresNoChange()
{
    UnderlineTabBar bar;
    bar.addTab(QStringLiteral("一"));
    bar.addTab(QStringLiteral("二"));
    QSignalSpy changed(&bar, &UnderlineTabBar::currentChanged);
    for (const int index : {0, -1, 2})
        bar.setCurrentIndex(index);
    QCOMPARE(changed.count(), 0);
    bar.setCurrentIndex(1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.takeFirst().at(0).toInt(), 1);

    bar.setTabText(1, QStringLiteral("贰"));
    QCOMPARE(bar.tab(1).text, QStringLiteral("贰"));
    bar.setTabText(5, QStringLiteral("x")); // outside: ignored
    QCOMPARE(bar.count(), 2);
}

void UnderlineTabBarTest::hidingTabs()
{
    UnderlineTabBar bar;
    bar.resize(400, 38);
    for (const char *text : {"一", "二", "三"})
        bar.addTab(QString::fromUtf8(text));
    bar.setCurrentIndex(2);
    QSignalSpy changed(&bar, &UnderlineTabBar::currentChanged);

    bar.setTabVisible(1, false); // not current
    QCOMPARE(changed.count(), 0);
    QVERIFY(bar.tabRect(1).isEmpty());
    QCOMPARE(bar.tabRect(2).x(), bar.tabRect(0).x() + bar.tabRect(0).width() + 2); // takes no room

    bar.setTabVisible(2, false); // current: the first visible one takes over
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.takeFirst().at(0).toInt(), 0);

    bar.setTabVisible(0, false); // none visible: the current index stays
    QCOMPARE(bar.currentIndex(), 0);
    QCOMPARE(changed.count(), 0);

    bar.show();
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(40, 19));
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(90, 19));
    QCOMPARE(changed.count(), 0);
}

void UnderlineTabBarTest::clicks()
{
    UnderlineTabBar bar;
    bar.resize(400, 38);
    bar.addTab(QStringLiteral("概览"));
    bar.addTab(QStringLiteral("删除"), true);
    bar.show();
    QSignalSpy changed(&bar, &UnderlineTabBar::currentChanged);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.tabRect(0).center()); // current
    QTest::mouseClick(&bar, Qt::RightButton, {}, bar.tabRect(1).center());
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(200, 19)); // between the tabs
    QCOMPARE(changed.count(), 0);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.tabRect(1).center());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(bar.currentIndex(), 1);
}

void UnderlineTabBarTest::underlineFollowsResize()
{
    UnderlineTabBar bar;
    bar.addTab(QStringLiteral("概览"));
    bar.addTab(QStringLiteral("删除"), true);
    bar.resize(400, 38);
    QImage image = bar.grab().toImage();
    QCOMPARE(image.pixel(bar.tabRect(0).x() + 1, 36), ThemePalette::color("primary").rgb());
    QCOMPARE(image.pixel(bar.tabRect(0).x() + 1, 37), ThemePalette::color("primary").rgb());
    QCOMPARE(image.pixel(bar.tabRect(0).x() - 1, 37), ThemePalette::color("border").rgb()); // the base line
    QVERIFY(image.pixel(bar.tabRect(0).x() - 1, 36) != ThemePalette::color("primary").rgb());

    bar.setCurrentIndex(1);
    bar.resize(300, 38);
    QCOMPARE(bar.tabRect(1).x() + bar.tabRect(1).width(), 290);
    image = bar.grab().toImage();
    QCOMPARE(image.pixel(289, 36), ThemePalette::color("danger").rgb());
    QCOMPARE(image.pixel(bar.tabRect(1).x(), 36), ThemePalette::color("danger").rgb());
    QVERIFY(image.pixel(bar.tabRect(0).x() + 1, 36) != ThemePalette::color("primary").rgb());
}

KESTOVA_TEST_MAIN(UnderlineTabBarTest)
#include "test_underline_tab_bar.moc"
