#include "ui/dialogs/pref_candidate_dialog.h"

#include "support/test_main.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

namespace {

QStringList labelTexts(QWidget *widget)
{
    QStringList texts;
    if (widget == nullptr)
        return texts;
    if (auto *label = qobject_cast<QLabel *>(widget))
        texts << label->text();
    for (QLabel *label : widget->findChildren<QLabel *>())
        texts << label->text();
    return texts;
}

PrefCandidateRoom room(const QString &id, const QString &name, bool direct, const QStringList &names)
{
    return PrefCandidateRoom{id, name, direct, names};
}

QRect itemRect(QListWidget *list, int row)
{
    return list->visualItemRect(list->item(row));
}

} // namespace

class TestPrefCandidateDialog : public QObject
{
    Q_OBJECT

private slots:
    void frameAndHeader();
    void emptyResultShowsTheNoRoomRowAndThePlaceholder();
    void roomsKeepTheGivenOrderWithTheirBadges();
    void onlyRoomRowsCanBeChosen();
    void connectAndDoubleClickJoinOnce();
    void createAndCancel();
};

void TestPrefCandidateDialog::frameAndHeader()
{
    PrefCandidateDialog dialog;
    QCOMPARE(dialog.windowTitle(), QString("偏好连接"));
    QCOMPARE(dialog.minimumSize(), QSize(440, 480));
    QVERIFY(!dialog.connectButton()->isEnabled());
    QCOMPARE(dialog.connectButton()->property("variant").toString(), QString("primary"));
    dialog.setCandidates("G", 5, {}, {});
    QCOMPARE(dialog.hintLabel()->text(), QString("G · 5 人"));
}

void TestPrefCandidateDialog::emptyResultShowsTheNoRoomRowAndThePlaceholder()
{
    PrefCandidateDialog dialog;
    dialog.setCandidates("G", 0, {}, {});
    QListWidget *list = dialog.roomList();
    QCOMPARE(list->count(), 3);
    QVERIFY(labelTexts(list->itemWidget(list->item(0))).contains("未加入房间"));
    QVERIFY(labelTexts(list->itemWidget(list->item(0))).contains("无"));
    QCOMPARE(labelTexts(list->itemWidget(list->item(2))), QStringList{"没有成员在房间中"});
    for (int i = 0; i < list->count(); ++i)
        QCOMPARE(list->item(i)->data(PrefCandidateDialog::RoomIdRole).toString(), QString());
    QVERIFY(!dialog.connectButton()->isEnabled());

    // A second call replaces the content.
    dialog.setCandidates("G", 2, {"Ann", "Bob"}, {room("r1", "One", true, {"Cy"})});
    QCOMPARE(list->count(), 3);
    QVERIFY(labelTexts(list->itemWidget(list->item(0))).contains("Ann、Bob"));
}

void TestPrefCandidateDialog::roomsKeepTheGivenOrderWithTheirBadges()
{
    PrefCandidateDialog dialog;
    dialog.setCandidates("G", 3, {},
                         {room("C", "Cave", true, {"a", "b"}), room("A", QString(), false, {"c"}),
                          room("B", "Bay", false, {})});
    QListWidget *list = dialog.roomList();
    QCOMPARE(list->count(), 5);
    QStringList ids;
    for (int i = 2; i < 5; ++i)
        ids << list->item(i)->data(PrefCandidateDialog::RoomIdRole).toString();
    QCOMPARE(ids, QStringList({"C", "A", "B"}));
    const QStringList cave = labelTexts(list->itemWidget(list->item(2)));
    QVERIFY(cave.contains("Cave"));
    QVERIFY(cave.contains("可直入"));
    QVERIFY(cave.contains("a、b"));
    QWidget *unknownRow = list->itemWidget(list->item(3));
    QVERIFY(labelTexts(unknownRow).contains("需申请"));
    bool secondary = false;
    for (QLabel *label : unknownRow->findChildren<QLabel *>())
        secondary = secondary || (label->text() == "（陌生房间）" && label->property("role") == "secondary");
    QVERIFY(secondary);
}

void TestPrefCandidateDialog::onlyRoomRowsCanBeChosen()
{
    PrefCandidateDialog dialog;
    dialog.setCandidates("G", 1, {"Ann"}, {});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QListWidget *list = dialog.roomList();
    QSignalSpy joins(&dialog, &PrefCandidateDialog::joinRequested);
    for (int row = 0; row < list->count(); ++row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, itemRect(list, row).center());
        emit list->itemDoubleClicked(list->item(row));
        QVERIFY(!dialog.connectButton()->isEnabled());
    }
    dialog.connectButton()->setEnabled(true); // even forced, an empty id is never sent
    dialog.connectButton()->click();
    QCOMPARE(joins.size(), 0);
}

void TestPrefCandidateDialog::connectAndDoubleClickJoinOnce()
{
    PrefCandidateDialog dialog;
    dialog.setCandidates("G", 2, {}, {room("r1", "One", true, {"a"}), room("r2", "Two", false, {"b"})});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QListWidget *list = dialog.roomList();
    QSignalSpy joins(&dialog, &PrefCandidateDialog::joinRequested);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, itemRect(list, 3).center());
    QVERIFY(dialog.connectButton()->isEnabled());
    dialog.connectButton()->click();
    QCOMPARE(joins.size(), 1);
    QCOMPARE(joins.at(0).at(0).toString(), QString("r2"));
    emit list->itemDoubleClicked(list->item(2));
    QCOMPARE(joins.size(), 2);
    QCOMPARE(joins.at(1).at(0).toString(), QString("r1"));
    QVERIFY(dialog.isVisible()); // joining does not close the dialog by itself
}

void TestPrefCandidateDialog::createAndCancel()
{
    PrefCandidateDialog dialog;
    dialog.setCandidates("G", 0, {}, {});
    dialog.show();
    QSignalSpy creates(&dialog, &PrefCandidateDialog::createRoomRequested);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.createButton()->click();
    QCOMPARE(creates.size(), 1);
    QVERIFY(dialog.isVisible());
    dialog.cancelButton()->click();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
}

KESTOVA_TEST_MAIN(TestPrefCandidateDialog)
#include "test_pref_candidate_dialog.moc"
