#include "ui/login/login_form.h"

#include "theme/theme_palette.h"
#include "ui/login/sms_retry_button.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

// The same rule the sign-in service applies: "1", then 3 to 9, then nine digits.
bool looksLikePhoneNumber(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^1[3-9]\\d{9}$"));
    return pattern.match(text).hasMatch();
}

QWidget *captionRow(const QString &caption, QLineEdit *field, QPushButton *button, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *column = new QVBoxLayout(row);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto *label = new QLabel(caption, row);
    label->setProperty("role", QStringLiteral("secondary"));
    label->setBuddy(field);
    column->addWidget(label);
    if (!button) {
        column->addWidget(field);
        return row;
    }
    auto *line = new QHBoxLayout;
    line->setSpacing(6);
    line->addWidget(field, 1);
    line->addWidget(button, 0);
    column->addLayout(line);
    return row;
}

} // namespace

LoginForm::LoginForm(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("loginForm"));
    setMinimumWidth(360);
    setMaximumWidth(400);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);

    phone = new QLineEdit(this);
    code = new QLineEdit(this);
    sendCode = new QPushButton(QStringLiteral("获取验证码"), this);
    agreement = new QCheckBox(this);
    agreementLabel = new QLabel(this);
    error = new QLabel(this);
    login = new QPushButton(QStringLiteral("登录"), this);

    error->setProperty("role", QStringLiteral("error"));
    error->setWordWrap(true);
    error->setMinimumHeight(QFontMetrics(error->font()).height());
    column->addWidget(error);

    phone->setPlaceholderText(QStringLiteral("输入 11 位手机号"));
    phone->setMaxLength(11);
    phone->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d*")), phone));
    sendCode->setEnabled(false);
    column->addWidget(captionRow(QStringLiteral("手机号"), phone, sendCode, this));

    code->setPlaceholderText(QStringLiteral("输入验证码"));
    code->setMaxLength(6);
    column->addWidget(captionRow(QStringLiteral("验证码"), code, nullptr, this));

    auto *agreementRow = new QHBoxLayout;
    agreementRow->setContentsMargins(0, 0, 0, 0);
    agreementRow->setSpacing(4);
    agreementLabel->setTextFormat(Qt::RichText);
    agreementLabel->setWordWrap(true);
    agreementLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    agreementLabel->setOpenExternalLinks(false);
    agreementLabel->setText(QStringLiteral("<span style='font-size:12px;'>我已阅读并同意<a href='terms' "
                                           "style='color:%1;text-decoration:none;'>《用户协议》</a>和<a href='privacy' "
                                           "style='color:%1;text-decoration:none;'>《隐私保护政策》</a></span>")
                                .arg(QLatin1String(ThemePalette::hex("primaryText"))));
    agreementRow->addWidget(agreement, 0, Qt::AlignTop);
    agreementRow->addWidget(agreementLabel, 1);
    column->addLayout(agreementRow);

    login->setProperty("variant", QStringLiteral("primary"));
    login->setEnabled(false);
    column->addWidget(login);

    sms = new SmsRetryButton(sendCode, code, this);
    sms->setCanSend([this] { return looksLikePhoneNumber(phone->text().trimmed()); });

    connect(sendCode, &QPushButton::clicked, this, &LoginForm::requestCode);
    connect(login, &QPushButton::clicked, this, &LoginForm::submit);
    connect(phone, &QLineEdit::returnPressed, this, &LoginForm::submit);
    connect(code, &QLineEdit::returnPressed, this, &LoginForm::submit);
    connect(phone, &QLineEdit::textChanged, this, [this] {
        error->clear();
        updateSendCodeEnabled();
        updateLoginEnabled();
    });
    connect(code, &QLineEdit::textChanged, this, [this] {
        error->clear();
        updateLoginEnabled();
    });
    connect(agreement, &QCheckBox::toggled, this, &LoginForm::updateLoginEnabled);
    connect(agreementLabel, &QLabel::linkActivated, this, [this](const QString &link) {
        emit legalLinkClicked(link == QLatin1String("terms") ? LegalDoc::Terms : LegalDoc::Privacy);
    });

    phone->setFocus(Qt::OtherFocusReason);
}

void LoginForm::updateSendCodeEnabled()
{
    sendCode->setEnabled(!busy && sms->remaining() <= 0 && looksLikePhoneNumber(phone->text().trimmed()));
}

void LoginForm::updateLoginEnabled()
{
    if (busy)
        return;
    login->setEnabled(!phone->text().trimmed().isEmpty() && !code->text().trimmed().isEmpty()
                      && agreement->isChecked());
}

void LoginForm::showError(const QString &text)
{
    error->setText(text);
}

void LoginForm::requestCode()
{
    const QString number = phone->text().trimmed();
    if (number.isEmpty() || sms->remaining() > 0)
        return;
    sms->setState(true, 10);
    emit sendCodeRequested(number);
}

void LoginForm::submit()
{
    if (busy)
        return;
    const QString number = phone->text().trimmed();
    const QString typed = code->text().trimmed();
    if (number.isEmpty()) {
        showError(QStringLiteral("请输入手机号"));
        return;
    }
    if (typed.isEmpty()) {
        showError(QStringLiteral("请输入验证码"));
        return;
    }
    if (!agreement->isChecked()) {
        showError(QStringLiteral("请先阅读并同意用户协议和隐私保护政策"));
        return;
    }
    error->clear();
    setBusy(true);
    emit loginRequested(number, typed);
}

void LoginForm::setBusy(bool on)
{
    busy = on;
    phone->setEnabled(!on);
    code->setEnabled(!on);
    agreement->setEnabled(!on);
    login->setText(on ? QStringLiteral("登录中...") : QStringLiteral("登录"));
    if (on)
        login->setEnabled(false);
    else
        updateLoginEnabled();
    updateSendCodeEnabled();
}

void LoginForm::applyLoginError(AuthErrorCode errorCode, const QString &message)
{
    setBusy(false);
    const QString text = message.isEmpty() ? QStringLiteral("登录失败，请稍后重试") : message;
    switch (errorCode) {
        case AuthErrorCode::LoginCodeRequired:
        case AuthErrorCode::LoginCodeInvalid:
            showError(text);
            code->setFocus(Qt::OtherFocusReason);
            code->selectAll();
            break;
        case AuthErrorCode::LoginCodeAttemptsExceeded:
            // Cleared before the message is shown: clearing the field clears the error line.
            code->clear();
            showError(text);
            code->setFocus(Qt::OtherFocusReason);
            break;
        case AuthErrorCode::LoginLegalRequired:
            agreement->setChecked(false);
            error->clear();
            updateLoginEnabled();
            showError(text);
            break;
        default: showError(text); break;
    }
}

void LoginForm::applySendCodeError(AuthErrorCode errorCode, const QString &message, int retryAfterSec)
{
    const QString text = message.isEmpty() ? QStringLiteral("发送失败，请稍后重试") : message;
    if (errorCode == AuthErrorCode::SmsThrottled) {
        sms->startCountdown(retryAfterSec);
        showError(text);
        return;
    }
    sms->setState(false, 0);
    showError(text);
    if (errorCode == AuthErrorCode::SmsPhoneInvalid)
        phone->setFocus(Qt::OtherFocusReason);
}

void LoginForm::applySendCodeSuccess()
{
    sms->setState(false, 10);
}
