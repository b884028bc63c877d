#include "ui/dialogs/account_dialog.h"

#include "theme/style_helpers.h"

#include <QBoxLayout>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLabel *roleLabel(const QString &text, const char *role, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText); // names and ids come from the server
    label->setProperty("role", QString::fromLatin1(role));
    return label;
}

QPushButton *compactButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFixedHeight(26);
    button->setProperty("compact", QStringLiteral("true"));
    return button;
}

} // namespace

AccountDialog::AccountDialog(const QString &nickname, const QString &id, QWidget *parent)
    : QDialog(parent)
    , accountId(id)
    , currentNickname(nickname)
{
    setWindowTitle(QStringLiteral("账号详情"));
    setModal(true);
    setMinimumWidth(380);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 20);
    column->setSpacing(6);

    QLabel *title = roleLabel(QStringLiteral("账号详情"), "title", this);
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    column->addSpacing(12);

    auto *nameRow = new QHBoxLayout;
    nameRow->addWidget(roleLabel(QStringLiteral("昵称"), "secondary", this));
    field = new QLineEdit(nickname, this);
    field->setFixedHeight(26);
    field->setMaxLength(16);
    nameRow->addWidget(field, 1);
    save = compactButton(QStringLiteral("修改"), this);
    save->setEnabled(false);
    nameRow->addWidget(save);
    column->addLayout(nameRow);

    status = new QLabel(this);
    status->setTextFormat(Qt::PlainText); // may carry the server's message
    status->setWordWrap(true);
    status->setMinimumHeight(QFontMetrics(status->font()).height());
    column->addWidget(status);
    column->addSpacing(4);

    auto *idRow = new QHBoxLayout;
    idRow->addWidget(roleLabel(QStringLiteral("ID"), "secondary", this));
    QLabel *idValue = roleLabel(accountId, "value", this);
    idValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    idRow->addWidget(idValue, 1);
    copy = compactButton(QStringLiteral("复制"), this);
    idRow->addWidget(copy);
    column->addLayout(idRow);
    column->addSpacing(4);

    auto *balanceRow = new QHBoxLayout;
    balanceRow->addWidget(roleLabel(QStringLiteral("余额"), "secondary", this));
    QLabel *balance = roleLabel(QStringLiteral("--"), "value", this);
    balance->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    balanceRow->addWidget(balance, 1);
    column->addLayout(balanceRow);
    column->addSpacing(16);

    auto *payments = new QHBoxLayout;
    payments->setSpacing(12);
    for (const QString &text : {QStringLiteral("充值（测试期间未开放）"), QStringLiteral("消费明细")}) {
        auto *placeholder = new QPushButton(text, this);
        placeholder->setFixedHeight(32);
        placeholder->setEnabled(false);
        payments->addWidget(placeholder);
    }
    column->addLayout(payments);
    column->addSpacing(8);

    auto *closeButton = new QPushButton(QStringLiteral("关闭"), this);
    closeButton->setFixedHeight(32);
    column->addWidget(closeButton);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);

    connect(field, &QLineEdit::textChanged, this, [this] {
        status->clear();
        updateSaveEnabled();
    });
    connect(field, &QLineEdit::returnPressed, this, [this] {
        if (save->isEnabled())
            save->click();
    });
    connect(save, &QPushButton::clicked, this, &AccountDialog::submit);
    connect(copy, &QPushButton::clicked, this, [this] {
        QGuiApplication::clipboard()->setText(accountId, QClipboard::Clipboard);
        showStatus(QStringLiteral("已复制"), false);
    });
}

void AccountDialog::updateSaveEnabled()
{
    const QString text = field->text().trimmed();
    save->setEnabled(!saving && !text.isEmpty() && text != currentNickname);
}

void AccountDialog::setSaving(bool on)
{
    saving = on;
    field->setEnabled(!on);
    save->setText(on ? QStringLiteral("保存中...") : QStringLiteral("修改"));
    updateSaveEnabled();
}

void AccountDialog::showStatus(const QString &text, bool isError)
{
    style::setStyleProperty(status, "role", isError ? "error" : "ok");
    status->setText(text);
}

void AccountDialog::submit()
{
    const QString text = field->text().trimmed();
    if (text.isEmpty() || text == currentNickname)
        return;
    setSaving(true);
    emit nicknameSubmitted(text);
}

void AccountDialog::applyNicknameSuccess()
{
    currentNickname = field->text().trimmed();
    setSaving(false);
    showStatus(QStringLiteral("昵称已更新"), false);
}

void AccountDialog::applyNicknameError(const QString &msg)
{
    setSaving(false);
    showStatus(msg.isEmpty() ? QStringLiteral("修改失败，请稍后重试") : msg, true);
}
