#include "ui/chat/chat_compose_dialog.h"

#include "support/test_main.h"

#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>

namespace {

const QList<ChatComposeDialog::TagEntry> kTags{{4, QStringLiteral("four"), 12}, {7, QStringLiteral("seven"), 3}};

QStringList writeImages(const QTemporaryDir &dir, int count)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        QImage image(10 + i, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString path = dir.filePath(QStringLiteral("img%1.png").arg(i));
        image.save(path, "PNG");
        paths << path;
    }
    return paths;
}

QPushButton *toolButton(ChatComposeDialog &dialog, const QString &tip)
{
    for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->toolTip() == tip && button->size() == QSize(28, 26))
            return button;
    }
    return nullptr;
}

QPushButton *sendButton(ChatComposeDialog &dialog)
{
    for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("发送"))
            return button;
    }
    return nullptr;
}

} // namespace

class ChatComposeDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void sendChecks_data()
    {
        QTest::addColumn<bool>("tagsEnabled");
        QTest::addColumn<qint64>("initialTag");
        QTest::addColumn<QString>("newTag"); // "-" for none
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("images");
        QTest::addColumn<QString>("error"); // empty: accepted
        const QString max(2000, QLatin1Char('x'));
        QTest::newRow("empty") << false << qint64(0) << "-"
                               << ""
                               << "   " << 0 << "内容不能为空";
        QTest::newRow("2000 units with spaces around") << false << qint64(0) << "-"
                                                       << ""
                                                       << "  " + max + "  " << 0 << "";
        QTest::newRow("2001 units") << false << qint64(0) << "-"
                                    << "" << max + "y" << 0 << "内容超长 (上限 2000 字)";
        QTest::newRow("tags off, any title") << false << qint64(9) << "-"
                                             << "whatever"
                                             << "hi" << 0 << "";
        QTest::newRow("no tag chosen") << true << qint64(0) << "-"
                                       << ""
                                       << "hi" << 0 << "必须选择一个标签";
        QTest::newRow("unknown initial tag") << true << qint64(99) << "-"
                                             << ""
                                             << "hi" << 0 << "必须选择一个标签";
        QTest::newRow("chosen tag") << true << qint64(4) << "-"
                                    << ""
                                    << "hi" << 0 << "";
        QTest::newRow("images only, chosen tag") << true << qint64(4) << "-"
                                                 << ""
                                                 << "" << 2 << "";
        QTest::newRow("images only, new tag") << true << qint64(0) << "news"
                                              << "T"
                                              << "" << 2 << "内容不能为空";
        QTest::newRow("new tag without name") << true << qint64(0) << "  "
                                              << "T"
                                              << "hi" << 0 << "标签名必填";
        QTest::newRow("new tag without title") << true << qint64(0) << "news"
                                               << " "
                                               << "hi" << 0 << "新帖标题必填";
        QTest::newRow("new tag complete") << true << qint64(0) << "news"
                                          << "T"
                                          << "hi" << 0 << "";
    }
    void sendChecks()
    {
        QFETCH(bool, tagsEnabled);
        QFETCH(qint64, initialTag);
        QFETCH(QString, newTag);
        QFETCH(QString, title);
        QFETCH(QString, content);
        QFETCH(int, images);
        QFETCH(QString, error);
        QTemporaryDir dir;
        ChatComposeDialog dialog(tagsEnabled, initialTag, kTags, true, false);
        if (newTag != QStringLiteral("-"))
            dialog.startNewTag(newTag);
        dialog.titleField()->setText(title);
        dialog.editorWidget()->setPlainText(content);
        if (images > 0)
            dialog.addImages(writeImages(dir, images));
        sendButton(dialog)->click();
        if (error.isEmpty()) {
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(dialog.errorText()->isHidden());
        } else {
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QCOMPARE(dialog.errorText()->text(), error);
            QVERIFY(!dialog.errorText()->isHidden());
            // A refused send keeps everything entered.
            QCOMPARE(dialog.editorWidget()->toPlainText(), content);
            QCOMPARE(dialog.images().size(), images);
        }
    }

    void tagButtonStates()
    {
        ChatComposeDialog off(false, 0, kTags, true, false);
        QCOMPARE(off.tagButtonWidget()->text(), QStringLiteral("当前房间未启用标签"));
        QVERIFY(!off.tagButtonWidget()->isEnabled());

        ChatComposeDialog none(true, 0, kTags, true, false);
        QCOMPARE(none.tagButtonWidget()->text(), QStringLiteral("选择标签"));
        QCOMPARE(none.tagButtonWidget()->font().weight(), QFont::Normal);

        ChatComposeDialog locked(true, 7, kTags, true, true);
        QCOMPARE(locked.tagButtonWidget()->text(), QStringLiteral("seven - 3条消息"));
        QCOMPARE(locked.tagButtonWidget()->font().weight(), QFont::Bold);
        locked.tagButtonWidget()->click();
        QVERIFY(locked.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly).size() > 0);
        for (QObject *child : locked.children())
            QVERIFY(QByteArray(child->metaObject()->className()) != "DropdownMenu");

        ChatComposeDialog open(true, 4, kTags, true, false);
        open.tagButtonWidget()->click();
        bool picker = false;
        for (QObject *child : open.children())
            picker = picker || QByteArray(child->metaObject()->className()) == "DropdownMenu";
        QVERIFY(picker);

        open.startNewTag(QStringLiteral(" news "));
        QCOMPARE(open.tagButtonWidget()->text(), QStringLiteral("news - 新标签"));
        QCOMPARE(open.titleField()->placeholderText(), QStringLiteral("标题（新标签首楼必须输入标题）"));
        QVERIFY(open.createsNewTag());
        QCOMPARE(open.tagId(), 0);
        open.selectTag(7);
        QVERIFY(!open.createsNewTag());
        QCOMPARE(open.tagId(), 7);
        QCOMPARE(open.titleField()->placeholderText(), QStringLiteral("标题 (可选)"));
        QCOMPARE(open.titleField()->maxLength(), 60);
    }

    void wrapAndQuote()
    {
        ChatComposeDialog dialog(false, 0, {}, false, false);
        QPlainTextEdit *editor = dialog.editorWidget();
        toolButton(dialog, QStringLiteral("加粗"))->click();
        QCOMPARE(editor->toPlainText(), QStringLiteral("****"));
        QCOMPARE(editor->textCursor().position(), 2);

        editor->setPlainText(QStringLiteral("say word now"));
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(4);
        cursor.setPosition(8, QTextCursor::KeepAnchor);
        editor->setTextCursor(cursor);
        toolButton(dialog, QStringLiteral("剧透"))->click();
        QCOMPARE(editor->toPlainText(), QStringLiteral("say ||word|| now"));

        editor->setPlainText(QStringLiteral("first\nsecond line"));
        cursor = editor->textCursor();
        cursor.setPosition(10); // inside "second"
        editor->setTextCursor(cursor);
        toolButton(dialog, QStringLiteral("引用"))->click();
        QCOMPARE(editor->toPlainText(), QStringLiteral("first\n> second line"));
        QCOMPARE(editor->textCursor().block().text(), QStringLiteral("> second line"));
        QCOMPARE(editor->textCursor().position(), 12);
    }

    void imagesUpToFourWithChips()
    {
        QTemporaryDir dir;
        ChatComposeDialog dialog(false, 0, {}, false, false);
        QPushButton *add = dialog.addImageButtonWidget();
        QCOMPARE(add->text(), QStringLiteral("添加图片"));
        dialog.addImages(writeImages(dir, 5));
        QCOMPARE(dialog.images().size(), 4);
        QVERIFY(!dialog.errorText()->isHidden());
        QVERIFY(add->isHidden());

        // Removing runs after the click handler, through the event loop.
        auto removeButtons = [&] {
            QList<QPushButton *> out;
            for (QPushButton *b : dialog.attachRowWidget()->findChildren<QPushButton *>()) {
                if (b->toolTip() == QStringLiteral("移除"))
                    out << b;
            }
            return out;
        };
        QCOMPARE(removeButtons().size(), 4);
        const QString secondName = dialog.images().at(1).fileName;
        removeButtons().at(1)->click();
        QTRY_COMPARE(dialog.images().size(), 3);
        for (const ChatPendingImage &image : dialog.images())
            QVERIFY(image.fileName != secondName);
        QVERIFY(!add->isHidden());
        QCOMPARE(add->size(), QSize(46, 46));
        QCOMPARE(add->text(), QString());
        for (int left = 3; left > 0; --left) {
            removeButtons().first()->click();
            QTRY_COMPARE(dialog.images().size(), left - 1);
        }
        QCOMPARE(add->text(), QStringLiteral("添加图片"));
        QCOMPARE(add->maximumWidth(), QWIDGETSIZE_MAX);
    }

    void placeholderHidesDuringComposition()
    {
        ChatComposeDialog dialog(false, 0, {}, false, false);
        QPlainTextEdit *editor = dialog.editorWidget();
        QCOMPARE(editor->placeholderText(), QStringLiteral("内容…"));
        QInputMethodEvent composing(QStringLiteral("ni"), {});
        QApplication::sendEvent(editor, &composing);
        QCOMPARE(editor->placeholderText(), QString());
        QInputMethodEvent done(QString(), {});
        QApplication::sendEvent(editor, &done);
        QCOMPARE(editor->placeholderText(), QStringLiteral("内容…"));
    }
};

KESTOVA_TEST_MAIN(ChatComposeDialogTest)
#include "test_chat_compose_dialog.moc"
