#include "ui/widgets/dropdown_menu.h"

#include "theme/theme_palette.h"

#include "support/test_main.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStackedWidget>

namespace {

QList<DropdownMenu::Item> items(int count)
{
    QList<DropdownMenu::Item> list;
    for (int i = 1; i <= count; ++i)
        list.append({i, QStringLiteral("标签 %1").arg(i), true});
    return list;
}

// True when the row draws a check mark: green (primary) pixels near its right end. The
// glyph is antialiased, so the test looks for the hue rather than the exact colour.
bool hasCheckMark(QWidget *row)
{
    const QImage image = row->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = image.width() - 30; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > c.red() + 40 && c.green() > c.blue() + 20)
                return true;
        }
    return false;
}

} // namespace

class DropdownMenuTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void height_data();
    void height();
    void placedUnderTheAnchor();
    void itemClickSelectsAndCloses();
    void marksAndDisabledRows();
    void createRow();
    void closesOnEscapeAndDeactivation();

private:
    QWidget *window = nullptr;
    QPushButton *anchor = nullptr;
};

void DropdownMenuTest::init()
{
    window = new QWidget;
    window->resize(300, 200);
    window->move(100, 100);
    anchor = new QPushButton(QStringLiteral("选择标签"), window);
    anchor->setGeometry(20, 20, 180, 36);
    window->show();
}

void DropdownMenuTest::cleanup()
{
    delete window;
    window = nullptr;
}

void DropdownMenuTest::height_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("createRow");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("empty") << 0 << false << 2 << false;
    QTest::newRow("7 items and create") << 7 << true << 291 << false;
    QTest::newRow("8 items and create") << 8 << true << 322 << true;
    QTest::newRow("9 items and create") << 9 << true << 322 << true;
    QTest::newRow("8 items") << 8 << false << 290 << false;
}

void DropdownMenuTest::height()
{
    QFETCH(int, count);
    QFETCH(bool, createRow);
    QFETCH(int, expected);
    QFETCH(bool, scrolls);
    auto *menu = new DropdownMenu(window);
    menu->setItems(items(count), 0);
    if (createRow)
        menu->setActionRow(QStringLiteral("新建标签"), true, QStringLiteral("标签名"), 10);
    menu->popup(anchor);
    QCOMPARE(menu->height(), expected);
    QCOMPARE(menu->width(), 180);
    QCOMPARE(menu->findChild<QScrollArea *>() != nullptr, scrolls);
    QCOMPARE(menu->itemRows().size(), count);
    menu->close();
}

void DropdownMenuTest::placedUnderTheAnchor()
{
    auto *menu = new DropdownMenu(window);
    menu->setItems(items(2), 0);
    menu->popup(anchor);
    QCOMPARE(menu->pos(), anchor->mapToGlobal(QPoint(0, 36)));
    QVERIFY(menu->isWindow());
    QVERIFY(menu->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(menu->objectName(), QStringLiteral("dropdownMenu"));
    menu->close();
}

void DropdownMenuTest::itemClickSelectsAndCloses()
{
    QPointer<DropdownMenu> menu = new DropdownMenu(window);
    menu->setItems(items(3), 2);
    QSignalSpy selected(menu.data(), &DropdownMenu::itemSelected);
    menu->popup(anchor);
    QTest::mouseClick(menu->itemRows().at(2), Qt::RightButton);
    QCOMPARE(selected.count(), 0);
    QTest::mouseClick(menu->itemRows().at(2), Qt::LeftButton);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).toLongLong(), 3);
    QTRY_VERIFY(menu.isNull());
}

void DropdownMenuTest::marksAndDisabledRows()
{
    QPointer<DropdownMenu> menu = new DropdownMenu(window);
    menu->setItems({{0, QStringLiteral("无标签"), true},
                    {5, QStringLiteral("公告"), true},
                    {6, QStringLiteral("归档"), false}},
                   5);
    QSignalSpy selected(menu.data(), &DropdownMenu::itemSelected);
    menu->popup(anchor);
    QVERIFY(!hasCheckMark(menu->itemRows().at(0)));
    QVERIFY(hasCheckMark(menu->itemRows().at(1)));
    QVERIFY(!hasCheckMark(menu->itemRows().at(2)));
    QTest::mouseClick(menu->itemRows().at(2), Qt::LeftButton);
    QCOMPARE(selected.count(), 0);
    QVERIFY(menu->isVisible());
    menu->close();

    // Selected id 0 marks nothing, even a row whose id is 0.
    menu = new DropdownMenu(window);
    menu->setItems({{0, QStringLiteral("无标签"), true}}, 0);
    menu->popup(anchor);
    QVERIFY(!hasCheckMark(menu->itemRows().at(0)));
    menu->close();
}

void DropdownMenuTest::createRow()
{
    QPointer<DropdownMenu> menu = new DropdownMenu(window);
    menu->setItems(items(1), 0);
    menu->setActionRow(QStringLiteral("新建标签"), true, QStringLiteral("标签名"), 6);
    QSignalSpy submitted(menu.data(), &DropdownMenu::actionSubmitted);
    menu->popup(anchor);
    QStackedWidget *stack = menu->actionStackWidget();
    QLineEdit *edit = menu->actionLineEdit();
    QVERIFY(stack && edit);
    QCOMPARE(stack->currentIndex(), 0);
    QCOMPARE(edit->placeholderText(), QStringLiteral("标签名"));

    QTest::mouseClick(stack->widget(0), Qt::LeftButton);
    QCOMPARE(stack->currentIndex(), 1);

    QTest::keyClicks(edit, QStringLiteral("   "));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(submitted.count(), 0);
    QVERIFY(menu);

    QTest::keyClick(edit, Qt::Key_Escape); // back to page 0, still open
    QCOMPARE(stack->currentIndex(), 0);
    QVERIFY(menu && menu->isVisible());

    QTest::mouseClick(stack->widget(0), Qt::LeftButton);
    edit->clear();
    edit->insert(QStringLiteral(" 一二三四五六七八"));
    QCOMPARE(edit->text(), QStringLiteral(" 一二三四五")); // cut at the maximum length
    QPushButton *confirm = stack->widget(1)->findChild<QPushButton *>();
    QVERIFY(confirm);
    QCOMPARE(confirm->text(), QStringLiteral("确认"));
    QCOMPARE(confirm->size(), QSize(48, 36));
    QTest::mouseClick(confirm, Qt::LeftButton);
    QCOMPARE(submitted.count(), 1);
    QCOMPARE(submitted.at(0).at(0).toString(), QStringLiteral("一二三四五"));
    QTRY_VERIFY(menu.isNull());
}

void DropdownMenuTest::closesOnEscapeAndDeactivation()
{
    QPointer<DropdownMenu> menu = new DropdownMenu(window);
    menu->setItems(items(2), 0);
    menu->popup(anchor);
    QTest::keyClick(menu.data(), Qt::Key_Escape);
    QTRY_VERIFY(menu.isNull());

    menu = new DropdownMenu(window);
    menu->setItems(items(2), 0);
    menu->popup(anchor);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(menu.data(), &deactivate);
    QTRY_VERIFY(menu.isNull());
}

KESTOVA_TEST_MAIN(DropdownMenuTest)
#include "test_dropdown_menu.moc"
