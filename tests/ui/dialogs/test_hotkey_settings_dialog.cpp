#include "ui/dialogs/hotkey_settings_dialog.h"

#include "support/test_main.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

class HotkeySettingsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void captureAKey_data();
    void captureAKey();
    void modifiersAloneThenEscape();
    void switchingRows();
    void conflictKeepsTheOldBinding();
    void escapeClosesOnlyWhenIdle();
    void closingEndsTheCapture();

private:
    HotkeySettingsDialog *dialog = nullptr;
};

void HotkeySettingsDialogTest::init()
{
    dialog = new HotkeySettingsDialog;
    dialog->setBinding(HotkeyAction::PushToTalk, QKeySequence(Qt::Key_F5));
    dialog->setBinding(HotkeyAction::Broadcast, QKeySequence(Qt::Key_B));
    dialog->show();
}

void HotkeySettingsDialogTest::cleanup()
{
    delete dialog;
    dialog = nullptr;
}

void HotkeySettingsDialogTest::captureAKey_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("bound");
    QTest::newRow("letter") << int(Qt::Key_A) << int(Qt::NoModifier) << "A";
    QTest::newRow("shift and a letter") << int(Qt::Key_A) << int(Qt::ShiftModifier) << "A";
    QTest::newRow("ctrl and a function key") << int(Qt::Key_F6) << int(Qt::ControlModifier) << "F6";
    QTest::newRow("space") << int(Qt::Key_Space) << int(Qt::NoModifier) << "Space";
    QTest::newRow("enter") << int(Qt::Key_Return) << int(Qt::NoModifier) << "Return";
    QTest::newRow("digit") << int(Qt::Key_7) << int(Qt::NoModifier) << "7";
}

void HotkeySettingsDialogTest::captureAKey()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, bound);
    QSignalSpy requested(dialog, &HotkeySettingsDialog::bindingChangeRequested);
    dialog->rowButton(HotkeyAction::PushToTalk)->click();
    QVERIFY(dialog->isCapturing());
    QCOMPARE(dialog->rowButton(HotkeyAction::PushToTalk)->text(), QStringLiteral("按任意键…"));
    QCOMPARE(dialog->statusLine()->text(), QStringLiteral("按要绑定的键，Esc 取消"));
    QTest::keyClick(dialog, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY(!dialog->isCapturing());
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.at(0).at(0).value<HotkeyAction>(), HotkeyAction::PushToTalk);
    const QKeySequence sequence = requested.at(0).at(1).value<QKeySequence>();
    QCOMPARE(sequence.count(), 1);
    QCOMPARE(sequence.toString(QKeySequence::PortableText), bound);
    // Until the service answers, the row shows its old binding.
    QCOMPARE(dialog->rowButton(HotkeyAction::PushToTalk)->text(), QStringLiteral("F5"));
    QVERIFY(dialog->statusLine()->text().isEmpty());
    dialog->setBinding(HotkeyAction::PushToTalk, sequence);
    QCOMPARE(dialog->rowButton(HotkeyAction::PushToTalk)->text(), bound);
}

void HotkeySettingsDialogTest::modifiersAloneThenEscape()
{
    QSignalSpy requested(dialog, &HotkeySettingsDialog::bindingChangeRequested);
    dialog->rowButton(HotkeyAction::Broadcast)->click();
    QTest::keyClick(dialog, Qt::Key_Control);
    QTest::keyClick(dialog, Qt::Key_Shift);
    QTest::keyClick(dialog, Qt::Key_Alt);
    QVERIFY(dialog->isCapturing());
    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(!dialog->isCapturing());
    QVERIFY(dialog->isVisible());
    QCOMPARE(requested.count(), 0);
    QCOMPARE(dialog->rowButton(HotkeyAction::Broadcast)->text(), QStringLiteral("B"));
}

void HotkeySettingsDialogTest::switchingRows()
{
    dialog->rowButton(HotkeyAction::PushToTalk)->click();
    dialog->rowButton(HotkeyAction::Broadcast)->click();
    QCOMPARE(dialog->rowButton(HotkeyAction::PushToTalk)->text(), QStringLiteral("F5"));
    QCOMPARE(dialog->rowButton(HotkeyAction::Broadcast)->text(), QStringLiteral("按任意键…"));
    QVERIFY(dialog->isCapturing());
}

void HotkeySettingsDialogTest::conflictKeepsTheOldBinding()
{
    dialog->rowButton(HotkeyAction::PushToTalk)->click();
    QTest::keyClick(dialog, Qt::Key_B);
    dialog->showConflict(HotkeyAction::PushToTalk);
    QCOMPARE(dialog->statusLine()->text(), QStringLiteral("该键已绑定其他动作"));
    QCOMPARE(dialog->statusLine()->property("role").toString(), QStringLiteral("error"));
    QCOMPARE(dialog->rowButton(HotkeyAction::PushToTalk)->text(), QStringLiteral("F5"));

    // A conflict reported while that row is still capturing ends the capture.
    dialog->rowButton(HotkeyAction::Broadcast)->click();
    dialog->showConflict(HotkeyAction::Broadcast);
    QVERIFY(!dialog->isCapturing());
    QCOMPARE(dialog->rowButton(HotkeyAction::Broadcast)->text(), QStringLiteral("B"));
}

void HotkeySettingsDialogTest::escapeClosesOnlyWhenIdle()
{
    dialog->rowButton(HotkeyAction::PushToTalk)->click();
    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(dialog->isVisible());
    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
}

void HotkeySettingsDialogTest::closingEndsTheCapture()
{
    dialog->rowButton(HotkeyAction::Broadcast)->click();
    QCOMPARE(QWidget::keyboardGrabber(), dialog);
    dialog->close();
    QVERIFY(!dialog->isCapturing());
    QVERIFY(QWidget::keyboardGrabber() != dialog);
}

KESTOVA_TEST_MAIN(HotkeySettingsDialogTest)
#include "test_hotkey_settings_dialog.moc"
