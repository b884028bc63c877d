#include "ui/widgets/emoji_picker.h"

#include "support/test_main.h"

#include <QGridLayout>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>

class EmojiPickerTest : public QObject
{
    Q_OBJECT

private slots:
    void table();
    void gridAndPlacement();
    void pickingClosesThePicker();
};

void EmojiPickerTest::table()
{
    const QStringList &emoji = EmojiPicker::emojiTable();
    QCOMPARE(emoji.size(), 160);
    QCOMPARE(emoji.first(), QString::fromUtf8("😀"));
    QCOMPARE(emoji.last(), QString::fromUtf8("💤"));
    const QChar selector(0xFE0F);
    QStringList withSelector;
    for (const QString &e : emoji)
        if (e.contains(selector))
            withSelector.append(e);
    const QStringList expected{QString::fromUtf8("✌\xef\xb8\x8f"), QString::fromUtf8("☝\xef\xb8\x8f"),
                               QString::fromUtf8("❤\xef\xb8\x8f"), QString::fromUtf8("❣\xef\xb8\x8f"),
                               QString::fromUtf8("☀\xef\xb8\x8f")};
    QCOMPARE(withSelector, expected);
    QCOMPARE(QSet<QString>(emoji.begin(), emoji.end()).size(), 160);
}

void EmojiPickerTest::gridAndPlacement()
{
    QWidget window;
    window.setGeometry(100, 400, 400, 200);
    auto *anchor = new QPushButton(QStringLiteral("☺"), &window);
    anchor->setGeometry(340, 150, 30, 30);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QPoint corner = anchor->mapToGlobal(QPoint(30, 0));
    auto *picker = new EmojiPicker(&window);
    picker->showAbove(anchor);
    QCOMPARE(picker->size(), QSize(296, 288));
    // The offscreen platform may offset a new top-level window by its 2 px frame margin.
    const QPoint offset = picker->pos() - (corner - QPoint(296, 288));
    QVERIFY2(offset.x() >= 0 && offset.x() <= 2 && offset.y() >= 0 && offset.y() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
    QVERIFY(picker->windowFlags().testFlag(Qt::Popup));

    auto *grid = picker->findChild<QGridLayout *>();
    QVERIFY(grid);
    QCOMPARE(grid->count(), 160);
    QCOMPARE(grid->rowCount(), 20);
    QCOMPARE(grid->columnCount(), 8);
    auto *ninth = qobject_cast<QPushButton *>(grid->itemAtPosition(1, 0)->widget());
    QCOMPARE(ninth->text(), EmojiPicker::emojiTable().at(8));
    QCOMPARE(ninth->size(), QSize(34, 34));
    QCOMPARE(ninth->focusPolicy(), Qt::NoFocus);

    // 20 rows of 34 px do not fit in 288 px: the grid scrolls.
    auto *scroll = picker->findChild<QScrollArea *>();
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    picker->close();
}

void EmojiPickerTest::pickingClosesThePicker()
{
    QWidget window;
    window.show();
    QPointer<EmojiPicker> picker = new EmojiPicker(&window);
    QSignalSpy picked(picker.data(), &EmojiPicker::emojiPicked);
    picker->showAbove(&window);
    auto *grid = picker->findChild<QGridLayout *>();
    auto *button = qobject_cast<QPushButton *>(grid->itemAtPosition(12, 1)->widget()); // entry 97
    button->click();
    QCOMPARE(picked.count(), 1);
    QCOMPARE(picked.at(0).at(0).toString(), EmojiPicker::emojiTable().at(97));
    QTRY_VERIFY(picker.isNull());
}

KESTOVA_TEST_MAIN(EmojiPickerTest)
#include "test_emoji_picker.moc"
