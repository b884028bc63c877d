#include "ui/chat/chat_message_row.h"
#include "ui/chat/chat_text_label.h"

#include "support/test_main.h"

#include <QContextMenuEvent>
#include <QGridLayout>
#include <QLabel>

using Message = ChatFeedView::Message;

namespace {

Message sample()
{
    Message m;
    m.id = QStringLiteral("m1");
    m.senderId = QStringLiteral("u1");
    m.senderName = QStringLiteral("Alice");
    m.content = QStringLiteral("one ||a|| two ||b|| three ||c||");
    m.createdAt = QDateTime(QDate(2026, 12, 10), QTime(9, 5)).toMSecsSinceEpoch();
    return m;
}

ChatAttachment attachment(int width, int height)
{
    ChatAttachment a;
    a.attachmentId = QStringLiteral("a%1x%2").arg(width).arg(height);
    a.width = width;
    a.height = height;
    return a;
}

} // namespace

class ChatMessageRowTest : public QObject
{
    Q_OBJECT
private slots:
    void headerAndAvatar()
    {
        Message m = sample();
        ChatMessageRow row(m, false, QString(), true);
        QCOMPARE(row.avatarLabel()->text(), QStringLiteral("A"));
        QCOMPARE(row.avatarLabel()->size(), QSize(44, 44));
        QVERIFY(row.headerLabel()->text().contains(QStringLiteral(">Alice</b>")));
        QVERIFY(row.headerLabel()->text().contains(QStringLiteral(">09:05</span>")));

        m.senderName = QStringLiteral("<b>x");
        row.applyMessage(m, QString());
        QVERIFY(row.headerLabel()->text().contains(QStringLiteral("&lt;b&gt;x")));
        m.senderName.clear();
        row.applyMessage(m, QString());
        QCOMPARE(row.avatarLabel()->text(), QStringLiteral("?"));
        // A name that starts with a character outside the basic plane keeps it whole.
        m.senderName = QString::fromUtf8("\xF0\x9F\x98\x80 smile");
        row.applyMessage(m, QString());
        QCOMPARE(row.avatarLabel()->text(), QString::fromUtf8("\xF0\x9F\x98\x80"));
    }

    void compactRowHasNoHeaderAndAnEmptyAvatarColumn()
    {
        Message m = sample();
        m.tagId = 3;
        ChatMessageRow row(m, true, QStringLiteral("tag"), true);
        row.show();
        QVERIFY(!row.headerLabel()->isVisible());
        QVERIFY(!row.tagChipLabel()->isVisible());
        QCOMPARE(row.avatarLabel()->size(), QSize(44, 0));
        QCOMPARE(row.avatarLabel()->text(), QString());
        QCOMPARE(row.layout()->contentsMargins().top(), 1);
        row.setCompact(false);
        QVERIFY(row.tagChipLabel()->isVisible());
        QCOMPARE(row.avatarLabel()->size(), QSize(44, 44));
        QCOMPARE(row.layout()->contentsMargins().top(), 14);
    }

    void tagChip_data()
    {
        QTest::addColumn<qint64>("tagId");
        QTest::addColumn<bool>("showChip");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("text");
        QTest::newRow("flat page, known tag") << qint64(3) << true << "News" << true << "News";
        QTest::newRow("flat page, unknown name") << qint64(3) << true << "" << true << "标签";
        QTest::newRow("thread page") << qint64(3) << false << "News" << false << "";
        QTest::newRow("no tag") << qint64(0) << true << "News" << false << "";
    }
    void tagChip()
    {
        QFETCH(qint64, tagId);
        QFETCH(bool, showChip);
        QFETCH(QString, name);
        Message m = sample();
        m.tagId = tagId;
        ChatMessageRow row(m, false, name, showChip);
        row.show();
        QTEST(row.tagChipLabel()->isVisible(), "visible");
        if (row.tagChipLabel()->isVisible())
            QTEST(row.tagChipLabel()->text(), "text");
    }

    void hiddenMessage()
    {
        Message m = sample();
        m.hidden = true;
        m.title = QStringLiteral("Title");
        m.attachments = {attachment(10, 10)};
        ChatMessageRow row(m, false, QString(), true);
        QVERIFY(row.bodyLabel()->text().contains(QStringLiteral("（消息被隐藏）")));
        QVERIFY(!row.bodyLabel()->text().contains(QStringLiteral("Title")));
        QVERIFY(row.thumbnailLabels().isEmpty());
        QVERIFY(row.thumbnailArea()->isHidden());
    }

