#include "chat_feed_test_util.h"

#include "ui/chat/tag_archive_dialog.h"

#include "support/test_main.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>

using namespace chattest;
using Message = ChatFeedView::Message;

namespace {

ChatFeedView::TagInfo fullTag(qint64 id, const QString &name, qint64 count, qint64 unread, const QString &sender,
                              const QString &content, bool hidden = false, const QString &title = {})
{
    ChatFeedView::TagInfo info = tag(id, name, QStringLiteral("creator"), QStringLiteral("first-%1").arg(id), count);
    info.unreadCount = unread;
    info.firstSenderName = sender;
    info.firstContent = content;
    info.firstHidden = hidden;
    info.firstTitle = title;
    info.lastSeq = id * 100;
    return info;
}

QStringList cardTexts(const ChatFeedView &view, int index)
{
    QStringList out;
    QWidget *card = view.forumCardLayout()->itemAt(index)->widget();
    for (QLabel *label : card->findChildren<QLabel *>())
        out << label->text();
    return out;
}

QList<Message> threadPage(qint64 firstSeq, int count, qint64 tagId)
{
    QList<Message> out;
    for (int i = 0; i < count; ++i)
        out << message(QStringLiteral("t%1").arg(firstSeq + i), firstSeq + i, QStringLiteral("u%1").arg(i % 2), 0,
                       tagId);
    return out;
}

QStringList menuTexts(QMenu *menu)
{
    QStringList out;
    for (QAction *action : menu->actions())
        out << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
    return out;
}

} // namespace

class ChatFeedForumTest : public QObject
{
    Q_OBJECT
private slots:
    void cardsShowCountsAndPreviews()
    {
        ChatFeedView view;
        view.setTags(true, {fullTag(1, "news", 10, 3, "Alice", "hello", false, "Welcome"),
                            fullTag(2, "gone", 10, 10, "Bob", "secret", true, "Hidden title"),
                            fullTag(3, "empty", 0, 0, "", ""),
                            fullTag(4, "long", 5, 0, "Carl", QString(41, QLatin1Char('x')))});
        QCOMPARE(view.forumCardLayout()->count(), 5); // four cards and the stretch
        const QStringList first = cardTexts(view, 0);
        QVERIFY(first.at(0).contains(QStringLiteral("<b style=\"font-size:15px;\">Welcome</b>")));
        QCOMPARE(first.mid(1), QStringList({"Alice：hello", "最后打开：7条", "总共消息：10条"}));
        const QStringList second = cardTexts(view, 1);
        QVERIFY(second.at(0).contains(QStringLiteral(">gone</b>")));
        QCOMPARE(second.mid(1), QStringList({"Bob：（消息被隐藏）", "最后打开：无", "总共消息：10条"}));
        QCOMPARE(cardTexts(view, 2).at(1), QStringLiteral("还没有消息"));
        QCOMPARE(cardTexts(view, 3).at(1),
                 QStringLiteral("Carl：") + QString(40, QLatin1Char('x')) + QStringLiteral("…"));
    }

    void openingAThreadFromTheFlatPage()
    {
        ChatFeedView view;
        view.setTags(true, {fullTag(5, "five", 3, 0, "A", "x")});
        QStringList order;
        connect(&view, &ChatFeedView::forumModeChanged, this,
                [&](bool on) { order << QStringLiteral("forum:%1").arg(on); });
        connect(&view, &ChatFeedView::tagOpened, this,
                [&](qlonglong id, qlonglong seq) { order << QStringLiteral("opened:%1:%2").arg(id).arg(seq); });
        connect(&view, &ChatFeedView::loadTagHistoryRequested, this,
                [&](qlonglong id, qlonglong after) { order << QStringLiteral("load:%1:%2").arg(id).arg(after); });
        view.openThread(5);
        QCOMPARE(order, QStringList({"forum:1", "opened:5:500", "load:5:0"}));
        QVERIFY(view.isForumMode());
        QCOMPARE(view.forumPages()->currentIndex(), 1);
        QCOMPARE(view.threadTitleLabel()->text(), QStringLiteral("five"));
        view.openThread(0);
        QCOMPARE(order.size(), 3);
    }

    void threadPagesLiveMessagesAndCatchingUp()
    {
        ChatFeedView view;
        QSignalSpy loads(&view, &ChatFeedView::loadTagHistoryRequested);
        view.resize(480, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setTags(true, {fullTag(7, "seven", 80, 0, "A", "x")});
        view.openThread(7);
        QCOMPARE(loads.size(), 1);

        view.setTagHistory(8, 0, threadPage(1, 3, 8)); // another tag: dropped
        QVERIFY(view.threadPageEntries().isEmpty());
        view.setTagHistory(7, 0, threadPage(1, 50, 7));
        QCOMPARE(view.threadPageEntries().size(), 50);
        QVERIFY(!view.isThreadCaughtUp());

        // Not caught up: a live message of the tag waits for its page.
        view.appendMessage(message("live1", 200, "u9", 0, 7));
        QCOMPARE(view.threadPageEntries().size(), 50);

        QScrollBar *bar = view.threadScrollArea()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum());
        QCOMPARE(loads.size(), 2);
        QCOMPARE(loads.at(1), QVariantList({qlonglong(7), qlonglong(50)}));
        bar->setValue(bar->maximum() - 1);
        bar->setValue(bar->maximum()); // the page is still outstanding
        QCOMPARE(loads.size(), 2);

        view.setTagHistory(7, 50, {});
        QVERIFY(view.isThreadCaughtUp());
        view.appendMessage(message("live2", 201, "u9", 0, 7));
        view.appendMessage(message("live3", 202, "u9", 0, 8)); // other tag
        QCOMPARE(view.threadPageEntries().size(), 51);
        QCOMPARE(view.threadPageEntries().last().message.id, QStringLiteral("live2"));
        QVERIFY(!view.threadPageEntries().last().row->tagChipLabel()->isVisible());
    }

