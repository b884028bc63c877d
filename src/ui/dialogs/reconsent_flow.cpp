#include "ui/dialogs/reconsent_flow.h"

#include "ui/dialogs/document_dialog.h"

ReconsentFlow::ReconsentFlow(QWidget *parentWidget, QObject *parent)
    : QObject(parent)
    , dialogParent(parentWidget)
{}

void ReconsentFlow::start(const QList<LegalDoc> &list)
{
    docs = list;
    index = 0;
    showCurrent();
}

void ReconsentFlow::dismissDialog()
{
    if (!dialog)
        return;
    dialog->hide();
    dialog->deleteLater();
    dialog = nullptr;
}

void ReconsentFlow::showCurrent()
{
    if (index >= docs.size()) {
        emit allAgreed();
        deleteLater();
        return;
    }
    const LegalDoc doc = docs.at(index);
    const QString title =
        doc == LegalDoc::Terms ? QStringLiteral("用户协议（已更新）") : QStringLiteral("隐私保护政策（已更新）");
    dialog = new DocumentDialog(title, DocumentDialog::Consent, dialogParent);
    // Only the dialog on screen may move the flow on, and only once.
    DocumentDialog *shown = dialog;
    connect(dialog, &DocumentDialog::consentAgreed, this, [this, shown] {
        if (dialog != shown)
            return;
        dismissDialog();
        ++index;
        showCurrent();
    });
    connect(dialog, &DocumentDialog::consentRejected, this, [this, shown] {
        if (dialog != shown)
            return;
        dismissDialog();
        emit rejected();
        deleteLater();
    });
    dialog->open();
    emit docNeeded(doc);
}

void ReconsentFlow::onDocumentLoaded(LegalDoc doc, bool ok, const QString &text)
{
    if (!dialog || index >= docs.size() || docs.at(index) != doc)
        return;
    if (ok)
        dialog->setContent(text, false);
    else
        dialog->setPlainText(QStringLiteral("加载失败，请关闭客户端后重试"));
}
