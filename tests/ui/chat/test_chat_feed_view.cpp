#include "chat_feed_test_util.h"

#include "theme/style_helpers.h"
#include "ui/chat/chat_compose_dialog.h"
#include "ui/chat/chat_image_loader.h"

#include "support/picture_check.h"
#include "support/pending_raw_downloader.h"
#include "ui/chat/chat_feed_list.h"
#include "support/test_main.h"

#include <QAction>
#include <QDialog>
#include <QPointer>
#include <QVBoxLayout>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>

using namespace chattest;
using Message = ChatFeedView::Message;

namespace {

struct Step
{
    QString sender;
    int day;
    qint64 tag;
};

QAction *findAction(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void answerQuestion(QMessageBox::StandardButton button)
{
    QTimer::singleShot(0, [button] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        box->button(button)->click();
    });
}

QList<Message> page(qint64 firstSeq, int count, int dayOffset = 0)
{
    QList<Message> out;
    for (int i = 0; i < count; ++i)
        out << message(QStringLiteral("h%1").arg(firstSeq + i), firstSeq + i, QStringLiteral("u%1").arg(i % 2),
                       dayOffset);
    return out;
}

} // namespace

namespace {
// The application's style sheet for the length of a test, so pictures show the feed as the
// client draws it; the previous sheet comes back afterwards, also when a check fails.
class ScopedAppTheme
{
public:
    ScopedAppTheme()
        : previous(qApp->styleSheet())
    {
        QFile sheet(QStringLiteral(":/minimal-theme.qss"));
        ok = sheet.open(QIODevice::ReadOnly);
        if (ok)
            qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
    }
    ~ScopedAppTheme() { qApp->setStyleSheet(previous); }
    bool applied() const { return ok; }

private:
    QString previous;
    bool ok = false;
};
} // namespace

class ChatFeedViewTest : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<ChatFeedView> makeView()
    {
        auto view = std::make_unique<ChatFeedView>();
        view->setClock([] { return noon(); });
        return view;
    }

