#include "ui/chat/messages_tab.h"

#include "chat_feed_test_util.h"
#include "support/test_main.h"
#include "ui/chat/chat_tab_bar.h"
#include "ui/chat/mixed_feed_view.h"
#include "ui/connect/request_banner_overlay.h"

#include <QDialog>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>

#include <memory>

using chattest::message;
using chattest::tag;

namespace {

QList<MessagesTab::FeedTab> feeds(const QStringList &ids)
{
    QList<MessagesTab::FeedTab> list;
    for (const QString &id : ids)
        list.append(MessagesTab::FeedTab{id, QStringLiteral("# ") + id});
    return list;
}

QStringList firstArgs(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy)
        out << args.at(0).toString();
    return out;
}

ChatPendingImage pending(const QString &name)
{
    return ChatPendingImage{name, QByteArray("bytes"), QStringLiteral("image/png"), 2, 2};
}

} // namespace

class MessagesTabTest : public QObject
{
    Q_OBJECT
private slots:
    void startsOnTheMergedFeedWithoutACurrentTab()
    {
        MessagesTab tab;
        QCOMPARE(tab.chatTabBar()->currentId(), QString());
        QCOMPARE(tab.feedStack()->currentWidget(), tab.mixedFeed());
        QCOMPARE(tab.feedStack()->widget(0), tab.mixedFeed());
        QCOMPARE(tab.chatTabBar()->viewToggle()->text(), QStringLiteral("视图：平铺"));
        QVERIFY(tab.chatTabBar()->viewToggle()->isEnabled());
        QCOMPARE(tab.requestBannerOverlay()->parentWidget(), &tab);
        QCOMPARE(tab.chatImageLoader(), nullptr);
        emit tab.chatTabBar()->viewToggleRequested(); // no view: nothing happens
    }

    void setFeedsKeepsCreatesAndDropsViews()
    {
        MessagesTab tab;
        QSignalSpy activated(&tab, &MessagesTab::feedActivated);
        tab.setFeeds(feeds({"a", "b"}));
        QCOMPARE(firstArgs(activated), QStringList{"a"});
        QPointer<ChatFeedView> a = tab.feedView("a");
        QPointer<ChatFeedView> b = tab.feedView("b");
        QVERIFY(a && b);
        QCOMPARE(tab.feedStack()->currentWidget(), a.data());
        QCOMPARE(tab.feedStack()->indexOf(b), 2);
        QCOMPARE(tab.chatTabBar()->tabList().at(1).title, QStringLiteral("# b"));

        // The same list again: no view made, nothing emitted.
        tab.setFeeds(feeds({"a", "b"}));
        QCOMPARE(tab.feedView("a"), a.data());
        QCOMPARE(tab.feedStack()->count(), 3);
        QCOMPARE(activated.size(), 1);

        // Dropping the current room moves to the first remaining one.
        tab.setCurrentFeed(QStringLiteral("b"));
        QCOMPARE(firstArgs(activated), QStringList({"a", "b"}));
        tab.setFeeds(feeds({"c", "a"}));
        QCOMPARE(tab.chatTabBar()->currentId(), QStringLiteral("c"));
        QCOMPARE(tab.feedStack()->currentWidget(), tab.feedView("c"));
        QCOMPARE(firstArgs(activated), QStringList({"a", "b", "c"}));
        QCOMPARE(tab.feedView("b"), nullptr);
        QCOMPARE(tab.feedStack()->indexOf(b), -1);
        QTRY_VERIFY(!b); // deleted by the event loop

        // Everything dropped: the merged feed, without feedActivated.
        tab.setFeeds({});
        QCOMPARE(tab.chatTabBar()->currentId(), QStringLiteral("__mixed__"));
        QCOMPARE(tab.feedStack()->currentWidget(), tab.mixedFeed());
        QCOMPARE(activated.size(), 3);
        QVERIFY(!tab.chatTabBar()->viewToggle()->isEnabled());
    }

