#include "chat_feed_test_util.h"

#include "support/test_main.h"

#include <QBuffer>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

using namespace chattest;

namespace {

QString writePng(const QTemporaryDir &dir, const QString &name)
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const QString path = dir.filePath(name);
    image.save(path, "PNG");
    return path;
}

QString writeText(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("not an image");
    return path;
}

ChatPendingImage pending(const QString &name)
{
    return ChatPendingImage{name, QByteArray("bytes-") + name.toUtf8(), QStringLiteral("image/png"), 2, 2};
}

QPushButton *button(QWidget *card, const QString &text)
{
    for (QPushButton *b : card->findChildren<QPushButton *>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

QLabel *errorLabelOf(const ChatFeedView &view, const QString &batchId)
{
    return view.uploads().value(batchId).errorLabel;
}

// Sends a drag-enter and, when it was accepted, a drop of the URLs.
bool dragAndDrop(ChatFeedView &view, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &drop);
    return true;
}

} // namespace

class ChatFeedUploadsTest : public QObject
{
    Q_OBJECT
private slots:
    void cardFollowsProgressFailureRetryAndRemoval()
    {
        ChatFeedView view;
        QSignalSpy sent(&view, &ChatFeedView::sendImagesRequested);
        QSignalSpy cancelled(&view, &ChatFeedView::uploadCancelRequested);
        const QList<ChatPendingImage> images{pending("a.png"), pending("b.png")};
        view.sendImages(images, QStringLiteral("hi"), 9, QStringLiteral("t"));
        QCOMPARE(sent.size(), 1);
        const QString first = sent.at(0).at(0).toString();
        QCOMPARE(first.size(), 36);
        QCOMPARE(sent.at(0).at(1).value<QList<ChatPendingImage>>().size(), 2);
        QCOMPARE(trace(view), QStringList({"U"}));
        QPointer<QWidget> card = view.uploads().value(first).card;
        QVERIFY(card->findChild<QLabel *>()->text().endsWith(QStringLiteral("a.png 等 2 张")));

        view.setUploadProgress(first, 40);
        QCOMPARE(view.uploads().value(first).progressBar->value(), 40);
        view.setUploadProgress(QStringLiteral("unknown"), 10); // ignored
        view.failUpload(QStringLiteral("unknown"), QStringLiteral("x"));

        view.failUpload(first, QStringLiteral("upload rejected"));
        QVERIFY(view.uploads().value(first).progressBar->isHidden());
        QCOMPARE(errorLabelOf(view, first)->text(), QStringLiteral("upload rejected"));
        QVERIFY(!errorLabelOf(view, first)->isHidden());
        QVERIFY(!view.uploads().value(first).actionRow->isHidden());
        QVERIFY(!button(card, QStringLiteral("重试"))->isHidden());

        button(card, QStringLiteral("重试"))->click();
        QCOMPARE(sent.size(), 2);
        const QString second = sent.at(1).at(0).toString();
        QVERIFY(second != first);
        QVERIFY(!view.uploads().contains(first));
        QCOMPARE(sent.at(1).mid(2), QVariantList({QStringLiteral("hi"), qlonglong(9), QStringLiteral("t")}));
        QCOMPARE(sent.at(1).at(1).value<QList<ChatPendingImage>>().at(1).data, images.at(1).data);
        QTRY_VERIFY(!card); // the old card goes away

        QPointer<QWidget> secondCard = view.uploads().value(second).card;
        view.failUpload(second, QStringLiteral("again"));
        button(secondCard, QStringLiteral("删除"))->click();
        QVERIFY(view.uploads().isEmpty());
        QCOMPARE(cancelled.size(), 0);
        QTRY_VERIFY(!secondCard);

        view.sendImages({pending("c.png")}, QString(), 0, QString());
        const QString third = sent.at(2).at(0).toString();
        QWidget *thirdCard = view.uploads().value(third).card;
        QVERIFY(thirdCard->findChild<QLabel *>()->text().endsWith(QStringLiteral("c.png")));
        button(thirdCard, QStringLiteral("✕"))->click();
        QCOMPARE(cancelled.value(0).at(0).toString(), third);
        QVERIFY(view.uploads().isEmpty());

        view.sendImages({pending("d.png")}, QString(), 0, QString());
        view.finishUpload(sent.at(3).at(0).toString());
        QVERIFY(view.uploads().isEmpty());
        view.sendImages({}, QString(), 0, QString()); // nothing for no images
        QCOMPARE(sent.size(), 4);
    }

    void retryOfAPostPostsAgain()
    {
        ChatFeedView view;
        QSignalSpy posted(&view, &ChatFeedView::postImagesRequested);
        view.postImages({pending("a.png")}, QStringLiteral("news"), QStringLiteral("Title"), QStringLiteral("body"));
        const QString first = posted.at(0).at(0).toString();
        QVERIFY(view.uploads().value(first).card->findChild<QLabel *>()->text().endsWith(QStringLiteral("Title")));
        view.failUpload(first, QStringLiteral("no"));
        button(view.uploads().value(first).card, QStringLiteral("重试"))->click();
        QCOMPARE(posted.size(), 2);
        QCOMPARE(posted.at(1).mid(2),
                 QVariantList({QStringLiteral("news"), QStringLiteral("Title"), QStringLiteral("body")}));
    }