private slots:
    void appendKeepsCallOrderAndDropsRepeatedIds()
    {
        auto view = makeView();
        view->appendMessage(message("m5", 5));
        view->appendMessage(message("m3", 3, "u2"));
        view->appendMessage(message("m5", 5));
        view->appendMessage(message("", 6, "u3"));
        view->appendMessage(message("", 6, "u3"));
        view->appendMessage(message("m3", 3, "u2"));
        QCOMPARE(trace(*view), QStringList({"D:今天", "R:m5", "R:m3", "R:", "C:"}));
        QCOMPARE(view->flatEntries().size(), 4);
        // The first message appended names the oldest loaded sequence.
        QCOMPARE(view->oldestLoadedSeq(), 5);
    }

    void dividersAndCompactRows_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<qint64>("gapSeq");
        QTest::addColumn<QStringList>("expected");
        // Message i has the id "m<i>" and the sequence number i (from 1).
        QTest::newRow("same sender, tag and day") << QList<Step>{{"a", 0, 0}, {"a", 0, 0}, {"a", 0, 0}} << qint64(0)
                                                  << QStringList{"D:今天", "R:m1", "C:m2", "C:m3"};
        QTest::newRow("other sender") << QList<Step>{{"a", 0, 0}, {"b", 0, 0}} << qint64(0)
                                      << QStringList{"D:今天", "R:m1", "R:m2"};
        QTest::newRow("other tag") << QList<Step>{{"a", 0, 3}, {"a", 0, 4}} << qint64(0)
                                   << QStringList{"D:今天", "R:m1", "R:m2"};
        QTest::newRow("yesterday then today")
            << QList<Step>{{"a", -1, 0}, {"a", 0, 0}} << qint64(0) << QStringList{"D:昨天", "R:m1", "D:今天", "R:m2"};
        QTest::newRow("older date without year")
            << QList<Step>{{"a", -9, 0}, {"a", -9, 0}} << qint64(0) << QStringList{"D:12月1日", "R:m1", "C:m2"};
        QTest::newRow("gap breaks a run")
            << QList<Step>{{"a", 0, 0}, {"a", 0, 0}, {"a", 0, 0}} << qint64(2)
            << QStringList{"D:今天", "R:m1", "D:⚠ 连接中断，期间消息未同步", "R:m2", "C:m3"};
        QTest::newRow("gap before a new day")
            << QList<Step>{{"a", -1, 0}, {"a", 0, 0}} << qint64(2)
            << QStringList{"D:昨天", "R:m1", "D:⚠ 连接中断，期间消息未同步", "D:今天", "R:m2"};
    }
    void dividersAndCompactRows()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(qint64, gapSeq);
        QFETCH(QStringList, expected);
        auto view = makeView();
        view->setGapSeq(gapSeq);
        for (int i = 0; i < steps.size(); ++i)
            view->appendMessage(
                message(QStringLiteral("m%1").arg(i + 1), i + 1, steps[i].sender, steps[i].day, steps[i].tag));
        QCOMPARE(trace(*view), expected);
        // Rows right after a divider and compact rows sit 1 pixel below what is above them.
        for (const ChatFeedView::Entry &entry : view->flatEntries()) {
            const int top = entry.row->layout()->contentsMargins().top();
            const bool tight = entry.row->isCompact() || entry.row->isAfterDivider();
            QCOMPARE(top, tight ? 1 : 14);
            if (entry.message.seq == gapSeq) {
                QVERIFY(!entry.row->isCompact());
                QVERIFY(entry.row->isAfterDivider());
            }
        }
    }

    void prependJoinsTheSeamAndKeepsRows()
    {
        auto view = makeView();
        view->appendMessage(message("m10", 10, "a"));
        view->appendMessage(message("m11", 11, "b"));
        ChatMessageRow *first = view->flatEntries().at(0).row;
        ChatMessageRow *second = view->flatEntries().at(1).row;

        view->prependHistory({message("m7", 7, "a", -1), message("m8", 8, "a"), message("m9", 9, "a")});
        QCOMPARE(trace(*view), QStringList({"D:昨天", "R:m7", "D:今天", "R:m8", "C:m9", "C:m10", "R:m11"}));
        QCOMPARE(view->oldestLoadedSeq(), 7);
        // The rows already shown are the same widgets, not rebuilt.
        QCOMPARE(view->flatEntries().at(3).row, first);
        QCOMPARE(view->flatEntries().at(4).row, second);
        QVERIFY(!first->isAfterDivider());
        QCOMPARE(view->flatEntries().at(3).divider, nullptr);

        // A page of known ids inserts nothing and keeps the oldest sequence.
        view->prependHistory({message("m8", 8, "a"), message("m9", 9, "a")});
        QCOMPARE(view->flatEntries().size(), 5);
        QCOMPARE(view->oldestLoadedSeq(), 7);
        // A page from another sender keeps the date divider of the seam... on another day.
        view->prependHistory({message("m6", 6, "z", -1)});
        QCOMPARE(trace(*view).mid(0, 4), QStringList({"D:昨天", "R:m6", "R:m7", "D:今天"}));
    }

    void scrollingToTheTopAsksOnceAndKeepsTheAnchor()
    {
        auto view = makeView();
        QSignalSpy older(view.get(), &ChatFeedView::loadOlderRequested);
        view->resize(480, 320);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->prependHistory(page(100, 40));
        QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        QCOMPARE(view->oldestLoadedSeq(), 100);

        bar->setValue(bar->maximum());
        bar->setValue(0);
        bar->setValue(5);
        bar->setValue(0);
        QCOMPARE(older.size(), 1);
        QCOMPARE(older.at(0).at(0).toLongLong(), 100);

        QWidget *anchor = view->flatEntries().first().row;
        QWidget *viewport = view->flatScrollArea()->viewport();
        const int anchorY = anchor->mapTo(viewport, QPoint()).y();
        view->prependHistory(page(60, 40, -1));
        QTRY_VERIFY(bar->value() > 0);
        QCOMPARE(anchor->mapTo(viewport, QPoint()).y(), anchorY);
        QCOMPARE(view->flatEntries().at(40).row, anchor); // 40 new entries before it

        // Loading finished: the next arrival at the top asks for the page before 60.
        bar->setValue(0);
        QCOMPARE(older.size(), 2);
        QCOMPARE(older.at(1).at(0).toLongLong(), 60);
        // An empty page ends the history for good; clearing starts it again.
        view->prependHistory({});
        QVERIFY(view->isOlderExhausted());
        bar->setValue(10);
        bar->setValue(0);
        QCOMPARE(older.size(), 2);
        view->clearFeed();
        QVERIFY(!view->isOlderExhausted());
        QCOMPARE(view->oldestLoadedSeq(), 0);
    }

    void shortListAsksForNothing()
    {
        auto view = makeView();
        QSignalSpy older(view.get(), &ChatFeedView::loadOlderRequested);
        view->resize(480, 600);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->appendMessage(message("m1", 1));
        QCoreApplication::processEvents();
        QCOMPARE(view->flatScrollArea()->verticalScrollBar()->maximum(), 0);
        QCOMPARE(older.size(), 0);
    }

    void appendScrollsToTheBottom()
    {
        auto view = makeView();
        view->resize(480, 320);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        for (int i = 1; i <= 30; ++i)
            view->appendMessage(message(QStringLiteral("m%1").arg(i), i, QStringLiteral("u%1").arg(i % 3)));
        QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        QTRY_COMPARE(bar->value(), bar->maximum());
    }

    void clearEmptiesThePageButKeepsTheGap()
    {
        auto view = makeView();
        view->setGapSeq(3);
        view->appendMessage(message("m1", 1));
        view->appendMessage(message("m2", 2));
        view->clearFeed();
        QCOMPARE(trace(*view), QStringList());
        QCOMPARE(view->flatEntries().size(), 0);
        view->appendMessage(message("m1", 1)); // known before the clear, shown again
        view->appendMessage(message("m3", 3));
        QCOMPARE(trace(*view), QStringList({"D:今天", "R:m1", "D:⚠ 连接中断，期间消息未同步", "R:m3"}));
    }

    void hiddenMessageDropsTextTitleAndThumbnails()
    {
        auto view = makeView();
        Message m = message("m1", 1);
        m.title = QStringLiteral("secret title");
        m.attachments = {
            ChatAttachment{"a1", "http://127.0.0.1/a", "http://127.0.0.1/t", 10, 10, "image/png", 5, "a.png"}};
        view->appendMessage(m);
        ChatMessageRow *row = view->flatEntries().first().row;
        QCOMPARE(row->thumbnailLabels().size(), 1);
        view->markHidden("m1");
        QVERIFY(row->bodyLabel()->text().contains(QStringLiteral("（消息被隐藏）")));
        QVERIFY(!row->bodyLabel()->text().contains("secret"));
        QVERIFY(row->thumbnailLabels().isEmpty());
        QVERIFY(view->flatEntries().first().message.content.isEmpty());
        view->markHidden("unknown"); // nothing to do, nothing fails
    }

    void thumbnailsLoadThroughTheLoaderAndReportClicks()
    {
        testsupport::PendingRawDownloader downloader;
        ChatImageLoader loader(&downloader);
        auto view = makeView();
        Message m = message("m1", 1);
        m.attachments = {ChatAttachment{"att-1", "http://127.0.0.1/full", "http://127.0.0.1/thumb", 1000, 500,
                                        "image/png", 10, "a.png"}};
        view->appendMessage(m); // no loader: nothing is fetched
        QCOMPARE(downloader.count(), 0);
        view->setImageLoader(&loader);
        m.id = "m2";
        view->appendMessage(m);
        QTRY_COMPARE(downloader.count(), 1);
        QCOMPARE(downloader.at(0).url, QStringLiteral("http://127.0.0.1/thumb"));

        QSignalSpy activated(view.get(), &ChatFeedView::imageActivated);
        QLabel *thumb = view->flatEntries().at(1).row->thumbnailLabels().first();
        QCOMPARE(thumb->size(), QSize(320, 160));
        QTest::mouseClick(thumb, Qt::LeftButton);
        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.at(0).at(0).value<ChatAttachment>().attachmentId, QStringLiteral("att-1"));
    }

    void messageMenuFollowsPermissions_data()
    {
        QTest::addColumn<bool>("own");
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<bool>("firstOfTag");
        QTest::addColumn<bool>("hide");
        QTest::addColumn<bool>("mute");
        QTest::addColumn<bool>("ban");
        QTest::addColumn<bool>("retag");
        QTest::newRow("other's message, all allowed") << false << true << false << true << true << true << true;
        QTest::newRow("other's message, nothing allowed")
            << false << false << false << false << false << false << false;
        QTest::newRow("own message, all allowed") << true << true << false << true << false << false << true;
        QTest::newRow("first message of its tag") << false << true << true << true << true << true << false;
    }
    void messageMenuFollowsPermissions()
    {
        QFETCH(bool, own);
        QFETCH(bool, allowed);
        QFETCH(bool, firstOfTag);
        auto view = makeView();
        view->setTags(true, {tag(1, "one", "u9", firstOfTag ? "m1" : "x", 3), tag(2, "two", "u9", "y", 1)});
        QStringList asked;
        view->setCanHide([&](const QString &sender, bool isOwn) {
            asked << "hide:" + sender + (isOwn ? "+own" : "");
            return allowed;
        });
        view->setCanMute([&](const QString &) { return allowed; });
        view->setCanBan([&](const QString &) { return allowed; });
        view->setCanRetag([&](const QString &, bool) { return allowed; });
        Message m = message("m1", 1, "u5", 0, 1);
        m.own = own;
        view->appendMessage(m);

        std::unique_ptr<QMenu> menu(view->buildMessageMenu("m1"));
        QVERIFY(menu);
        QStringList texts;
        for (QAction *action : menu->actions())
            texts << action->text();
        QCOMPARE(texts, QStringList({"隐藏此消息", "禁言此用户", "封禁此用户", "修改消息所属标签"}));
        QTEST(findAction(menu.get(), "隐藏此消息")->isEnabled(), "hide");
        QTEST(findAction(menu.get(), "禁言此用户")->isEnabled(), "mute");
        QTEST(findAction(menu.get(), "封禁此用户")->isEnabled(), "ban");
        QTEST(findAction(menu.get(), "修改消息所属标签")->isEnabled(), "retag");
        QCOMPARE(asked, QStringList({QStringLiteral("hide:u5") + (own ? "+own" : "")}));
    }

    void menuWithoutPredicatesOrForUnknownMessages()
    {
        auto view = makeView();
        QVERIFY(!view->buildMessageMenu("nothing"));
        view->appendMessage(message("m1", 1));
        std::unique_ptr<QMenu> menu(view->buildMessageMenu("m1"));
        for (QAction *action : menu->actions())
            QVERIFY2(!action->isEnabled(), qPrintable(action->text()));
    }

    void menuActionsEmitTheirRequests()
    {
        auto view = makeView();
        view->setTags(true, {tag(1, "one", "u9", "x", 3), tag(2, "two", "u9", "y", 1), tag(3, "three", "u9", "z", 1)});
        view->setCanHide([](const QString &, bool) { return true; });
        view->setCanMute([](const QString &) { return true; });
        view->setCanBan([](const QString &) { return true; });
        view->setCanRetag([](const QString &, bool) { return true; });
        view->appendMessage(message("m1", 1, "u5", 0, 2));
        QSignalSpy hide(view.get(), &ChatFeedView::hideRequested);
        QSignalSpy mute(view.get(), &ChatFeedView::muteUserRequested);
        QSignalSpy ban(view.get(), &ChatFeedView::banRequested);
        QSignalSpy retag(view.get(), &ChatFeedView::retagRequested);
        std::unique_ptr<QMenu> menu(view->buildMessageMenu("m1"));

        findAction(menu.get(), "隐藏此消息")->trigger();
        QCOMPARE(hide.value(0).at(0).toString(), QStringLiteral("m1"));

        QMenu *muteMenu = findAction(menu.get(), "禁言此用户")->menu();
        QStringList muteTexts;
        for (QAction *action : muteMenu->actions())
            muteTexts << action->text();
        QCOMPARE(muteTexts, QStringList({"5分钟", "30分钟", "1小时", "6小时", "12小时"}));
        qint64 now = noon() + 777;
        view->setClock([&now] { return now; });
        findAction(muteMenu, "30分钟")->trigger();
        QCOMPARE(mute.value(0).at(0).toString(), QStringLiteral("u5"));
        QCOMPARE(mute.value(0).at(1).toLongLong(), now + 1800000);

        answerQuestion(QMessageBox::No);
        findAction(menu.get(), "封禁此用户")->trigger();
        QCOMPARE(ban.size(), 0);
        answerQuestion(QMessageBox::Yes);
        findAction(menu.get(), "封禁此用户")->trigger();
        QCOMPARE(ban.value(0).at(0).toString(), QStringLiteral("u5"));

        QMenu *retagMenu = findAction(menu.get(), "修改消息所属标签")->menu();
        QStringList targets;
        for (QAction *action : retagMenu->actions())
            targets << action->text();
        QCOMPARE(targets, QStringList({"one", "three"}));
        findAction(retagMenu, "three")->trigger();
        QCOMPARE(retag.value(0), QVariantList({QStringLiteral("m1"), qlonglong(3)}));
    }

    void retagWithOneTagIsEmptyAndDisabled()
    {
        auto view = makeView();
        view->setTags(true, {tag(1, "only", "u9", "x", 3)});
        view->setCanRetag([](const QString &, bool) { return true; });
        view->appendMessage(message("m1", 1, "u5", 0, 1));
        std::unique_ptr<QMenu> menu(view->buildMessageMenu("m1"));
        QAction *retag = findAction(menu.get(), "修改消息所属标签");
        QVERIFY(retag->menu()->actions().isEmpty());
        QVERIFY(!retag->isEnabled());
    }

    // Nothing typed is shown or lost before the server has it: the text stays in the
    // input until the send is accepted, and a failed send gives it back.
    void typedTextStaysUntilTheSendIsAccepted()
    {
        auto view = makeView();
        QSignalSpy sent(view.get(), &ChatFeedView::sendRequested);
        QLineEdit *input = view->inputLine();
        input->setText(QStringLiteral("  hello  "));
        QTest::keyClick(input, Qt::Key_Return);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0), QVariantList({QStringLiteral("hello"), qlonglong(0), QString()}));
        QCOMPARE(input->text(), QStringLiteral("  hello  "));
        QVERIFY(input->isReadOnly());
        QVERIFY(!view->sendButtonWidget()->isEnabled());
        QCOMPARE(view->flatEntries().size(), 0);

        // A second Return while the first send is open sends nothing twice.
        QTest::keyClick(input, Qt::Key_Return);
        view->sendButtonWidget()->click();
        QCOMPARE(sent.size(), 1);

        view->sendFailed();
        QCOMPARE(input->text(), QStringLiteral("  hello  "));
        QVERIFY(!input->isReadOnly());
        QVERIFY(view->sendButtonWidget()->isEnabled());

        view->sendButtonWidget()->click();
        QCOMPARE(sent.size(), 2);
        view->sendAccepted();
        QCOMPARE(input->text(), QString());
        QVERIFY(!input->isReadOnly());

        // Blank input sends nothing; result slots without a send change nothing.
        input->setText(QStringLiteral("   "));
        QTest::keyClick(input, Qt::Key_Return);
        QCOMPARE(sent.size(), 2);
        view->sendAccepted();
        QCOMPARE(input->text(), QStringLiteral("   "));
    }

    void tagsGateTheInput()
    {
        auto view = makeView();
        QSignalSpy sent(view.get(), &ChatFeedView::sendRequested);
        view->show();
        view->setTags(true, {tag(4, "four", "u9", "x", 3), tag(7, "seven", "u9", "y", 1)});
        QVERIFY(view->tagButtonWidget()->isVisible());
        QCOMPARE(view->tagButtonWidget()->text(), QStringLiteral("选择标签 ▴"));
        QVERIFY(!view->inputLine()->isEnabled());
        QCOMPARE(view->inputLine()->placeholderText(), QStringLiteral("必须选择一个标签才能使用文字聊天"));
        view->inputLine()->setText("x");
        view->sendButtonWidget()->click();
        QCOMPARE(sent.size(), 0);

        // A click on a row's chip selects its tag for sending.
        view->appendMessage(message("m1", 1, "u1", 0, 7));
        QTest::mouseClick(view->flatEntries().first().row->tagChipLabel(), Qt::LeftButton);
        QCOMPARE(view->selectedTag(), 7);
        QCOMPARE(view->tagButtonWidget()->text(), QStringLiteral("seven ▴"));
        QVERIFY(view->inputLine()->isEnabled());
        view->sendButtonWidget()->click();
        QCOMPARE(sent.at(0), QVariantList({QStringLiteral("x"), qlonglong(7), QString()}));
        view->sendAccepted();

        // The selected tag leaves the list: nothing selected any more.
        view->setTags(true, {tag(4, "renamed", "u9", "x", 3)});
        QCOMPARE(view->selectedTag(), 0);
        QVERIFY(!view->inputLine()->isEnabled());
        // Chips of the shown rows follow renames.
        view->appendMessage(message("m2", 2, "u2", 0, 4));
        view->setTags(true, {tag(4, "newname", "u9", "x", 3)});
        QCOMPARE(view->flatEntries().at(1).row->tagChipLabel()->text(), QStringLiteral("newname"));

        view->setTags(false, {});
        QVERIFY(!view->tagButtonWidget()->isVisible());
        QVERIFY(view->inputLine()->isEnabled());
    }

    void composeResultBecomesSendOrPost()
    {
        auto view = makeView();
        QSignalSpy sent(view.get(), &ChatFeedView::sendRequested);
        QSignalSpy posted(view.get(), &ChatFeedView::postRequested);
        view->setTags(true, {tag(4, "four", "u9", "x", 3)});

        ChatComposeDialog chosen(true, 4, {{4, "four", 3}}, true, false, view.get());
        chosen.editorWidget()->setPlainText(QStringLiteral(" long text "));
        chosen.titleField()->setText(QStringLiteral("T"));
        view->applyComposeResult(chosen, false);
        QCOMPARE(sent.at(0), QVariantList({QStringLiteral("long text"), qlonglong(4), QStringLiteral("T")}));

        ChatComposeDialog fresh(true, 0, {{4, "four", 3}}, true, false, view.get());
        fresh.startNewTag(QStringLiteral(" news "));
        fresh.titleField()->setText(QStringLiteral("first"));
        fresh.editorWidget()->setPlainText(QStringLiteral("body"));
        view->applyComposeResult(fresh, false);
        QCOMPARE(posted.at(0), QVariantList({QStringLiteral("news"), QStringLiteral("first"), QStringLiteral("body")}));

        // Tags disabled: the dialog's tag is ignored.
        view->setTags(false, {});
        view->applyComposeResult(chosen, false);
        QCOMPARE(sent.at(1).at(1).toLongLong(), 0);
    }

    // A long feed holds widgets only near the viewport, wherever the user reads, and the
    // rows there sit one under the other at their measured heights.
    void longFeedBuildsOnlyTheRowsNearTheViewport()
    {
        auto view = makeView();
        view->resize(480, 400);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        for (int i = 1; i <= 1500; ++i) {
            view->appendMessage(message(QStringLiteral("m%1").arg(i), i, QStringLiteral("u%1").arg(i / 3 % 4)));
            if (i % 100 == 0)
                QCoreApplication::processEvents();
        }
        QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
        QTRY_COMPARE(bar->value(), bar->maximum());
        QCOMPARE(view->flatEntries().size(), 1500);
        const ChatFeedList *list = view->flatListWidget();
        QWidget *viewport = view->flatScrollArea()->viewport();
        auto checkTheView = [&] {
            QVERIFY2(list->liveCount() < 60, qPrintable(QString::number(list->liveCount())));
            QWidget *previous = nullptr;
            for (int i = 0; i < list->count(); ++i) {
                QWidget *widget = list->at(i).widget;
                if (!widget || widget->isHidden())
                    continue;
                QCOMPARE(widget->width(), viewport->width());
                QCOMPARE(widget->height(), widget->hasHeightForWidth() ? widget->heightForWidth(viewport->width())
                                                                       : widget->sizeHint().height());
                if (previous)
                    QCOMPARE(widget->y(), previous->y() + previous->height() + 2);
                previous = widget;
            }
            // The viewport is covered from its top to its bottom (between rows there are
            // 2 pixels of spacing, below the last one a margin of 6).
            auto covered = [&](int y) { return list->childAt(20, y) || list->childAt(20, y + 3); };
            QVERIFY(covered(bar->value() + 1));
            QVERIFY(covered(bar->value() + viewport->height() / 2));
            QVERIFY(covered(bar->value() + viewport->height() - 12));
        };
        for (const int position : {bar->maximum(), bar->maximum() / 2, 40}) {
            bar->setValue(position);
            QCoreApplication::processEvents();
            checkTheView();
        }
        // Narrower: the rows in view are measured again at the new width.
        view->resize(300, 400);
        QTRY_COMPARE(viewport->width(), list->width());
        QCoreApplication::processEvents();
        checkTheView();
        view->resize(480, 400);
        bar->setValue(bar->maximum());
        QCoreApplication::processEvents();
        checkTheView();
        // At the bottom: the newest rows exist, the oldest and the middle ones do not.
        QVERIFY(view->flatEntries().last().row);
        QVERIFY(!view->flatEntries().at(750).row);
        QVERIFY(!view->flatEntries().at(1).row);
    }

    // Reading older messages while others arrive keeps the view still; the user's own
    // message brings it to the bottom, which it then follows again.
    void readingOlderMessagesWhileNewOnesArriveKeepsTheViewStill()
    {
        auto view = makeView();
        view->resize(480, 400);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        for (int i = 1; i <= 200; ++i)
            view->appendMessage(message(QStringLiteral("m%1").arg(i), i, QStringLiteral("u%1").arg(i % 3)));
        QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
        QTRY_COMPARE(bar->value(), bar->maximum());
        QWidget *viewport = view->flatScrollArea()->viewport();

        bar->setValue(bar->maximum() / 2);
        QCoreApplication::processEvents();
        const int value = bar->value();
        ChatMessageRow *reading = view->flatEntries().at(100).row;
        for (const ChatFeedView::Entry &entry : view->flatEntries()) {
            if (entry.row && entry.row->mapTo(viewport, QPoint()).y() >= 100) {
                reading = entry.row;
                break;
            }
        }
        QVERIFY(reading);
        const int readingY = reading->mapTo(viewport, QPoint()).y();
        for (int i = 201; i <= 220; ++i) {
            view->appendMessage(message(QStringLiteral("m%1").arg(i), i, QStringLiteral("u%1").arg(i % 3)));
            QCoreApplication::processEvents();
        }
        QCOMPARE(bar->value(), value);
        QCOMPARE(reading->mapTo(viewport, QPoint()).y(), readingY);

        Message own = message("mine", 221, "me");
        own.own = true;
        view->appendMessage(own);
        QTRY_COMPARE(bar->value(), bar->maximum());
        QVERIFY(view->flatEntries().last().row->isVisible());
        view->appendMessage(message("m222", 222, "u1"));
        QCoreApplication::processEvents();
        QTRY_COMPARE(bar->value(), bar->maximum());
        QVERIFY(view->flatEntries().last().row->mapTo(viewport, QPoint()).y() < viewport->height());
    }

    // The link prompt opens over the window, so clearing the feed while it runs (rows
    // go away) neither takes the prompt with it nor crashes.
    void linkPromptSurvivesClearingTheFeed()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *view = new ChatFeedView(&window);
        view->setClock([] { return noon(); });
        layout->addWidget(view);
        window.resize(480, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Message linked = message("m1", 1);
        linked.content = QStringLiteral("see https://example.org/x");
        view->appendMessage(linked);
        ChatMessageRow *row = view->flatEntries().first().row;
        bool seen = false;
        bool survived = false;
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || seen)
                return;
            seen = true;
            QPointer<QDialog> prompt(dialog);
            view->clearFeed();
            view->appendMessage(message("m2", 2));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            survived = !prompt.isNull() && prompt->isVisible();
            dialog->reject();
        });
        poll.start();
        emit row->bodyLabel()->linkActivated(QStringLiteral("https://example.org/x"));
        QTRY_VERIFY(seen);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(survived);
        QCOMPARE(view->flatEntries().size(), 1);
    }

    // A long feed under the application style sheet, at its top, in its middle and at its
    // bottom: every row in view is painted (not a blank slot of a row not built yet).
    // A row scrolled far away is released and built again when it comes back: the spoilers
    // the user opened stay open.
    void rowBuiltAgainKeepsItsOpenedSpoilers()
    {
        auto view = makeView();
        view->resize(480, 400);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        for (int i = 1; i <= 300; ++i) {
            Message m = message(QStringLiteral("m%1").arg(i), i, QStringLiteral("u%1").arg(i % 3));
            m.content = QStringLiteral("one ||first|| two ||second||");
            view->appendMessage(m);
        }
        QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
        QTRY_COMPARE(bar->value(), bar->maximum());
        QPointer<ChatMessageRow> row = view->flatEntries().last().row;
        QVERIFY(row);
        const QString closed = row->bodyLabel()->text();
        row->onLinkActivated(QStringLiteral("spoiler:1"));
        const QString opened = row->bodyLabel()->text();

        bar->setValue(0);
        QCoreApplication::processEvents();
        // Released: deleted, or kept to show other messages, none of which has anything
        // of the one it showed before open.
        QTRY_VERIFY(!view->flatEntries().last().row);
        QVERIFY(!row || row->isHidden() || row->currentMessage().id != view->flatEntries().last().message.id);
        int shown = 0;
        for (const ChatFeedView::Entry &entry : view->flatEntries()) {
            if (!entry.row)
                continue;
            ++shown;
            QCOMPARE(entry.row->currentMessage().id, entry.message.id);
            QVERIFY2(entry.row->revealed().isEmpty(), qPrintable(entry.message.id));
            QCOMPARE(entry.row->bodyLabel()->text(), closed);
        }
        QVERIFY(shown > 0);
        bar->setValue(bar->maximum());
        QCoreApplication::processEvents();
        ChatMessageRow *again = view->flatEntries().last().row;
        QVERIFY(again);
        QCOMPARE(again->revealed(), QSet<int>{1});
        QCOMPARE(again->bodyLabel()->text(), opened);
    }

    // Rows are built again and used again for other messages as the view moves; every
    // height the list keeps must still be that of a row made new for its message.
    void keptHeightsAreThoseOfNewRows()
    {
        auto view = makeView();
        view->resize(480, 400);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        for (int i = 1; i <= 400; ++i) {
            Message m = message(QStringLiteral("m%1").arg(i), i, QStringLiteral("u%1").arg(i / 3 % 3), i / 150 - 2);
            m.content = QStringLiteral("message %1").arg(i);
            if (i % 5 == 0)
                m.content += QStringLiteral(" with a longer tail that wraps over more than one line of the feed");
            if (i % 11 == 0)
                m.attachments = {
                    ChatAttachment{QStringLiteral("a%1").arg(i), "", "", 300, 120, "image/png", 1, "a.png"}};
            view->appendMessage(m);
            if (i % 20 == 0)
                QCoreApplication::processEvents();
        }
        QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
        QTRY_COMPARE(bar->value(), bar->maximum());
        for (const int position : {bar->maximum() / 2, 0, bar->maximum() / 3, bar->maximum()}) {
            bar->setValue(position);
            QCoreApplication::processEvents();
        }
        view->markHidden(QStringLiteral("m395"));
        QCoreApplication::processEvents();
        const ChatFeedList *list = view->flatListWidget();
        const int width = view->flatScrollArea()->viewport()->width();
        int checked = 0;
        for (const ChatFeedView::Entry &entry : view->flatEntries()) {
            const ChatFeedList::Item &item = list->at(list->indexOf(entry.key));
            if (item.measuredWidth != width)
                continue;
            ChatMessageRow fresh(entry.message, entry.compact, QString(), true);
            fresh.setAfterDivider(entry.afterDivider);
            QVERIFY2(item.height == fresh.heightForWidth(width),
                     qPrintable(QStringLiteral("%1: kept %2, new %3")
                                    .arg(entry.message.id)
                                    .arg(item.height)
                                    .arg(fresh.heightForWidth(width))));
            ++checked;
        }
        QVERIFY(checked > 40);
    }

    void pictureOfALongFeed()
    {
        const ScopedAppTheme theme;
        QVERIFY(theme.applied());
        auto view = makeView();
        view->resize(560, 640);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        const QStringList names{QStringLiteral("Alice"), QStringLiteral("Bob"), QStringLiteral("小明")};
        for (int i = 1; i <= 600; ++i) {
            Message m = message(QStringLiteral("m%1").arg(i), i, QStringLiteral("u%1").arg(i / 3 % 3), i / 200 - 2);
            m.senderName = names.at(i / 3 % 3);
            m.content = QStringLiteral("message %1 with **bold** text and `code`").arg(i);
            if (i % 7 == 0)
                m.content += QStringLiteral(", a longer one that wraps over more than one line of the feed to "
                                            "show that heights follow the text, see https://example.org/%1")
                                 .arg(i);
            if (i % 25 == 0)
                m.attachments = {ChatAttachment{QStringLiteral("a%1").arg(i), "", "", 400, 240, "image/png", 1, "a.png"}};
            view->appendMessage(m);
            if (i % 50 == 0)
                QCoreApplication::processEvents();
        }
        QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
        QTRY_COMPARE(bar->value(), bar->maximum());
        QWidget *viewport = view->flatScrollArea()->viewport();
        const QList<std::pair<const char *, int>> places{
            {"top", 0}, {"middle", bar->maximum() / 2}, {"bottom", bar->maximum()}};
        QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
        for (const auto &[place, value] : places) {
            bar->setValue(value);
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            const QImage image = view->grab().toImage();
            QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/chat_feed_long_%1.png").arg(place)));
            QList<testsupport::PictureRegion> rows;
            const ChatFeedList *list = view->flatListWidget();
            for (int i = 0; i < list->count(); ++i) {
                QWidget *widget = list->at(i).widget;
                if (!widget || !widget->isVisible())
                    continue;
                const testsupport::PictureRegion row = testsupport::regionThrough(
                    view.get(), viewport, widget, QStringLiteral("%1: item %2").arg(QLatin1String(place)).arg(i));
                if (row.rect.height() >= 12)
                    rows.append(row);
            }
            const QStringList blank = testsupport::blankRegions(image, rows);
            QVERIFY2(blank.isEmpty(), qPrintable(blank.join(QStringLiteral(", "))));
            QVERIFY2(rows.size() >= 6, place);
        }
    }

    // Messages that arrive while the view follows the bottom scroll it by moving what is
    // already drawn; what the window shows must still be what a full paint draws.
    void scrolledPixelsMatchAFullPaint()
    {
        const ScopedAppTheme theme;
        QVERIFY(theme.applied());
        auto view = makeView();
        view->resize(480, 420);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QWidget *viewport = view->flatScrollArea()->viewport();
        auto onScreen = [&] {
            const QImage window = view->screen()->grabWindow(view->winId()).toImage();
            const QRect area(viewport->mapTo(view.get(), QPoint(0, 0)), viewport->size());
            return window.copy(area).convertToFormat(QImage::Format_RGB32);
        };
        for (int i = 1; i <= 60; ++i) {
            Message m = message(QStringLiteral("m%1").arg(i), i, QStringLiteral("u%1").arg(i / 2 % 3), i / 30 - 1);
            m.content = QStringLiteral("message %1 with **bold** text").arg(i);
            if (i % 4 == 0)
                m.content += QStringLiteral(", and a longer tail that wraps over more than one line of the feed");
            if (i % 9 == 0)
                m.attachments = {
                    ChatAttachment{QStringLiteral("a%1").arg(i), "", "", 300, 120, "image/png", 1, "a.png"}};
            view->appendMessage(m);
            // One message per turn, as they arrive from the service.
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            if (i > 20 && i % 5 == 0) {
                QScrollBar *bar = view->flatScrollArea()->verticalScrollBar();
                QCOMPARE(bar->value(), bar->maximum());
                const QImage painted = viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
                QVERIFY2(onScreen() == painted, qPrintable(QStringLiteral("after message %1").arg(i)));
            }
        }
    }

    void pictureOfTheFeed()
    {
        const ScopedAppTheme theme;
        QVERIFY(theme.applied());
        auto view = makeView();
        view->resize(560, 640);
        view->setGapSeq(6);
        Message a = message("m1", 1, "alice", -1);
        a.senderName = QStringLiteral("Alice");
        a.content = QStringLiteral("早上好 **everyone** — see https://example.org and `code`");
        view->appendMessage(a);
        Message b = message("m2", 2, "alice", -1);
        b.senderName = QStringLiteral("Alice");
        b.content = QStringLiteral("a compact follow-up with a ||spoiler||");
        view->appendMessage(b);
        Message c = message("m3", 3, "bob", 0);
        c.senderName = QStringLiteral("Bob");
        c.title = QStringLiteral("Long-form title");
        c.content = QStringLiteral("> quoted line\nand an answer 😀");
        c.attachments = {ChatAttachment{"x1", "", "", 400, 240, "image/png", 10, "a.png"},
                         ChatAttachment{"x2", "", "", 0, 0, "image/png", 10, "b.png"}};
        view->appendMessage(c);
        Message d = message("m6", 6, "bob", 0);
        d.senderName = QStringLiteral("Bob");
        view->appendMessage(d);
        Message e = message("m7", 7, "carol", 0);
        e.senderName = QStringLiteral("Carol");
        e.hidden = true;
        view->appendMessage(e);
        view->sendImages({ChatPendingImage{"photo.png", QByteArray("x"), "image/png", 1, 1}}, QString(), 0, QString());
        view->setUploadProgress(view->uploads().keys().first(), 40);
        view->inputLine()->setText(QStringLiteral("typing…"));
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        const QImage image = view->grab().toImage();
        QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
        QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/chat_feed_view.png")));
        QCOMPARE(image.size(), view->size() * image.devicePixelRatio());
        // Every row of the feed (five messages and their dividers), the input line with its
        // text and the send button are drawn.
        QList<const QWidget *> parts{view->inputLine(), view->sendButtonWidget()};
        const ChatFeedList *list = view->flatListWidget();
        for (int i = 0; i < list->count(); ++i) {
            if (const QWidget *row = list->at(i).widget; row && row->isVisible())
                parts.append(row);
        }
        QVERIFY2(parts.size() >= 2 + 5, qPrintable(QString::number(parts.size() - 2)));
        const QStringList blank = testsupport::blankRegions(image, testsupport::regionsOf(view.get(), parts));
        QVERIFY2(blank.isEmpty(), qPrintable(blank.join(QStringLiteral(", "))));
    }
};

KESTOVA_TEST_MAIN(ChatFeedViewTest)
#include "test_chat_feed_view.moc"