    void mergedFeedStaysShownWhenARoomGoes()
    {
        MessagesTab tab;
        tab.setFeeds(feeds({"a", "b"}));
        tab.setCurrentFeed(QStringLiteral("__mixed__"));
        QSignalSpy activated(&tab, &MessagesTab::feedActivated);
        tab.setFeeds(feeds({"b"}));
        QCOMPARE(tab.feedStack()->currentWidget(), tab.mixedFeed());
        QCOMPARE(activated.size(), 0);

        // A jump from the merged feed selects a listed room only.
        emit tab.mixedFeed()->roomJumpRequested(QStringLiteral("gone"));
        QCOMPARE(tab.chatTabBar()->currentId(), QStringLiteral("__mixed__"));
        emit tab.mixedFeed()->roomJumpRequested(QStringLiteral("b"));
        QCOMPARE(tab.feedStack()->currentWidget(), tab.feedView("b"));
        QCOMPARE(firstArgs(activated), QStringList{"b"});
    }

    void perRoomCallsReachOnlyTheirRoom()
    {
        MessagesTab tab;
        tab.setFeeds(feeds({"a", "b"}));
        ChatFeedView *a = tab.feedView("a");
        ChatFeedView *b = tab.feedView("b");
        QSignalSpy anySignal(&tab, &MessagesTab::feedActivated);

        // Unknown rooms are dropped without a trace.
        tab.appendMessage(QStringLiteral("zz"), message("m0", 1));
        tab.markGap(QStringLiteral("zz"), 3);
        tab.setTags(QStringLiteral("zz"), true, {tag(5, "five")});
        tab.clearFeed(QStringLiteral("zz"));
        QCOMPARE(a->flatEntries().size() + b->flatEntries().size(), 0);

        tab.appendMessage(QStringLiteral("b"), message("m1", 10));
        tab.prependHistory(QStringLiteral("b"), {message("m0", 9)});
        QCOMPARE(b->flatEntries().size(), 2);
        QCOMPARE(a->flatEntries().size(), 0);

        tab.markHidden(QStringLiteral("a"), QStringLiteral("m1")); // not a's message
        QVERIFY(!b->flatEntries().last().message.hidden);
        tab.markHidden(QStringLiteral("b"), QStringLiteral("m1"));
        QVERIFY(b->flatEntries().last().message.hidden);

        tab.retagMessage(QStringLiteral("b"), QStringLiteral("m0"), 5);
        QCOMPARE(b->flatEntries().first().message.tagId, qint64(5));

        tab.markGap(QStringLiteral("b"), 7);
        QCOMPARE(b->gapBeforeSeq(), qint64(7));
        QCOMPARE(a->gapBeforeSeq(), qint64(0));

        const int cardsBefore = a->forumCardLayout()->count();
        tab.setTags(QStringLiteral("b"), true, {tag(5, "five", "u1", "m0", 1)});
        QVERIFY(b->forumCardLayout()->count() > cardsBefore);
        QCOMPARE(a->forumCardLayout()->count(), cardsBefore);

        b->openThread(5);
        tab.setTagHistory(QStringLiteral("a"), 5, 0, {message("t1", 11, "u1", 0, 5)});
        QCOMPARE(b->threadPageEntries().size(), 0);
        tab.setTagHistory(QStringLiteral("b"), 5, 0, {message("t1", 11, "u1", 0, 5)});
        QCOMPARE(b->threadPageEntries().size(), 1);

        tab.clearFeed(QStringLiteral("b"));
        QCOMPARE(b->flatEntries().size(), 0);
        QCOMPARE(anySignal.size(), 0); // routing never switches the shown room
    }

