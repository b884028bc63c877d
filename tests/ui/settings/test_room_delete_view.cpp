#include "ui/settings/room_delete_view.h"

#include "support/test_main.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace {

// Answers the next message box with a key press; records its title.
void answerNextBox(int key, QString *title)
{
    QTimer::singleShot(0, [key, title] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        *title = box->windowTitle();
        QTest::keyClick(box, Qt::Key(key));
    });
}

} // namespace

class RoomDeleteViewTest : public QObject
{
    Q_OBJECT

private slots:
    void confirmation_data();
    void confirmation();
    void disabledButtonOpensNothing();
    void dialogGoneWhileAsking();
    void channelTexts();
};

void RoomDeleteViewTest::confirmation_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("emitted");
    QTest::newRow("yes") << int(Qt::Key_Y) << 1;
    QTest::newRow("no") << int(Qt::Key_N) << 0;
    QTest::newRow("enter picks the default, no") << int(Qt::Key_Return) << 0;
    QTest::newRow("escape") << int(Qt::Key_Escape) << 0;
}

void RoomDeleteViewTest::confirmation()
{
    QFETCH(int, key);
    QFETCH(int, emitted);
    RoomDeleteView view;
    view.show();
    QSignalSpy requested(&view, &RoomDeleteView::roomDeleteRequested);
    QString title;
    answerNextBox(key, &title);
    QTest::mouseClick(view.confirmButton(), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("删除房间"));
    QCOMPARE(requested.count(), emitted);
    QVERIFY(view.confirmButton()->isEnabled());
    QCOMPARE(view.confirmButton()->text(), QStringLiteral("我确认，删除房间"));
}

void RoomDeleteViewTest::dialogGoneWhileAsking()
{
    // The settings dialog closes for good (the room went away) while the question is open.
    auto *dialog = new QWidget;
    auto *view = new RoomDeleteView(RoomDeleteView::roomTexts(), dialog);
    dialog->show();
    QSignalSpy requested(view, &RoomDeleteView::roomDeleteRequested);
    bool asked = false;
    QTimer::singleShot(0, qApp, [&] {
        asked = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr;
        delete dialog;
    });
    QTest::mouseClick(view->confirmButton(), Qt::LeftButton);
    QVERIFY(asked);
    QCOMPARE(requested.count(), 0);
}

void RoomDeleteViewTest::disabledButtonOpensNothing()
{
    RoomDeleteView view;
    view.show();
    view.confirmButton()->setEnabled(false);
    QSignalSpy requested(&view, &RoomDeleteView::roomDeleteRequested);
    QTest::mouseClick(view.confirmButton(), Qt::LeftButton);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(requested.count(), 0);
}

void RoomDeleteViewTest::channelTexts()
{
    RoomDeleteView view(RoomDeleteView::channelTexts());
    view.show();
    QStringList texts;
    for (QLabel *label : view.findChildren<QLabel *>())
        texts.append(label->text());
    QVERIFY(texts.contains(QStringLiteral("⚠ 删除此频道")));
    QCOMPARE(view.confirmButton()->text(), QStringLiteral("我确认，删除频道"));
    QSignalSpy requested(&view, &RoomDeleteView::roomDeleteRequested);
    QString title;
    answerNextBox(Qt::Key_Y, &title);
    QTest::mouseClick(view.confirmButton(), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("删除频道"));
    QCOMPARE(requested.count(), 1);
}

KESTOVA_TEST_MAIN(RoomDeleteViewTest)
#include "test_room_delete_view.moc"
