#include "ui/connect/config_window.h"

#include "support/test_main.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

class ConfigWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void selectingByClick();
    void windowGoneWhileAskingToDelete();
    void placeholderWithoutNoneRow();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void renameCommits_data();
    void renameCommits();
    void escapeCancelsThenCloses();
    void renameOfAnotherRowCancelsTheFirst();
    void longNameIsElided();
    void addSelectsTheNewIndex();
    void setItemsKeepsOrDropsSelection();

private:
    void clickRow(int index) { QTest::mouseClick(window->rowAt(index), Qt::LeftButton, {}, QPoint(20, 10)); }
    QPushButton *actionButton(int index, int which) const
    {
        return window->actionsAt(index)->findChildren<QPushButton *>().at(which);
    }
    // Answers the next question box with the given button once it is open (checked on
    // every 0 ms turn until it appears).
    void answerQuestionWith(QMessageBox::StandardButton answer)
    {
        QTimer::singleShot(0, this, [this, answer] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) {
                answerQuestionWith(answer);
                return;
            }
            questionTitle = box->windowTitle();
            questionHadDefault = box->defaultButton() != nullptr;
            box->button(answer)->click();
        });
    }

    QString questionTitle;
    bool questionHadDefault = true;

    ConfigWindow *window = nullptr;
};

void ConfigWindowTest::init()
{
    questionTitle.clear();
    questionHadDefault = true;
    window = new ConfigWindow(QStringLiteral("建房配置"), QStringLiteral("＋ 添加新配置"));
    window->setItems({QStringLiteral("A"), QStringLiteral("B")});
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void ConfigWindowTest::cleanup()
{
    delete window;
    window = nullptr;
}

void ConfigWindowTest::selectingByClick()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("建房配置"));
    QVERIFY(window->isModal());
    QCOMPARE(window->rowAt(-1)->findChild<QLabel *>()->text(), QStringLiteral("默认"));
    QCOMPARE(window->nameLabelAt(0)->text(), QStringLiteral("A"));
    QCOMPARE(window->nameLabelAt(1)->text(), QStringLiteral("B"));
    QSignalSpy selected(window, &ConfigWindow::itemSelected);
    clickRow(0);
    QCOMPARE(selected.count(), 0); // deferred
    QTRY_COMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).toInt(), 0);
    QCOMPARE(window->currentIndex(), 0);
    clickRow(-1);
    QTRY_COMPARE(selected.count(), 2);
    QCOMPARE(selected.at(1).at(0).toInt(), -1);
    clickRow(-1);
    QTest::qWait(0);
    QCoreApplication::processEvents();
    QCOMPARE(selected.count(), 2);
    // A right press selects nothing.
    QTest::mouseClick(window->rowAt(1), Qt::RightButton, {}, QPoint(20, 10));
    QCoreApplication::processEvents();
    QCOMPARE(selected.count(), 2);
}

void ConfigWindowTest::placeholderWithoutNoneRow()
{
    auto *detail = new QLabel(QStringLiteral("detail"));
    window->setDetailWidget(detail);
    QSignalSpy selected(window, &ConfigWindow::itemSelected);
    window->setItems({});
    window->setAllowNone(false);
    QCOMPARE(selected.count(), 1);
    window->setPlaceholderText(QStringLiteral("左侧添加新配置以加入成员"));
    QVERIFY(window->rowAt(-1) == nullptr);
    QVERIFY(window->placeholder()->isVisible());
    QCOMPARE(window->placeholder()->property("role").toString(), QStringLiteral("placeholder"));
    QVERIFY(detail->isHidden());
    window->setItems({QStringLiteral("组一")});
    QVERIFY(window->placeholder()->isHidden());
    QVERIFY(detail->isVisible());
    QCOMPARE(detail->parent(), window);
}