    void uploadsAreRoutedByRoom()
    {
        MessagesTab tab;
        tab.setFeeds(feeds({"a", "b"}));
        ChatFeedView *b = tab.feedView("b");
        QSignalSpy sent(&tab, &MessagesTab::sendImagesRequested);
        b->sendImages({pending("x.png")}, QStringLiteral("hi"), 4, QStringLiteral("t"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).at(0).toString(), QStringLiteral("b"));
        const QString batch = sent.at(0).at(1).toString();
        QCOMPARE(sent.at(0).mid(3), QVariantList({QStringLiteral("hi"), qlonglong(4), QStringLiteral("t")}));

        tab.setUploadProgress(QStringLiteral("a"), batch, 70);
        QCOMPARE(b->uploads().value(batch).progressBar->value(), 0);
        tab.setUploadProgress(QStringLiteral("b"), batch, 70);
        QCOMPARE(b->uploads().value(batch).progressBar->value(), 70);
        tab.failUpload(QStringLiteral("b"), batch, QStringLiteral("too big"));
        QCOMPARE(b->uploads().value(batch).errorLabel->text(), QStringLiteral("too big"));
        tab.finishUpload(QStringLiteral("a"), batch);
        QVERIFY(b->uploads().contains(batch));
        tab.finishUpload(QStringLiteral("b"), batch);
        QVERIFY(!b->uploads().contains(batch));
    }

    void viewRequestsLeaveWithTheirRoomInFront()
    {
        MessagesTab tab;
        tab.setFeeds(feeds({"a", "b"}));
        ChatFeedView *b = tab.feedView("b");
        const QList<ChatPendingImage> images{pending("p.png")};

        QSignalSpy send(&tab, &MessagesTab::sendMessageRequested);
        QSignalSpy post(&tab, &MessagesTab::postRequested);
        QSignalSpy sendImages(&tab, &MessagesTab::sendImagesRequested);
        QSignalSpy postImages(&tab, &MessagesTab::postImagesRequested);
        QSignalSpy cancel(&tab, &MessagesTab::uploadCancelRequested);
        QSignalSpy older(&tab, &MessagesTab::loadOlderRequested);
        QSignalSpy hide(&tab, &MessagesTab::hideMessageRequested);
        QSignalSpy mute(&tab, &MessagesTab::muteUserRequested);
        QSignalSpy ban(&tab, &MessagesTab::banRequested);
        QSignalSpy retag(&tab, &MessagesTab::retagMessageRequested);
        QSignalSpy rename(&tab, &MessagesTab::renameTagRequested);
        QSignalSpy archive(&tab, &MessagesTab::archiveTagRequested);
        QSignalSpy history(&tab, &MessagesTab::loadTagHistoryRequested);
        QSignalSpy opened(&tab, &MessagesTab::tagOpenedReported);

        emit b->sendRequested(QStringLiteral("hello"), 5, QString());
        emit b->postRequested(QStringLiteral("news"), QStringLiteral("T"), QStringLiteral("body"));
        emit b->sendImagesRequested(QStringLiteral("B1"), images, QStringLiteral("c"), 2, QStringLiteral("t"));
        emit b->postImagesRequested(QStringLiteral("B2"), images, QStringLiteral("n"), QStringLiteral("t"),
                                    QStringLiteral("c"));
        emit b->uploadCancelRequested(QStringLiteral("B3"));
        emit b->loadOlderRequested(40);
        emit b->hideRequested(QStringLiteral("m1"));
        emit b->muteUserRequested(QStringLiteral("u9"), 123456);
        emit b->banRequested(QStringLiteral("u8"));
        emit b->retagRequested(QStringLiteral("m2"), 6);
        emit b->renameTagRequested(6, QStringLiteral("six"));
        emit b->archiveTagRequested(6, QStringLiteral("transfer"), 7);
        emit b->loadTagHistoryRequested(6, 100);
        emit b->tagOpened(6, 120);

        const QString room = QStringLiteral("b");
        QCOMPARE(send.value(0), QVariantList({room, QStringLiteral("hello"), qlonglong(5), QString()}));
        QCOMPARE(post.value(0),
                 QVariantList({room, QStringLiteral("news"), QStringLiteral("T"), QStringLiteral("body")}));
        QCOMPARE(sendImages.value(0).mid(0, 2), QVariantList({room, QStringLiteral("B1")}));
        QCOMPARE(sendImages.value(0).at(2).value<QList<ChatPendingImage>>().first().fileName, QStringLiteral("p.png"));
        QCOMPARE(sendImages.value(0).mid(3), QVariantList({QStringLiteral("c"), qlonglong(2), QStringLiteral("t")}));
        QCOMPARE(postImages.value(0).mid(0, 2), QVariantList({room, QStringLiteral("B2")}));
        QCOMPARE(postImages.value(0).mid(3),
                 QVariantList({QStringLiteral("n"), QStringLiteral("t"), QStringLiteral("c")}));
        QCOMPARE(cancel.value(0), QVariantList({QStringLiteral("B3")}));
        QCOMPARE(older.value(0), QVariantList({room, qlonglong(40)}));
        QCOMPARE(hide.value(0), QVariantList({room, QStringLiteral("m1")}));
        QCOMPARE(mute.value(0), QVariantList({room, QStringLiteral("u9"), qlonglong(123456)}));
        QCOMPARE(ban.value(0), QVariantList({room, QStringLiteral("u8")}));
        QCOMPARE(retag.value(0), QVariantList({room, QStringLiteral("m2"), qlonglong(6)}));
        QCOMPARE(rename.value(0), QVariantList({room, qlonglong(6), QStringLiteral("six")}));
        QCOMPARE(archive.value(0), QVariantList({room, qlonglong(6), QStringLiteral("transfer"), qlonglong(7)}));
        QCOMPARE(history.value(0), QVariantList({room, qlonglong(6), qlonglong(100)}));
        QCOMPARE(opened.value(0), QVariantList({room, qlonglong(6), qlonglong(120)}));
        for (const QSignalSpy *spy : {&send, &post, &sendImages, &postImages, &cancel, &older, &hide, &mute, &ban,
                                      &retag, &rename, &archive, &history, &opened})
            QCOMPARE(spy->size(), 1);

        // A dropped room's view no longer speaks for it.
        QPointer<ChatFeedView> gone = b;
        tab.setFeeds(feeds({"a"}));
        if (gone)
            emit gone->sendRequested(QStringLiteral("late"), 0, QString());
        QTRY_VERIFY(!gone);
        QCOMPARE(send.size(), 1);
    }

