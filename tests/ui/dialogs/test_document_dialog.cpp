#include "ui/dialogs/document_dialog.h"
#include "ui/dialogs/reconsent_flow.h"

#include "support/test_main.h"

#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>

namespace {

QPushButton *buttonNamed(QWidget *dialog, const QString &text)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

} // namespace

class DocumentDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void viewerCloses();
    void consentCannotBeDismissed();
    void content();
    void agreeToAll();
    void rejectingStops();
    void lateAnswersAreDropped();
    void emptyListAgreesAtOnce();
    void failedLoadStillOffersBothButtons();

private:
    QWidget host;
};

void DocumentDialogTest::viewerCloses()
{
    DocumentDialog dialog(QStringLiteral("开源许可"), DocumentDialog::Viewer);
    QVERIFY(!buttonNamed(&dialog, QStringLiteral("同意")));
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    dialog.show();
    QVERIFY(dialog.close());
    QVERIFY(!dialog.isVisible());
    dialog.show();
    buttonNamed(&dialog, QStringLiteral("关闭"))->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void DocumentDialogTest::consentCannotBeDismissed()
{
    DocumentDialog dialog(QStringLiteral("用户协议（已更新）"), DocumentDialog::Consent);
    QSignalSpy agreed(&dialog, &DocumentDialog::consentAgreed);
    QSignalSpy rejected(&dialog, &DocumentDialog::consentRejected);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());
    QVERIFY(!buttonNamed(&dialog, QStringLiteral("关闭")));
    buttonNamed(&dialog, QStringLiteral("拒绝"))->click();
    buttonNamed(&dialog, QStringLiteral("同意"))->click();
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(agreed.count(), 1);
    QVERIFY(dialog.isVisible()); // its owner closes it
}

void DocumentDialogTest::content()
{
    DocumentDialog dialog(QStringLiteral("用户协议"), DocumentDialog::Viewer);
    QCOMPARE(dialog.browser()->toPlainText(), QStringLiteral("加载中…"));
    QVERIFY(dialog.browser()->openExternalLinks());
    dialog.setContent(QStringLiteral("# 标题\n\n**粗体** 文字"), false);
    QVERIFY(dialog.browser()->toPlainText().contains(QStringLiteral("粗体 文字")));
    QVERIFY(!dialog.browser()->toPlainText().contains(QLatin1Char('*')));
    dialog.setContent(QStringLiteral("<p>段落 <b>一</b></p>"), true);
    QCOMPARE(dialog.browser()->toPlainText(), QStringLiteral("段落 一"));
    dialog.setPlainText(QStringLiteral("<b>原样</b>"));
    QCOMPARE(dialog.browser()->toPlainText(), QStringLiteral("<b>原样</b>"));
}

void DocumentDialogTest::agreeToAll()
{
    QPointer<ReconsentFlow> flow = new ReconsentFlow(&host);
    QSignalSpy needed(flow.data(), &ReconsentFlow::docNeeded);
    QSignalSpy agreed(flow.data(), &ReconsentFlow::allAgreed);
    QSignalSpy rejected(flow.data(), &ReconsentFlow::rejected);
    flow->start({LegalDoc::Terms, LegalDoc::Privacy});

    QPointer<DocumentDialog> first = flow->currentDialog();
    QVERIFY(first && first->isVisible());
    QCOMPARE(first->windowTitle(), QStringLiteral("用户协议（已更新）"));
    QCOMPARE(needed.count(), 1);
    QCOMPARE(needed.at(0).at(0).value<LegalDoc>(), LegalDoc::Terms);
    flow->onDocumentLoaded(LegalDoc::Terms, true, QStringLiteral("条款正文"));
    QCOMPARE(first->browser()->toPlainText(), QStringLiteral("条款正文"));

    buttonNamed(first, QStringLiteral("同意"))->click();
    QVERIFY(!first->isVisible());
    DocumentDialog *second = flow->currentDialog();
    QVERIFY(second && second != first);
    QCOMPARE(second->windowTitle(), QStringLiteral("隐私保护政策（已更新）"));
    QCOMPARE(needed.count(), 2);
    QCOMPARE(agreed.count(), 0);
    emit first->consentAgreed(); // a stray signal of the old dialog moves nothing
    QCOMPARE(flow->currentDialog(), second);

    buttonNamed(second, QStringLiteral("同意"))->click();
    QCOMPARE(agreed.count(), 1);
    QCOMPARE(rejected.count(), 0);
    QTRY_VERIFY(flow.isNull());
    QTRY_VERIFY(first.isNull());
}

