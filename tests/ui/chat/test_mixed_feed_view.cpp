#include "ui/chat/mixed_feed_view.h"

#include "support/test_main.h"
#include "theme/style_helpers.h"

#include "support/picture_check.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QPointer>
#include <QTimer>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QVBoxLayout>

#include "ui/chat/chat_feed_list.h"

namespace {

int counter = 0;

MixedFeedView::Item item(const QString &room, const QString &sender, qint64 tagId = 0)
{
    MixedFeedView::Item i;
    i.roomId = room;
    i.messageId = QStringLiteral("m%1").arg(++counter);
    i.sentAt = QDateTime(QDate(2026, 12, 10), QTime(10, 30)).toMSecsSinceEpoch();
    i.senderId = sender;
    i.content = QStringLiteral("body %1 ||one|| ||two||").arg(counter);
    i.tagId = tagId;
    return i;
}

// The widget of list item `index`, or null while it is away from the viewport.
QWidget *shownWidget(const MixedFeedView &view, int index)
{
    return view.feedList()->at(index).widget;
}

// "H:<room>[#chip]" for a header, "S:<sender label>" or "-" (no sender) for a row. Items
// near the viewport are read from their widgets, the others from what the view keeps to
// build them again.
QStringList trace(const MixedFeedView &view)
{
    QStringList out;
    for (int i = 0; i < view.feedList()->count(); ++i) {
        QWidget *w = shownWidget(view, i);
        if (!w) {
            const MixedFeedView::RowInfo info = view.rowInfo(i);
            if (info.header)
                out << QStringLiteral("H:") + info.roomName
                           + (info.chipText.isEmpty() ? QString() : QStringLiteral("#") + info.chipText);
            else
                out << (info.showsSender ? QStringLiteral("S:") + info.senderLabel : QStringLiteral("-"));
            continue;
        }
        const QList<QLabel *> labels = w->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
        if (w->layout()->contentsMargins().left() == 12) {
            QString header = QStringLiteral("H:")
                             + labels.at(0)->text().section(QLatin1Char('>'), 2, 2).section(QLatin1Char('<'), 0, 0);
            if (labels.size() == 3)
                header += QStringLiteral("#") + labels.at(1)->text();
            out << header;
        } else {
            out << (labels.size() >= 2 ? QStringLiteral("S:") + labels.first()->text() : QStringLiteral("-"));
        }
    }
    return out;
}

} // namespace

class MixedFeedViewTest : public QObject
{
    Q_OBJECT
private slots:
    void groupsByRoomTagAndSender()
    {
        MixedFeedView view;
        view.userNameResolver = [](const QString &id) { return id.toUpper(); };
        view.tagNameResolver = [](const QString &, qint64 tag) {
            return tag == 5 ? QStringLiteral("five") : QString();
        };
        view.appendItem(item("A", "u1"));
        view.appendItem(item("A", "u1"));
        view.appendItem(item("B", "u1"));
        view.appendItem(item("A", "u2"));
        view.appendItem(item("A", "u2", 5));
        view.appendItem(item("A", "u2", 6));
        QCOMPARE(trace(view), QStringList({"H:A", "S:U1：", "-", "H:B", "S:U1：", "H:A", "S:U2：", "H:A#five", "S:U2：",
                                           "H:A#标签", "S:U2："}));
        // The row without sender is indented by the width of the sender label above.
        QWidget *second = shownWidget(view, 2);
        QWidget *indent = second->layout()->itemAt(0)->widget();
        QCOMPARE(indent->width(), QFontMetrics(view.font()).horizontalAdvance(QStringLiteral("U1：")));
    }