    void stripSignalsAreRelayed()
    {
        MessagesTab tab;
        tab.setFeeds(feeds({"a"}));
        QSignalSpy unsubscribe(&tab, &MessagesTab::unsubscribeRequested);
        QSignalSpy mixedMenu(&tab, &MessagesTab::mixedMenuRequested);
        emit tab.chatTabBar()->unsubscribeRequested(QStringLiteral("a"));
        emit tab.chatTabBar()->mixedMenuRequested(QPoint(3, 4));
        QCOMPARE(unsubscribe.value(0), QVariantList({QStringLiteral("a")}));
        QCOMPARE(mixedMenu.value(0), QVariantList({QPoint(3, 4)}));
    }

    void predicatesAreBoundToTheRoomWhenTheViewIsMade()
    {
        MessagesTab tab;
        QStringList calls;
        tab.setCanHidePredicate([&calls](const QString &roomId, const QString &senderId, bool own) {
            calls << QStringLiteral("hide %1 %2 %3").arg(roomId, senderId).arg(own);
            return roomId == QStringLiteral("b");
        });
        tab.setCanMutePredicate([&calls](const QString &roomId, const QString &userId) {
            calls << QStringLiteral("mute %1 %2").arg(roomId, userId);
            return true;
        });
        bool unsubscribeAsked = false;
        tab.setCanUnsubscribePredicate([&unsubscribeAsked](const QString &) { return unsubscribeAsked = true; });
        tab.setFeeds(feeds({"a", "b"}));
        // A later predicate does not reach the views that exist.
        tab.setCanHidePredicate([](const QString &, const QString &, bool) { return false; });
        tab.appendMessage(QStringLiteral("a"), message("m1", 1, "u7"));
        tab.appendMessage(QStringLiteral("b"), message("m2", 2, "u8"));

        std::unique_ptr<QMenu> menuA(tab.feedView("a")->buildMessageMenu(QStringLiteral("m1")));
        std::unique_ptr<QMenu> menuB(tab.feedView("b")->buildMessageMenu(QStringLiteral("m2")));
        QVERIFY(menuA && menuB);
        QVERIFY(!menuA->actions().first()->isEnabled());
        QVERIFY(menuB->actions().first()->isEnabled());
        QVERIFY(calls.contains(QStringLiteral("hide a u7 0")));
        QVERIFY(calls.contains(QStringLiteral("hide b u8 0")));
        QVERIFY(calls.contains(QStringLiteral("mute b u8")));
        QVERIFY(!unsubscribeAsked);
    }

