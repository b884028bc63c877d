#pragma once

#include "auth/auth_error_code.h"
#include "legal/legal_doc.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SmsRetryButton;

// The sign-in form: an 11-digit mobile number, an SMS code, the agreement check box and
// the login button. It raises requests and shows the results it is given; every failure
// appears in its own error line. GUI thread.
class LoginForm : public QWidget
{
    Q_OBJECT
public:
    explicit LoginForm(QWidget *parent = nullptr);

    void applySendCodeSuccess();
    void applySendCodeError(AuthErrorCode code, const QString &message, int retryAfterSec);
    void applyLoginError(AuthErrorCode code, const QString &message);

    QLineEdit *phoneField() const { return phone; }
    QLineEdit *codeField() const { return code; }
    QPushButton *sendCodeButton() const { return sendCode; }
    QCheckBox *agreementBox() const { return agreement; }
    QLabel *agreementText() const { return agreementLabel; }
    QLabel *errorLine() const { return error; }
    QPushButton *loginButton() const { return login; }
    SmsRetryButton *smsController() const { return sms; }
    bool isBusy() const { return busy; }

signals:
    void sendCodeRequested(const QString &phone);
    void loginRequested(const QString &phone, const QString &code);
    void legalLinkClicked(LegalDoc doc);

private:
    void requestCode();
    void submit();
    void setBusy(bool on);
    void updateSendCodeEnabled();
    void updateLoginEnabled();
    void showError(const QString &text);

    QLineEdit *phone = nullptr;
    QLineEdit *code = nullptr;
    QPushButton *sendCode = nullptr;
    QCheckBox *agreement = nullptr;
    QLabel *agreementLabel = nullptr;
    QLabel *error = nullptr;
    QPushButton *login = nullptr;
    SmsRetryButton *sms = nullptr;
    bool busy = false;
};