    void hiddenMessagesAndTheNextSender()
    {
        MixedFeedView view;
        MixedFeedView::Item hidden = item("A", "u1");
        hidden.hidden = true;
        hidden.attachments = {ChatAttachment{"a", "", "", 0, 0, "image/png", 1, "a.png"}};
        view.appendItem(item("A", "u1"));
        view.appendItem(hidden);
        view.appendItem(item("A", "u1"));
        QCOMPARE(trace(view), QStringList({"H:A", "S:u1：", "-", "S:u1："}));
        QVERIFY(view.bodyLabel(hidden.messageId)->text().contains(QStringLiteral("（消息被隐藏）")));
        QVERIFY(shownWidget(view, 2)->findChildren<QLabel *>().size() == 1); // no thumbnails

        const QString id = view.storedItems().first().messageId;
        view.markHidden("A", id);
        QVERIFY(view.bodyLabel(id)->text().contains(QStringLiteral("（消息被隐藏）")));
        QVERIFY(view.storedItems().first().content.isEmpty());
        QCOMPARE(view.rebuildCount(), 0);
    }

    void capAtFiveHundredDropsTheOldestRowAndScrolls()
    {
        MixedFeedView view;
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Runs of two rooms and two senders, so that the oldest row opens a group whose
        // next row is a continuation.
        for (int i = 0; i < MixedFeedView::kMaxItems; ++i)
            view.appendItem(item(QStringLiteral("R%1").arg((i / 4) % 2), QStringLiteral("u%1").arg((i / 2) % 2)));
        QCOMPARE(view.rebuildCount(), 0);
        const QString first = view.storedItems().first().messageId;
        QLabel *kept = view.bodyLabel(view.storedItems().last().messageId);
        QVERIFY(kept);
        for (int i = 0; i < 3; ++i) {
            view.appendItem(item("R0", "u9"));
            QCOMPARE(view.storedItems().size(), MixedFeedView::kMaxItems);
            // Only the oldest row goes; the others stay the same widgets, and what is left
            // reads as a view built from the stored items would.
            const QStringList incremental = trace(view);
            MixedFeedView fresh;
            for (const MixedFeedView::Item &stored : view.storedItems())
                fresh.appendItem(stored);
            QCOMPARE(incremental, trace(fresh));
        }
        QVERIFY(view.storedItems().first().messageId != first);
        QCOMPARE(view.rebuildCount(), 0);
        QCOMPARE(view.bodyLabel(view.storedItems().at(MixedFeedView::kMaxItems - 4).messageId), kept);
        QScrollBar *bar = view.scrollArea()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
    }

    void hiddenRoomsKeepTheirItems()
    {
        MixedFeedView view;
        view.appendItem(item("A", "u1"));
        view.setRoomVisible("B", false);
        QCOMPARE(view.rebuildCount(), 1);
        view.setRoomVisible("B", false); // already hidden
        QCOMPARE(view.rebuildCount(), 1);
        view.appendItem(item("B", "u2"));
        view.appendItem(item("A", "u1"));
        QCOMPARE(trace(view), QStringList({"H:A", "S:u1：", "-"}));
        view.setRoomVisible("B", true);
        QCOMPARE(trace(view), QStringList({"H:A", "S:u1：", "H:B", "S:u2：", "H:A", "S:u1："}));

        view.setRooms({"A", "B"}); // keeps everything: no rebuild
        QCOMPARE(view.rebuildCount(), 2);
        view.setRooms({"A"});
        QCOMPARE(view.rebuildCount(), 3);
        QCOMPARE(view.storedItems().size(), 2);
        QCOMPARE(trace(view), QStringList({"H:A", "S:u1：", "-"}));
    }

