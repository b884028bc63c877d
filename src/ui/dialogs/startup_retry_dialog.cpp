#include "ui/dialogs/startup_retry_dialog.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

namespace {

QString failureText()
{
    return QStringLiteral("无法连接服务器 😥\n请检查网络后重试");
}

} // namespace

StartupRetryDialog::StartupRetryDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("连接服务器"));
    setFixedSize(360, 140);
    messageLabel = new QLabel(failureText(), this);
    messageLabel->setAlignment(Qt::AlignCenter);
    messageLabel->setWordWrap(true);
    retryButton = new QPushButton(QStringLiteral("重试"), this);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 20);
    column->setSpacing(16);
    column->addWidget(messageLabel);
    column->addWidget(retryButton);

    connect(retryButton, &QPushButton::clicked, this, [this] {
        retryButton->setEnabled(false);
        messageLabel->setText(QStringLiteral("连接中…"));
        emit retryRequested();
    });
}

QString StartupRetryDialog::message() const
{
    return messageLabel->text();
}

void StartupRetryDialog::showRetry()
{
    messageLabel->setText(failureText());
    retryButton->setEnabled(true);
    show();
    raise();
}

void StartupRetryDialog::closeEvent(QCloseEvent *event)
{
    event->accept();
    QCoreApplication::quit();
}