    void thumbnailBoxes_data()
    {
        QTest::addColumn<QList<ChatAttachment>>("attachments");
        QTest::addColumn<QList<QSize>>("sizes");
        QTest::addColumn<QList<QPoint>>("cells");
        QTest::newRow("one wide image") << QList<ChatAttachment>{attachment(1000, 500)} << QList<QSize>{{320, 160}}
                                        << QList<QPoint>{{0, 0}};
        QTest::newRow("one small image") << QList<ChatAttachment>{attachment(100, 80)} << QList<QSize>{{100, 80}}
                                         << QList<QPoint>{{0, 0}};
        QTest::newRow("one tall image") << QList<ChatAttachment>{attachment(100, 1000)} << QList<QSize>{{20, 200}}
                                        << QList<QPoint>{{0, 0}};
        QTest::newRow("three without sizes")
            << QList<ChatAttachment>{attachment(0, 0), attachment(0, 0), attachment(0, 0)}
            << QList<QSize>{{158, 110}, {158, 110}, {158, 110}} << QList<QPoint>{{0, 0}, {1, 0}, {0, 1}};
    }
    void thumbnailBoxes()
    {
        QFETCH(QList<ChatAttachment>, attachments);
        QFETCH(QList<QSize>, sizes);
        QFETCH(QList<QPoint>, cells);
        Message m = sample();
        m.attachments = attachments;
        ChatMessageRow row(m, false, QString(), true);
        QList<QSize> requested;
        row.loadThumbnail = [&](QLabel *, ChatAttachment, QSize size) { requested << size; };
        row.buildAttachments();
        QCOMPARE(requested, sizes);
        QCOMPARE(row.thumbnailLabels().size(), sizes.size());
        auto *grid = qobject_cast<QGridLayout *>(row.thumbnailArea()->layout());
        for (int i = 0; i < sizes.size(); ++i) {
            QCOMPARE(row.thumbnailLabels().at(i)->size(), sizes.at(i));
            int r = 0, c = 0, rs = 0, cs = 0;
            grid->getItemPosition(grid->indexOf(row.thumbnailLabels().at(i)), &r, &c, &rs, &cs);
            QCOMPARE(QPoint(c, r), cells.at(i));
        }
    }

    void spoilerLinkRevealsOnlyItsSpoiler()
    {
        ChatMessageRow row(sample(), false, QString(), true);
        const QString before = row.bodyLabel()->text();
        row.onLinkActivated(QStringLiteral("spoiler:2"));
        QCOMPARE(row.revealed(), QSet<int>({2}));
        QVERIFY(row.bodyLabel()->text() != before);
        row.onLinkActivated(QStringLiteral("spoiler:0"));
        QCOMPARE(row.revealed(), QSet<int>({0, 2}));
    }

    // The body label keeps its heights per width: they must stay those a plain label of
    // the same text and font gives, across changes of text and font.
    void bodyHeightsFollowTextAndFont()
    {
        ChatTextLabel kept;
        QLabel plain;
        plain.setTextFormat(Qt::RichText);
        plain.setWordWrap(true);
        const QString shortText = QStringLiteral("<div>short <b>one</b></div>");
        const QString longText =
            QStringLiteral("<div>%1</div>").arg(QStringLiteral("a longer message that wraps ").repeated(6));
        auto compare = [&](const char *step) {
            for (const int width : {120, 300, 500, 300}) {
                QVERIFY2(kept.heightForWidth(width) == plain.heightForWidth(width),
                         qPrintable(QStringLiteral("%1 at %2: %3 != %4")
                                        .arg(QLatin1String(step))
                                        .arg(width)
                                        .arg(kept.heightForWidth(width))
                                        .arg(plain.heightForWidth(width))));
            }
            QCOMPARE(kept.sizeHint().height(), plain.heightForWidth(300));
        };
        for (QLabel *label : {static_cast<QLabel *>(&kept), &plain})
            label->setText(shortText);
        compare("short");
        for (QLabel *label : {static_cast<QLabel *>(&kept), &plain})
            label->setText(longText);
        compare("long");
        QVERIFY(kept.heightForWidth(120) > kept.heightForWidth(500));
        const int before = kept.heightForWidth(300);
        QFont bigger = kept.font();
        bigger.setPointSize(bigger.pointSize() * 2);
        for (QLabel *label : {static_cast<QLabel *>(&kept), &plain})
            label->setFont(bigger);
        compare("bigger font");
        QVERIFY(kept.heightForWidth(300) > before);
    }

    void contextMenuGoesToChipOrMessage()
    {
        Message m = sample();
        m.tagId = 5;
        ChatMessageRow row(m, false, QStringLiteral("five"), true);
        row.resize(500, 120);
        row.show();
        QVERIFY(QTest::qWaitForWindowExposed(&row));
        QList<qint64> tagMenus;
        QStringList messageMenus;
        row.onTagMenu = [&](qint64 tagId, QPoint) { tagMenus << tagId; };
        row.onMessageMenu = [&](const QString &id, QPoint) { messageMenus << id; };

        const QPoint onChip = row.tagChipLabel()->mapTo(&row, row.tagChipLabel()->rect().center());
        QContextMenuEvent chipEvent(QContextMenuEvent::Mouse, onChip, row.mapToGlobal(onChip));
        QApplication::sendEvent(&row, &chipEvent);
        const QPoint onBody = row.bodyLabel()->mapTo(&row, QPoint(2, 2));
        QContextMenuEvent bodyEvent(QContextMenuEvent::Mouse, onBody, row.mapToGlobal(onBody));
        QApplication::sendEvent(&row, &bodyEvent);

        QCOMPARE(tagMenus, QList<qint64>({5}));
        QCOMPARE(messageMenus, QStringList({QStringLiteral("m1")}));
        QVERIFY(chipEvent.isAccepted() && bodyEvent.isAccepted());

        // Left press on the chip reports the tag; a right press on it is not a click.
        QList<qint64> clicks;
        row.onTagClicked = [&](qint64 tagId) { clicks << tagId; };
        QTest::mouseClick(row.tagChipLabel(), Qt::RightButton);
        QTest::mouseClick(row.tagChipLabel(), Qt::LeftButton);
        QCOMPARE(clicks, QList<qint64>({5}));
    }
};

KESTOVA_TEST_MAIN(ChatMessageRowTest)
#include "test_chat_message_row.moc"
