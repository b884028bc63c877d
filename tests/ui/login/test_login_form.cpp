#include "ui/login/login_form.h"
#include "ui/login/login_menu_bar.h"
#include "ui/login/sms_retry_button.h"

#include "support/test_main.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

namespace {

// A settable clock for the SMS button: milliseconds since the epoch.
struct FakeClock
{
    qint64 ms = 1'700'000'000'000;
};

} // namespace

class LoginFormTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void phoneFieldRefusesNonDigits();
    void enabling_data();
    void enabling();
    void submitChecksInOrder_data();
    void submitChecksInOrder();
    void busyIgnoresEnter();
    void loginErrors_data();
    void loginErrors();
    void sendCodeWaitsTenSeconds();
    void throttleCountsDownFromTheClock();
    void sendErrorReturnsToIdle();
    void editingDuringSendReenables();
    void legalLinks();
    void menuBar();

private:
    LoginForm *form = nullptr;
    FakeClock clock;
};

void LoginFormTest::init()
{
    form = new LoginForm;
    clock.ms = 1'700'000'000'000;
    form->smsController()->setClock([this] { return clock.ms; });
    form->show();
}

void LoginFormTest::cleanup()
{
    delete form;
    form = nullptr;
}

void LoginFormTest::phoneFieldRefusesNonDigits()
{
    QTest::keyClicks(form->phoneField(), QStringLiteral("13a8b0013800099"));
    QCOMPARE(form->phoneField()->text(), QStringLiteral("13800138000")); // letters refused, 11 digits at most
    QCOMPARE(form->codeField()->maxLength(), 6);
}

void LoginFormTest::enabling_data()
{
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("agreed");
    QTest::addColumn<bool>("sendEnabled");
    QTest::addColumn<bool>("loginEnabled");
    QTest::newRow("empty") << ""
                           << "" << false << false << false;
    QTest::newRow("valid phone only") << "13800138000"
                                      << "" << false << true << false;
    QTest::newRow("second digit 2") << "12800138000"
                                    << "123456" << true << false << true;
    QTest::newRow("too short") << "1380013800"
                               << "" << false << false << false;
    QTest::newRow("all but consent") << "13800138000"
                                     << "123456" << false << true << false;
    QTest::newRow("all") << "13800138000"
                         << "123456" << true << true << true;
    QTest::newRow("blank code") << "13800138000"
                                << "   " << true << true << false;
}

void LoginFormTest::enabling()
{
    QFETCH(QString, phone);
    QFETCH(QString, code);
    QFETCH(bool, agreed);
    QFETCH(bool, sendEnabled);
    QFETCH(bool, loginEnabled);
    form->phoneField()->setText(phone);
    form->codeField()->setText(code);
    form->agreementBox()->setChecked(agreed);
    QCOMPARE(form->sendCodeButton()->isEnabled(), sendEnabled);
    QCOMPARE(form->loginButton()->isEnabled(), loginEnabled);
}

void LoginFormTest::submitChecksInOrder_data()
{
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("agreed");
    QTest::addColumn<QString>("error");
    QTest::newRow("no phone") << ""
                              << "1234" << true << "请输入手机号";
    QTest::newRow("no code, phone invalid by pattern") << "12"
                                                       << "" << true << "请输入验证码";
    QTest::newRow("no consent") << "13800138000"
                                << "1234" << false << "请先阅读并同意用户协议和隐私保护政策";
    QTest::newRow("all good") << "13800138000"
                              << " 1234 " << true << "";
}

void LoginFormTest::submitChecksInOrder()
{
    QFETCH(QString, phone);
    QFETCH(QString, code);
    QFETCH(bool, agreed);
    QFETCH(QString, error);
    QSignalSpy requested(form, &LoginForm::loginRequested);
    form->phoneField()->setText(phone);
    form->codeField()->setText(code);
    form->agreementBox()->setChecked(agreed);
    QTest::keyClick(form->codeField(), Qt::Key_Return);
    QCOMPARE(form->errorLine()->text(), error);
    QCOMPARE(requested.count(), error.isEmpty() ? 1 : 0);
    if (error.isEmpty()) {
        QCOMPARE(requested.at(0).at(0).toString(), phone.trimmed());
        QCOMPARE(requested.at(0).at(1).toString(), QStringLiteral("1234"));
        QVERIFY(form->isBusy());
        QCOMPARE(form->loginButton()->text(), QStringLiteral("登录中..."));
        QVERIFY(!form->loginButton()->isEnabled());
        QVERIFY(!form->phoneField()->isEnabled());
        QVERIFY(!form->sendCodeButton()->isEnabled());
    }
}

