#pragma once

#include "legal/legal_doc.h"

#include <QList>
#include <QObject>
#include <QPointer>

class DocumentDialog;
class QWidget;

// Walks a signed-in user through every changed legal document, one consent dialog at a
// time in list order, and ends with exactly one verdict: allAgreed or rejected. It asks
// for each document's text and deletes itself after the verdict. GUI thread.
class ReconsentFlow : public QObject
{
    Q_OBJECT
public:
    explicit ReconsentFlow(QWidget *dialogParent, QObject *parent = nullptr);

    void start(const QList<LegalDoc> &docs);
    // A late answer, or one for another document than the one shown, is dropped.
    void onDocumentLoaded(LegalDoc doc, bool ok, const QString &text);

    DocumentDialog *currentDialog() const { return dialog; }

signals:
    void docNeeded(LegalDoc doc);
    void allAgreed();
    void rejected();

private:
    void showCurrent();
    void dismissDialog();

    QPointer<QWidget> dialogParent;
    QList<LegalDoc> docs;
    int index = 0;
    QPointer<DocumentDialog> dialog;
};
