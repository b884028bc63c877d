#include "ui/dialogs/document_dialog.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>

DocumentDialog::DocumentDialog(const QString &title, int mode, QWidget *parent)
    : QDialog(parent)
    , dialogMode(mode)
{
    setWindowTitle(title);
    setModal(true);
    resize(520, 600);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 16, 20, 16);
    column->setSpacing(12);

    auto *heading = new QLabel(title, this);
    heading->setProperty("role", QStringLiteral("title"));
    heading->setAlignment(Qt::AlignCenter);
    column->addWidget(heading);

    textBrowser = new QTextBrowser(this);
    textBrowser->setOpenExternalLinks(true);
    textBrowser->setPlainText(QStringLiteral("加载中…"));
    column->addWidget(textBrowser, 1);

    if (mode == Consent) {
        auto *row = new QHBoxLayout;
        auto *reject = new QPushButton(QStringLiteral("拒绝"), this);
        reject->setFixedHeight(32);
        auto *agree = new QPushButton(QStringLiteral("同意"), this);
        agree->setFixedHeight(32);
        agree->setProperty("variant", QStringLiteral("primary"));
        row->addWidget(reject);
        row->addStretch(1);
        row->addWidget(agree);
        column->addLayout(row);
        connect(reject, &QPushButton::clicked, this, &DocumentDialog::consentRejected);
        connect(agree, &QPushButton::clicked, this, &DocumentDialog::consentAgreed);
    } else {
        auto *close = new QPushButton(QStringLiteral("关闭"), this);
        close->setFixedHeight(32);
        close->setProperty("variant", QStringLiteral("primary"));
        column->addWidget(close);
        connect(close, &QPushButton::clicked, this, &QDialog::accept);
    }
}

void DocumentDialog::setContent(const QString &text, bool isHtml)
{
    if (isHtml)
        textBrowser->setHtml(text);
    else
        textBrowser->setMarkdown(text);
}

void DocumentDialog::setPlainText(const QString &text)
{
    textBrowser->setPlainText(text);
}

void DocumentDialog::closeEvent(QCloseEvent *event)
{
    if (dialogMode == Consent) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void DocumentDialog::keyPressEvent(QKeyEvent *event)
{
    if (dialogMode == Consent && event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