    void viewToggleNamesTheShownMode()
    {
        MessagesTab tab;
        tab.setFeeds(feeds({"a", "b"}));
        QPushButton *toggle = tab.chatTabBar()->viewToggle();
        QCOMPARE(toggle->text(), QStringLiteral("视图：平铺"));
        QVERIFY(toggle->isEnabled());

        toggle->click();
        QVERIFY(tab.feedView("a")->isForumMode());
        QCOMPARE(toggle->text(), QStringLiteral("视图：帖子"));

        tab.setCurrentFeed(QStringLiteral("__mixed__"));
        QCOMPARE(toggle->text(), QStringLiteral("视图：平铺"));
        QVERIFY(!toggle->isEnabled());
        tab.setCurrentFeed(QStringLiteral("a"));
        QCOMPARE(toggle->text(), QStringLiteral("视图：帖子"));
        QVERIFY(toggle->isEnabled());

        // A view leaving forum mode on its own refreshes the toggle only when current.
        tab.feedView("b")->setForumMode(true);
        QCOMPARE(toggle->text(), QStringLiteral("视图：帖子"));
        tab.feedView("a")->setForumMode(false);
        QCOMPARE(toggle->text(), QStringLiteral("视图：平铺"));
    }

    void mergedFeedHiddenRoomsAreReadable()
    {
        MessagesTab tab;
        MixedFeedView *mixed = tab.mixedFeed();
        mixed->setRooms({QStringLiteral("a"), QStringLiteral("b")});
        mixed->setRoomVisible(QStringLiteral("b"), false);
        QCOMPARE(mixed->hiddenRoomIds(), QSet<QString>{QStringLiteral("b")});
        mixed->setRooms({QStringLiteral("a")});
        QVERIFY(mixed->hiddenRoomIds().isEmpty());
    }

    void imagesNeedADownloaderAndAUrl()
    {
        MessagesTab tab;
        ChatAttachment image;
        image.url = QStringLiteral("http://127.0.0.1:1/x.png");
        tab.openImageViewer(image); // no downloader yet
        QVERIFY(tab.findChildren<QDialog *>().isEmpty());
    }

    void bannerOverlayCoversTheTopOfTheFeeds()
    {
        MessagesTab tab;
        tab.resize(500, 400);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        RequestBannerOverlay *overlay = tab.requestBannerOverlay();
        overlay->addRequest(QStringLiteral("r1"), RequestBannerOverlay::Join, QStringLiteral("someone asks"), 0, 0);
        const auto check = [&] {
            const QRect area = tab.feedStack()->geometry();
            QCOMPARE(overlay->x(), area.x());
            QCOMPARE(overlay->y(), area.y());
            QCOMPARE(overlay->width(), area.width());
            QCOMPARE(overlay->height(), overlay->sizeHint().height());
        };
        QTRY_VERIFY(overlay->height() > 0);
        check();
        QCOMPARE(overlay->y(), 32);
        tab.resize(720, 300);
        QTRY_COMPARE(overlay->width(), 720);
        check();
    }
};

KESTOVA_TEST_MAIN(MessagesTabTest)
#include "test_messages_tab.moc"