    // Reading older messages keeps the view still while messages arrive, also at the cap,
    // where each arrival drops the oldest row above the one being read.
    void readingOlderMessagesKeepsTheViewStill()
    {
        MixedFeedView view;
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (int i = 0; i < MixedFeedView::kMaxItems - 10; ++i)
            view.appendItem(item(QStringLiteral("R%1").arg((i / 4) % 2), QStringLiteral("u%1").arg((i / 2) % 2)));
        QScrollBar *bar = view.scrollArea()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        bar->setValue(bar->maximum() / 2);
        QCoreApplication::processEvents();
        QWidget *viewport = view.scrollArea()->viewport();
        QWidget *reading = nullptr;
        for (int i = 0; i < view.feedList()->count() && !reading; ++i) {
            QWidget *w = shownWidget(view, i);
            if (w && w->isVisible() && w->mapTo(viewport, QPoint()).y() >= 60)
                reading = w;
        }
        QVERIFY(reading);
        const int readingY = reading->mapTo(viewport, QPoint()).y();
        for (int i = 0; i < 30; ++i) { // crosses the cap
            view.appendItem(item("R1", "u7"));
            QCoreApplication::processEvents();
            QCOMPARE(reading->mapTo(viewport, QPoint()).y(), readingY);
        }
        QCOMPARE(view.storedItems().size(), MixedFeedView::kMaxItems);
        // Back at the bottom, the view follows new messages again.
        bar->setValue(bar->maximum());
        view.appendItem(item("R0", "u8"));
        QTRY_COMPARE(bar->value(), bar->maximum());
        QVERIFY(view.bodyLabel(view.storedItems().last().messageId)->isVisible());
    }