void ConfigWindowTest::deleteAsksFirst_data()
{
    QTest::addColumn<bool>("allowNone");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("selected, none row allowed") << true << 1 << 1 << true << -1;
    QTest::newRow("selected, no none row") << false << 1 << 1 << true << 0;
    QTest::newRow("above the selection") << true << 2 << 0 << true << 1;
    QTest::newRow("below the selection") << true << 0 << 2 << true << 0;
    QTest::newRow("answered no") << true << 1 << 1 << false << 1;
}

void ConfigWindowTest::windowGoneWhileAskingToDelete()
{
    // Owned by a main window that goes away (a sign-out) while the question is open.
    auto *owner = new QWidget;
    auto *inner = new ConfigWindow(QStringLiteral("偏好组"), QStringLiteral("＋ 添加新配置"), owner);
    inner->setItems({QStringLiteral("A"), QStringLiteral("B")});
    owner->show();
    inner->show();
    QSignalSpy deleteRequested(inner, &ConfigWindow::itemDeleteRequested);
    bool asked = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            return;
        poll.stop();
        asked = true;
        delete owner;
    });
    poll.start(0);
    QPushButton *remove = inner->actionsAt(1)->findChildren<QPushButton *>().at(1);
    QCOMPARE(remove->text(), QStringLiteral("删除"));
    remove->click();
    QTRY_VERIFY(asked);
    QCOMPARE(deleteRequested.count(), 0);
}

void ConfigWindowTest::deleteAsksFirst()
{
    QFETCH(bool, allowNone);
    QFETCH(int, selected);
    QFETCH(int, deleted);
    QFETCH(bool, yes);
    QFETCH(int, selectedAfter);
    window->setItems({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    window->setAllowNone(allowNone);
    window->setCurrentIndex(selected);
    QSignalSpy deleteRequested(window, &ConfigWindow::itemDeleteRequested);
    int indexWhenAsked = -2;
    connect(window, &ConfigWindow::itemDeleteRequested, this, [&] { indexWhenAsked = window->currentIndex(); });
    answerQuestionWith(yes ? QMessageBox::Yes : QMessageBox::No);
    actionButton(deleted, 1)->click();
    QCOMPARE(actionButton(deleted, 1)->text(), QStringLiteral("删除"));
    QTRY_COMPARE(questionTitle, QStringLiteral("确认"));
    QVERIFY(!questionHadDefault);
    QTRY_COMPARE(QApplication::activeModalWidget(), window);
    QCoreApplication::processEvents();
    QCOMPARE(deleteRequested.count(), yes ? 1 : 0);
    if (yes) {
        QCOMPARE(deleteRequested.at(0).at(0).toInt(), deleted);
        QCOMPARE(indexWhenAsked, selectedAfter);
    }
    QCOMPARE(window->currentIndex(), selectedAfter);
}

void ConfigWindowTest::renameCommits_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("expected"); // empty: nothing emitted
    QTest::newRow("enter") << "C"
                           << "enter"
                           << "C";
    QTest::newRow("enter trims") << "  C  "
                                 << "enter"
                                 << "C";
    QTest::newRow("focus loss") << "D"
                                << "focus"
                                << "D";
    QTest::newRow("click elsewhere") << "E"
                                     << "click"
                                     << "E";
    QTest::newRow("same name with spaces") << " A "
                                           << "enter"
                                           << "";
    QTest::newRow("blank") << "   "
                           << "enter"
                           << "";
    QTest::newRow("escape") << "F"
                            << "escape"
                            << "";
}

void ConfigWindowTest::renameCommits()
{
    QFETCH(QString, typed);
    QFETCH(QString, how);
    QFETCH(QString, expected);
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QSignalSpy renamed(window, &ConfigWindow::itemRenameRequested);
    actionButton(0, 0)->click();
    QCOMPARE(window->renamingIndex(), 0);
    QLineEdit *editor = window->editorAt(0);
    QVERIFY(editor->isVisible());
    QVERIFY(window->nameLabelAt(0)->isHidden());
    QCOMPARE(editor->text(), QStringLiteral("A"));
    QCOMPARE(editor->selectedText(), QStringLiteral("A"));
    QTRY_VERIFY(editor->hasFocus());
    editor->selectAll();
    QTest::keyClicks(editor, typed);
    if (how == QLatin1String("enter"))
        QTest::keyClick(editor, Qt::Key_Return);
    else if (how == QLatin1String("focus"))
        window->addItemButton()->setFocus(Qt::OtherFocusReason);
    else if (how == QLatin1String("click"))
        QTest::mouseClick(window->rowAt(1), Qt::LeftButton, {}, QPoint(20, 10));
    else
        QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_COMPARE(window->renamingIndex(), -1);
    QCoreApplication::processEvents();
    if (expected.isEmpty()) {
        QCOMPARE(renamed.count(), 0);
        QVERIFY(window->nameLabelAt(0)->isVisible());
        QVERIFY(editor->isHidden());
    } else {
        QCOMPARE(renamed.count(), 1);
        QCOMPARE(renamed.at(0).at(0).toInt(), 0);
        QCOMPARE(renamed.at(0).at(1).toString(), expected);
    }
    QVERIFY(window->isVisible());
}

void ConfigWindowTest::escapeCancelsThenCloses()
{
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QSignalSpy rejected(window, &QDialog::rejected);
    actionButton(1, 0)->click();
    QTRY_VERIFY(window->editorAt(1)->hasFocus());
    QTest::keyClick(window->editorAt(1), Qt::Key_Escape);
    QCOMPARE(window->renamingIndex(), -1);
    QVERIFY(window->isVisible());
    QCOMPARE(rejected.count(), 0);
    QTest::keyClick(window, Qt::Key_Escape);
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!window->isVisible());
}