    void dragsWithoutLocalImagesAreRefused_data()
    {
        QTest::addColumn<bool>("remote");
        QTest::newRow("text file") << false;
        QTest::newRow("remote image address") << true;
    }
    void dragsWithoutLocalImagesAreRefused()
    {
        QFETCH(bool, remote);
        QTemporaryDir dir;
        ChatFeedView view;
        QSignalSpy sent(&view, &ChatFeedView::sendImagesRequested);
        const QUrl url = remote ? QUrl(QStringLiteral("http://127.0.0.1/a.png"))
                                : QUrl::fromLocalFile(writeText(dir, QStringLiteral("notes.png")));
        QVERIFY(!dragAndDrop(view, {url}));
        QVERIFY(view.dropOverlayLabel()->isHidden());
        QCOMPARE(sent.size(), 0);
        QVERIFY(view.uploads().isEmpty());
    }

    void mixedDropSendsTheImagesAndReportsTheRest()
    {
        QTemporaryDir dir;
        ChatFeedView view;
        view.resize(400, 300);
        QSignalSpy sent(&view, &ChatFeedView::sendImagesRequested);
        const QList<QUrl> urls{QUrl::fromLocalFile(writePng(dir, QStringLiteral("one.png"))),
                               QUrl::fromLocalFile(writeText(dir, QStringLiteral("two.txt"))),
                               QUrl::fromLocalFile(writePng(dir, QStringLiteral("three.png")))};
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &enter);
        QVERIFY(enter.isAccepted());
        QVERIFY(!view.dropOverlayLabel()->isHidden());
        QCOMPARE(view.dropOverlayLabel()->text(), QStringLiteral("松开以发送图片"));
        QCOMPARE(view.dropOverlayLabel()->geometry(), QRect(8, 8, 384, 284));
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &drop);
        QVERIFY(view.dropOverlayLabel()->isHidden());

        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).at(1).value<QList<ChatPendingImage>>().size(), 2);
        QCOMPARE(trace(view), QStringList({"U", "U"}));
        QString failed;
        for (auto it = view.uploads().cbegin(); it != view.uploads().cend(); ++it) {
            if (it->images.isEmpty())
                failed = it.key();
        }
        QWidget *card = view.uploads().value(failed).card;
        QVERIFY(card->findChild<QLabel *>()->text().endsWith(QStringLiteral("部分图片未发送")));
        QVERIFY(errorLabelOf(view, failed)->text().contains(QStringLiteral("two.txt")));
        QVERIFY(button(card, QStringLiteral("重试"))->isHidden());
        QWidget *sending = view.uploads().value(sent.at(0).at(0).toString()).card;
        QVERIFY(sending->findChild<QLabel *>()->text().endsWith(QStringLiteral("one.png 等 2 张")));
    }

    void imagesNeedATagWhenTagsAreOn()
    {
        QTemporaryDir dir;
        ChatFeedView view;
        QSignalSpy sent(&view, &ChatFeedView::sendImagesRequested);
        view.setTags(true, {tag(7, QStringLiteral("seven"))});
        const QUrl url = QUrl::fromLocalFile(writePng(dir, QStringLiteral("a.png")));
        QVERIFY(dragAndDrop(view, {url}));
        QCOMPARE(sent.size(), 0);
        QCOMPARE(view.uploads().size(), 1);
        const QString id = view.uploads().keys().first();
        QWidget *card = view.uploads().value(id).card;
        QVERIFY(card->findChild<QLabel *>()->text().endsWith(QStringLiteral("图片")));
        QCOMPARE(errorLabelOf(view, id)->text(), QStringLiteral("必须选择一个标签才能发送图片"));
        QVERIFY(button(card, QStringLiteral("重试"))->isHidden());
        button(card, QStringLiteral("重试"))->click(); // a hidden retry does nothing either
        QCOMPARE(sent.size(), 0);

        view.selectTag(7);
        QVERIFY(dragAndDrop(view, {url}));
        QCOMPARE(view.dropOverlayLabel()->text().isEmpty(), false);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).at(3).toLongLong(), 7);
    }

    void pasteSendsAnImageAndLeavesTextAlone()
    {
        ChatFeedView view;
        QSignalSpy sent(&view, &ChatFeedView::sendImagesRequested);
        QLineEdit *input = view.inputLine();
        QApplication::clipboard()->setText(QStringLiteral("plain"));
        QTest::keySequence(input, QKeySequence::Paste);
        QCOMPARE(input->text(), QStringLiteral("plain"));
        QCOMPARE(sent.size(), 0);

        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(Qt::green);
        QApplication::clipboard()->setImage(image);
        QTest::keySequence(input, QKeySequence::Paste);
        QCOMPARE(input->text(), QStringLiteral("plain"));
        QCOMPARE(sent.size(), 1);
        const auto images = sent.at(0).at(1).value<QList<ChatPendingImage>>();
        QCOMPARE(images.size(), 1);
        QCOMPARE(images.first().fileName, QStringLiteral("剪贴板图片.png"));
        QCOMPARE(images.first().mime, QStringLiteral("image/png"));
    }

    void notificationsAfterAClearTouchNoDeletedCard()
    {
        ChatFeedView view;
        QSignalSpy sent(&view, &ChatFeedView::sendImagesRequested);
        view.sendImages({pending("a.png")}, QString(), 0, QString());
        const QString id = sent.at(0).at(0).toString();
        view.clearFeed();
        QVERIFY(view.uploads().contains(id));
        view.setUploadProgress(id, 50);
        view.failUpload(id, QStringLiteral("late"));
        view.finishUpload(id);
        QVERIFY(!view.uploads().contains(id));
    }
};

KESTOVA_TEST_MAIN(ChatFeedUploadsTest)
#include "test_chat_feed_uploads.moc"