    // The link prompt opens over the window: a rebuild that replaces every row while it
    // runs neither takes it with it nor crashes.
    void linkPromptSurvivesARebuild()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *view = new MixedFeedView(&window);
        layout->addWidget(view);
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        MixedFeedView::Item linked = item("A", "u1");
        linked.content = QStringLiteral("see https://example.org/x");
        view->appendItem(linked);
        QLabel *body = view->bodyLabel(linked.messageId);
        QVERIFY(body);
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
            view->setRoomVisible("B", false); // rebuilds every row
            for (int i = 0; i < 5; ++i)
                view->appendItem(item("A", "u2"));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            survived = !prompt.isNull() && prompt->isVisible();
            dialog->reject();
        });
        poll.start();
        emit body->linkActivated(QStringLiteral("https://example.org/x"));
        QTRY_VERIFY(seen);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(survived);
        QCOMPARE(view->rebuildCount(), 1);
    }

    // The merged feed at its cap under the application style sheet: every row and header in
    // view is painted.
    void pictureOfTheMergedFeed()
    {
        QFile sheet(QStringLiteral(":/minimal-theme.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        const QString previous = qApp->styleSheet();
        qApp->setStyleSheet(style::resolveTheme(QString::fromUtf8(sheet.readAll())));
        MixedFeedView view;
        view.roomNameResolver = [](const QString &id) { return QStringLiteral("房间 ") + id; };
        view.channelNameResolver = [](const QString &) { return QStringLiteral("频道"); };
        view.userNameResolver = [](const QString &id) { return QStringLiteral("用户") + id; };
        view.tagNameResolver = [](const QString &, qint64 tag) { return QStringLiteral("话题%1").arg(tag); };
        view.resize(560, 640);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (int i = 0; i < MixedFeedView::kMaxItems + 40; ++i) {
            MixedFeedView::Item it = item(QStringLiteral("R%1").arg((i / 5) % 3), QStringLiteral("u%1").arg((i / 2) % 3),
                                          (i / 10) % 4 == 3 ? 7 : 0);
            if (i % 9 == 0)
                it.content += QStringLiteral(" and a longer line that wraps in the merged feed as well, "
                                             "with a link to example.org and **bold** words");
            if (i % 31 == 0)
                it.attachments = {ChatAttachment{QStringLiteral("a%1").arg(i), "", "", 300, 200, "image/png", 1, "a"}};
            view.appendItem(it);
            if (i % 50 == 0)
                QCoreApplication::processEvents();
        }
        QScrollBar *bar = view.scrollArea()->verticalScrollBar();
        QTRY_COMPARE(bar->value(), bar->maximum());
        QCoreApplication::processEvents();
        QWidget *viewport = view.scrollArea()->viewport();
        const QImage image = view.grab().toImage();
        QDir().mkpath(QStringLiteral(KESTOVA_SCREENSHOT_DIR));
        QVERIFY(image.save(QStringLiteral(KESTOVA_SCREENSHOT_DIR "/mixed_feed.png")));
        QList<testsupport::PictureRegion> rows;
        for (int i = 0; i < view.feedList()->count(); ++i) {
            QWidget *w = shownWidget(view, i);
            if (!w || !w->isVisible())
                continue;
            const testsupport::PictureRegion row =
                testsupport::regionThrough(&view, viewport, w, QStringLiteral("item %1").arg(i));
            if (row.rect.height() >= 12)
                rows.append(row);
        }
        const QStringList blank = testsupport::blankRegions(image, rows);
        QVERIFY2(blank.isEmpty(), qPrintable(blank.join(QStringLiteral(", "))));
        QVERIFY(rows.size() >= 8);
        qApp->setStyleSheet(previous);
    }

    void retagRebuildsOnlyOnChange()
    {
        MixedFeedView view;
        view.appendItem(item("A", "u1", 2));
        const QString id = view.storedItems().first().messageId;
        view.retagMessage("A", id, 2);
        QCOMPARE(view.rebuildCount(), 0);
        view.retagMessage("A", id, 3);
        QCOMPARE(view.rebuildCount(), 1);
        QCOMPARE(view.storedItems().first().tagId, 3);
    }

    void roomLinkAndThumbnails()
    {
        MixedFeedView view;
        view.roomNameResolver = [](const QString &id) { return QStringLiteral("Room <") + id + QStringLiteral(">"); };
        view.channelNameResolver = [](const QString &) { return QStringLiteral("Chan"); };
        QSignalSpy jumps(&view, &MixedFeedView::roomJumpRequested);
        QSignalSpy images(&view, &MixedFeedView::imageActivated);
        MixedFeedView::Item withImages = item("A", "u1");
        withImages.attachments = {ChatAttachment{"x", "", "", 1000, 500, "image/png", 1, "a.png"},
                                  ChatAttachment{"y", "", "", 0, 0, "image/png", 1, "b.png"}};
        view.appendItem(withImages);
        auto *name = shownWidget(view, 0)->findChild<QLabel *>();
        QVERIFY(name->text().contains(QStringLiteral("Chan/<a href=\"jump\"")));
        QVERIFY(name->text().contains(QStringLiteral("Room &lt;A&gt;")));
        emit name->linkActivated(QStringLiteral("jump"));
        QCOMPARE(jumps.value(0).at(0).toString(), QStringLiteral("A"));

        QList<QLabel *> thumbs;
        for (QLabel *label : shownWidget(view, 1)->findChildren<QLabel *>()) {
            if (label->cursor().shape() == Qt::PointingHandCursor)
                thumbs << label;
        }
        QCOMPARE(thumbs.size(), 2);
        QCOMPARE(thumbs.at(0)->size(), QSize(158, 79));
        QCOMPARE(thumbs.at(1)->size(), QSize(158, 110));
        QTest::mouseClick(thumbs.at(1), Qt::RightButton);
        QCOMPARE(images.size(), 0);
        QTest::mouseClick(thumbs.at(1), Qt::LeftButton);
        QCOMPARE(images.value(0).at(0).value<ChatAttachment>().attachmentId, QStringLiteral("y"));
    }

    void spoilersOpenOneByOneAndCloseOnRebuild()
    {
        MixedFeedView view;
        view.appendItem(item("A", "u1"));
        const QString id = view.storedItems().first().messageId;
        QLabel *body = view.bodyLabel(id);
        const QString closed = body->text();
        emit body->linkActivated(QStringLiteral("spoiler:1"));
        const QString second = body->text();
        QVERIFY(second != closed);
        emit body->linkActivated(QStringLiteral("spoiler:0"));
        QVERIFY(body->text() != second);
        view.setRoomVisible("A", false);
        view.setRoomVisible("A", true);
        QCOMPARE(view.bodyLabel(id)->text(), closed);
    }
};

KESTOVA_TEST_MAIN(MixedFeedViewTest)
#include "test_mixed_feed_view.moc"