void LoginFormTest::busyIgnoresEnter()
{
    QSignalSpy requested(form, &LoginForm::loginRequested);
    form->phoneField()->setText(QStringLiteral("13800138000"));
    form->codeField()->setText(QStringLiteral("1234"));
    form->agreementBox()->setChecked(true);
    form->loginButton()->click();
    QCOMPARE(requested.count(), 1);
    emit form->phoneField()->returnPressed();
    emit form->codeField()->returnPressed();
    QCOMPARE(requested.count(), 1);
}

void LoginFormTest::loginErrors_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("codeAfter");
    QTest::addColumn<bool>("agreedAfter");
    QTest::newRow("invalid code") << 5 << "验证码错误"
                                  << "验证码错误"
                                  << "1234" << true;
    QTest::newRow("code required") << 4 << ""
                                   << "登录失败，请稍后重试"
                                   << "1234" << true;
    QTest::newRow("too many attempts") << 6 << "尝试次数过多"
                                       << "尝试次数过多"
                                       << "" << true;
    QTest::newRow("consent required") << 7 << "请同意最新协议"
                                      << "请同意最新协议"
                                      << "1234" << false;
    QTest::newRow("other") << 0 << ""
                           << "登录失败，请稍后重试"
                           << "1234" << true;
}

void LoginFormTest::loginErrors()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QFETCH(QString, codeAfter);
    QFETCH(bool, agreedAfter);
    form->phoneField()->setText(QStringLiteral("13800138000"));
    form->codeField()->setText(QStringLiteral("1234"));
    form->agreementBox()->setChecked(true);
    form->loginButton()->click();
    QVERIFY(form->isBusy());
    form->applyLoginError(AuthErrorCode(code), message);
    QVERIFY(!form->isBusy());
    QCOMPARE(form->errorLine()->text(), shown);
    QCOMPARE(form->codeField()->text(), codeAfter);
    QCOMPARE(form->agreementBox()->isChecked(), agreedAfter);
    QCOMPARE(form->loginButton()->text(), QStringLiteral("登录"));
    QCOMPARE(form->loginButton()->isEnabled(), agreedAfter && !codeAfter.isEmpty());
    QVERIFY(form->phoneField()->isEnabled());
}

void LoginFormTest::sendCodeWaitsTenSeconds()
{
    SmsRetryButton *sms = form->smsController();
    QSignalSpy requested(form, &LoginForm::sendCodeRequested);
    form->phoneField()->setText(QStringLiteral("13800138000"));
    form->sendCodeButton()->click();
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.at(0).at(0).toString(), QStringLiteral("13800138000"));
    QCOMPARE(form->sendCodeButton()->text(), QStringLiteral("发送中..."));
    QVERIFY(!form->sendCodeButton()->isEnabled());

    form->applySendCodeSuccess();
    QCOMPARE(form->sendCodeButton()->text(), QStringLiteral("已发送"));
    QCOMPARE(sms->remaining(), 10);
    QVERIFY(sms->isTicking());
    for (int second = 1; second < 10; ++second) {
        clock.ms += 1000;
        sms->onTick();
        QCOMPARE(form->sendCodeButton()->text(), QStringLiteral("已发送"));
        QVERIFY(!form->sendCodeButton()->isEnabled());
    }
    clock.ms += 1000;
    sms->onTick();
    QCOMPARE(sms->remaining(), 0);
    QVERIFY(!sms->isTicking());
    QCOMPARE(form->sendCodeButton()->text(), QStringLiteral("重试"));
    QVERIFY(form->sendCodeButton()->isEnabled());
}