    void threadSendKeepsTextUntilAccepted()
    {
        ChatFeedView view;
        QSignalSpy sent(&view, &ChatFeedView::sendRequested);
        view.setTags(true, {fullTag(7, "seven", 1, 0, "A", "x")});
        view.openThread(7);
        QLineEdit *line = view.threadInputLine();
        line->setText(QStringLiteral("   "));
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(sent.size(), 0);
        QCOMPARE(line->text(), QStringLiteral("   "));
        line->setText(QStringLiteral(" reply "));
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(sent.at(0), QVariantList({QStringLiteral("reply"), qlonglong(7), QString()}));
        QCOMPARE(line->text(), QStringLiteral(" reply "));
        view.sendFailed();
        QVERIFY(!line->isReadOnly());
        QTest::keyClick(line, Qt::Key_Return);
        view.sendAccepted();
        QCOMPARE(line->text(), QString());
        QCOMPARE(sent.size(), 2);
    }

    void tagListChangesReachTheOpenThread()
    {
        ChatFeedView view;
        view.setTags(true, {fullTag(7, "seven", 1, 0, "A", "x"), fullTag(8, "eight", 1, 0, "A", "x")});
        view.openThread(7);
        view.setTags(true, {fullTag(7, "renamed", 1, 0, "A", "x"), fullTag(8, "eight", 1, 0, "A", "x")});
        QCOMPARE(view.threadTitleLabel()->text(), QStringLiteral("renamed"));
        QCOMPARE(view.openThreadTag(), 7);
        view.setTags(true, {fullTag(8, "eight", 1, 0, "A", "x")});
        QCOMPARE(view.openThreadTag(), 0);
        QCOMPARE(view.forumPages()->currentIndex(), 0);

        view.openThread(8);
        view.clearFeed();
        QCOMPARE(view.openThreadTag(), 0);
        QCOMPARE(view.forumPages()->currentIndex(), 0);
        QVERIFY(view.isForumMode());
    }

    void tagMenus()
    {
        ChatFeedView view;
        view.setTags(true, {fullTag(7, "seven", 1, 0, "A", "x")});
        std::unique_ptr<QMenu> card(view.buildTagMenu(7, false));
        QCOMPARE(menuTexts(card.get()), QStringList({"重命名标签 (off)", "删除标签 (off)"}));
        view.setCanEditTag([](const QString &createdBy) { return createdBy == QStringLiteral("creator"); });
        std::unique_ptr<QMenu> chip(view.buildTagMenu(7, true));
        QCOMPARE(menuTexts(chip.get()), QStringList({"打开帖子视图", "重命名标签", "删除标签"}));
        std::unique_ptr<QMenu> unknown(view.buildTagMenu(99, true));
        QCOMPARE(menuTexts(unknown.get()), QStringList({"打开帖子视图 (off)", "重命名标签 (off)", "删除标签 (off)"}));
    }

    void renameSendsAtMostTwentyCharactersAndOnlyChanges_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sent"); // empty: nothing sent
        QTest::newRow("25 characters") << "abcdefghijklmnopqrstuvwxy"
                                       << "abcdefghijklmnopqrst";
        QTest::newRow("same name") << "seven"
                                   << "";
        QTest::newRow("blank") << "   "
                               << "";
        QTest::newRow("trimmed") << "  new  "
                                 << "new";
    }
    void renameSendsAtMostTwentyCharactersAndOnlyChanges()
    {
        QFETCH(QString, typed);
        QFETCH(QString, sent);
        ChatFeedView view;
        view.setTags(true, {fullTag(7, "seven", 1, 0, "A", "x")});
        QSignalSpy renames(&view, &ChatFeedView::renameTagRequested);
        QTimer::singleShot(0, [typed] {
            auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->textValue(), QStringLiteral("seven"));
            dialog->setTextValue(typed);
            dialog->accept();
        });
        view.renameTag(7);
        if (sent.isEmpty()) {
            QCOMPARE(renames.size(), 0);
        } else {
            QCOMPARE(renames.size(), 1);
            QCOMPARE(renames.at(0), QVariantList({qlonglong(7), sent}));
        }
    }

    void deleteDialogChoices()
    {
        TagArchiveDialog alone(QStringLiteral("seven"), {});
        QCOMPARE(alone.windowTitle(), QStringLiteral("删除标签「seven」"));
        QCOMPARE(alone.targetList()->count(), 1);
        QCOMPARE(alone.targetList()->itemText(0), QStringLiteral("无归属"));
        QCOMPARE(alone.mode(), QStringLiteral("purge"));
        alone.transferButton()->click();
        QVERIFY(!alone.purgeButton()->isChecked());
        QCOMPARE(alone.mode(), QStringLiteral("transfer"));
        QCOMPARE(alone.targetTagId(), 0);

        ChatFeedView view;
        view.setTags(true, {fullTag(7, "seven", 1, 0, "A", "x"), fullTag(8, "eight", 1, 0, "A", "x")});
        QSignalSpy archived(&view, &ChatFeedView::archiveTagRequested);
        QTimer::singleShot(0, [] {
            auto *dialog = qobject_cast<TagArchiveDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->targetList()->itemText(0), QStringLiteral("eight"));
            dialog->accept();
        });
        view.deleteTag(7);
        // A purge still carries the target list's current entry.
        QCOMPARE(archived.at(0), QVariantList({qlonglong(7), QStringLiteral("purge"), qlonglong(8)}));
    }
};

KESTOVA_TEST_MAIN(ChatFeedForumTest)
#include "test_chat_feed_forum.moc"