void DocumentDialogTest::rejectingStops()
{
    QPointer<ReconsentFlow> flow = new ReconsentFlow(&host);
    QSignalSpy needed(flow.data(), &ReconsentFlow::docNeeded);
    QSignalSpy agreed(flow.data(), &ReconsentFlow::allAgreed);
    QSignalSpy rejected(flow.data(), &ReconsentFlow::rejected);
    flow->start({LegalDoc::Privacy, LegalDoc::Terms});
    QCOMPARE(flow->currentDialog()->windowTitle(), QStringLiteral("隐私保护政策（已更新）"));
    buttonNamed(flow->currentDialog(), QStringLiteral("拒绝"))->click();
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(agreed.count(), 0);
    QCOMPARE(needed.count(), 1); // nothing more opened
    QVERIFY(!flow->currentDialog());
    QTRY_VERIFY(flow.isNull());
}

void DocumentDialogTest::lateAnswersAreDropped()
{
    QPointer<ReconsentFlow> flow = new ReconsentFlow(&host);
    flow->start({LegalDoc::Terms, LegalDoc::Privacy});
    buttonNamed(flow->currentDialog(), QStringLiteral("同意"))->click();
    DocumentDialog *second = flow->currentDialog();
    flow->onDocumentLoaded(LegalDoc::Terms, true, QStringLiteral("迟到的条款"));
    QCOMPARE(second->browser()->toPlainText(), QStringLiteral("加载中…"));
    flow->onDocumentLoaded(LegalDoc::Privacy, true, QStringLiteral("隐私正文"));
    QCOMPARE(second->browser()->toPlainText(), QStringLiteral("隐私正文"));
    buttonNamed(second, QStringLiteral("拒绝"))->click();
    QTRY_VERIFY(flow.isNull());
}

void DocumentDialogTest::emptyListAgreesAtOnce()
{
    QPointer<ReconsentFlow> flow = new ReconsentFlow(&host);
    QSignalSpy needed(flow.data(), &ReconsentFlow::docNeeded);
    QSignalSpy agreed(flow.data(), &ReconsentFlow::allAgreed);
    flow->start({});
    QCOMPARE(agreed.count(), 1);
    QCOMPARE(needed.count(), 0);
    QVERIFY(!flow->currentDialog());
    QTRY_VERIFY(flow.isNull());
}

void DocumentDialogTest::failedLoadStillOffersBothButtons()
{
    QPointer<ReconsentFlow> flow = new ReconsentFlow(&host);
    QSignalSpy agreed(flow.data(), &ReconsentFlow::allAgreed);
    flow->start({LegalDoc::Privacy});
    flow->onDocumentLoaded(LegalDoc::Privacy, false, QString());
    DocumentDialog *dialog = flow->currentDialog();
    QCOMPARE(dialog->browser()->toPlainText(), QStringLiteral("加载失败，请关闭客户端后重试"));
    QVERIFY(buttonNamed(dialog, QStringLiteral("拒绝"))->isEnabled());
    buttonNamed(dialog, QStringLiteral("同意"))->click();
    QCOMPARE(agreed.count(), 1);
    QTRY_VERIFY(flow.isNull());
}

KESTOVA_TEST_MAIN(DocumentDialogTest)
#include "test_document_dialog.moc"