void LoginFormTest::throttleCountsDownFromTheClock()
{
    SmsRetryButton *sms = form->smsController();
    form->phoneField()->setText(QStringLiteral("13800138000"));
    form->sendCodeButton()->click();
    form->applySendCodeError(AuthErrorCode::SmsThrottled, QString(), 0);
    QCOMPARE(form->errorLine()->text(), QStringLiteral("发送失败，请稍后重试"));
    QCOMPARE(form->sendCodeButton()->text(), QStringLiteral("60s"));
    clock.ms += 1000;
    sms->onTick();
    QCOMPARE(form->sendCodeButton()->text(), QStringLiteral("59s"));
    // A late tick (a busy or suspended machine) shows the true remainder, not one less.
    clock.ms += 4500;
    sms->onTick();
    QCOMPARE(form->sendCodeButton()->text(), QStringLiteral("55s"));
    // Far past the end: finished, never negative; no send has succeeded yet.
    clock.ms += 3'600'000;
    sms->onTick();
    QCOMPARE(sms->remaining(), 0);
    QCOMPARE(form->sendCodeButton()->text(), QStringLiteral("获取验证码"));
    QVERIFY(form->sendCodeButton()->isEnabled());

    form->applySendCodeError(AuthErrorCode::SmsThrottled, QStringLiteral("请稍后再试"), 7);
    QCOMPARE(form->sendCodeButton()->text(), QStringLiteral("7s"));
    QCOMPARE(form->errorLine()->text(), QStringLiteral("请稍后再试"));
}

void LoginFormTest::sendErrorReturnsToIdle()
{
    form->phoneField()->setText(QStringLiteral("13800138000"));
    form->sendCodeButton()->click();
    form->codeField()->setFocus();
    form->applySendCodeError(AuthErrorCode::SmsPhoneInvalid, QStringLiteral("手机号不可用"), 30);
    QCOMPARE(form->errorLine()->text(), QStringLiteral("手机号不可用"));
    QCOMPARE(form->sendCodeButton()->text(), QStringLiteral("获取验证码"));
    QVERIFY(form->sendCodeButton()->isEnabled());
    QVERIFY(!form->smsController()->isTicking());
}

void LoginFormTest::editingDuringSendReenables()
{
    QSignalSpy requested(form, &LoginForm::sendCodeRequested);
    form->phoneField()->setText(QStringLiteral("13800138000"));
    form->sendCodeButton()->click();
    QVERIFY(!form->sendCodeButton()->isEnabled());
    form->phoneField()->setText(QStringLiteral("13900139000"));
    QVERIFY(form->sendCodeButton()->isEnabled());
    form->sendCodeButton()->click();
    QCOMPARE(requested.count(), 2);
}

void LoginFormTest::legalLinks()
{
    QSignalSpy clicked(form, &LoginForm::legalLinkClicked);
    emit form->agreementText()->linkActivated(QStringLiteral("terms"));
    emit form->agreementText()->linkActivated(QStringLiteral("privacy"));
    emit form->agreementText()->linkActivated(QStringLiteral("other"));
    QCOMPARE(clicked.count(), 3);
    QCOMPARE(clicked.at(0).at(0).value<LegalDoc>(), LegalDoc::Terms);
    QCOMPARE(clicked.at(1).at(0).value<LegalDoc>(), LegalDoc::Privacy);
    QCOMPARE(clicked.at(2).at(0).value<LegalDoc>(), LegalDoc::Privacy);
    QVERIFY(!form->agreementText()->openExternalLinks());
}

void LoginFormTest::menuBar()
{
    LoginMenuBar bar;
    QSignalSpy audio(&bar, &LoginMenuBar::audioSettingsRequested);
    QSignalSpy licences(&bar, &LoginMenuBar::licensesRequested);
    QSignalSpy update(&bar, &LoginMenuBar::checkUpdateRequested);
    const QList<QAction *> menus = bar.actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus.at(0)->text(), QStringLiteral("设置"));
    menus.at(0)->menu()->actions().at(0)->trigger();
    QVERIFY(!menus.at(1)->menu()->actions().at(0)->isEnabled());
    const QList<QAction *> about = menus.at(2)->menu()->actions();
    QCOMPARE(about.at(0)->text(), QStringLiteral("版本: 0.1.0"));
    about.at(1)->trigger();
    about.at(2)->trigger();
    QCOMPARE(audio.count(), 1);
    QCOMPARE(licences.count(), 1);
    QCOMPARE(update.count(), 1);
}

KESTOVA_TEST_MAIN(LoginFormTest)
#include "test_login_form.moc"