void ConfigWindowTest::renameOfAnotherRowCancelsTheFirst()
{
    QSignalSpy renamed(window, &ConfigWindow::itemRenameRequested);
    actionButton(0, 0)->click();
    window->editorAt(0)->setText(QStringLiteral("Z"));
    window->setFocus();
    // The press on the other row's button may schedule a commit of the first rename;
    // the second rename replaces it first, so nothing is committed.
    actionButton(1, 0)->click();
    QCOMPARE(window->renamingIndex(), 1);
    QVERIFY(window->nameLabelAt(0)->isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(window->renamingIndex(), 1);
    QCOMPARE(renamed.count(), 0);
}

void ConfigWindowTest::longNameIsElided()
{
    const QString name = QStringLiteral("一个非常非常非常非常长的配置名称");
    window->setItems({name});
    QLabel *label = window->nameLabelAt(0);
    QVERIFY(label->text().endsWith(QStringLiteral("…")));
    QVERIFY(label->text() != name);
    QCOMPARE(label->toolTip(), name);
}

void ConfigWindowTest::addSelectsTheNewIndex()
{
    QSignalSpy added(window, &ConfigWindow::itemAddRequested);
    QSignalSpy selected(window, &ConfigWindow::itemSelected);
    window->addItemButton()->click();
    QCOMPARE(added.count(), 1);
    QCOMPARE(window->currentIndex(), 2);
    window->setItems({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("新配置")});
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).toInt(), 2);
}

void ConfigWindowTest::setItemsKeepsOrDropsSelection()
{
    window->setCurrentIndex(1);
    QSignalSpy selected(window, &ConfigWindow::itemSelected);
    window->setItems({QStringLiteral("A"), QStringLiteral("B2")});
    QCOMPARE(window->currentIndex(), 1);
    window->setItems({QStringLiteral("A")});
    QCOMPARE(window->currentIndex(), -1);
    window->setCurrentIndex(7);
    QCOMPARE(window->currentIndex(), -1);
    QCOMPARE(selected.count(), 3);
    QCOMPARE(selected.at(2).at(0).toInt(), -1);
}

KESTOVA_TEST_MAIN(ConfigWindowTest)
#include "test_config_window.moc"
