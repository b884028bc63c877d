#include "wiring/session_wiring.h"

#include "auth/login_service.h"
#include "auth/session_service.h"
#include "auth/sms_service.h"
#include "legal/legal_service.h"
#include "realtime/gateway_service.h"
#include "ui/dialogs/account_dialog.h"
#include "ui/dialogs/document_dialog.h"
#include "ui/dialogs/reconsent_flow.h"
#include "ui/login/login_form.h"
#include "ui/login/login_menu_bar.h"
#include "ui/login/login_window.h"
#include "ui/main/main_menu_bar.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/shell/i_shell_navigator.h"
#include "user/consent_service.h"
#include "user/nickname_service.h"
#include "user/profile_service.h"
#include "user/user_directory_service.h"
#include "user/user_state.h"
#include "wiring/login_window_wiring.h"
#include "wiring/main_window_wiring.h"
#include "wiring/service_wiring.h"

#include <QFile>
#include <QPointer>

#include <memory>

namespace {

QString legalTitle(LegalDoc doc)
{
    return doc == LegalDoc::Privacy ? QStringLiteral("隐私保护政策") : QStringLiteral("用户协议");
}

DocumentDialog *openViewer(const QString &title, QWidget *parent)
{
    auto *dialog = new DocumentDialog(title, DocumentDialog::Viewer, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

} // namespace

namespace wiring {

// Shell start: the window swap first, so that the main window and all of its wiring
// exist before the profile, the gateway and the room list produce anything.
void wireShellSession(LoginService *login, SessionService *session, IShellNavigator *navigator)
{
    QObject::connect(login, &LoginService::loginSucceeded, login,
                     [navigator](const QString &, bool isNewUser, bool reactivated) {
                         MainWindowOptions options;
                         options.isNewUser = isNewUser;
                         options.reactivated = reactivated;
                         navigator->showMainWindow(options);
                     });
    QObject::connect(session, &SessionService::sessionResumed, session,
                     [navigator](const QString &) { navigator->showMainWindow(MainWindowOptions{}); });
    QObject::connect(session, &SessionService::sessionExpired, session, [navigator] { navigator->showLoginWindow(); });
    QObject::connect(session, &SessionService::loggedOut, session, [navigator] { navigator->showLoginWindow(); });
}

void wireProfileLifecycle(LoginService *login, SessionService *session, ProfileService *profile, UserState *user)
{
    QObject::connect(login, &LoginService::loginSucceeded, profile, [profile] { profile->fetchProfile(); });
    QObject::connect(session, &SessionService::sessionResumed, profile, [profile] { profile->fetchProfile(); });
    QObject::connect(session, &SessionService::loggedOut, user, &UserState::clear);
    QObject::connect(session, &SessionService::sessionExpired, user, &UserState::clear);
}

void wireReconsentCheck(ProfileService *profile, ConsentService *consent)
{
    QObject::connect(profile, &ProfileService::profileFetched, consent, &ConsentService::checkReconsent);
}

void wireRealtimeLifecycle(LoginService *login, SessionService *session, GatewayService *gateway)
{
    // The gateway asks before every connect; a failed refresh answers with an empty token,
    // on which the gateway backs off and tries again.
    gateway->setTokenProvider(
        [session](GatewayService::TokenCallback callback) { session->ensureFreshAccessToken(std::move(callback)); });
    QObject::connect(login, &LoginService::loginSucceeded, gateway, [gateway] { gateway->start(); });
    QObject::connect(session, &SessionService::sessionResumed, gateway, [gateway] { gateway->start(); });
    QObject::connect(session, &SessionService::loggedOut, gateway, &GatewayService::stop);
    QObject::connect(session, &SessionService::sessionExpired, gateway, &GatewayService::stop);
}

void wireProfileRealtime(GatewayService *gateway, ProfileService *profile)
{
    QObject::connect(gateway, &GatewayService::eventReceived, profile, &ProfileService::onProfileUpdatedEvent);
    QObject::connect(gateway, &GatewayService::resyncRequired, profile, &ProfileService::fetchProfile);
}

void wireUserDirectory(GatewayService *gateway, UserDirectoryService *directory, SessionService *session)
{
    QObject::connect(directory, &UserDirectoryService::profileSubscribeRequested, gateway,
                     &GatewayService::subscribeProfiles);
    QObject::connect(directory, &UserDirectoryService::profileUnsubscribeRequested, gateway,
                     &GatewayService::unsubscribeProfiles);
    QObject::connect(gateway, &GatewayService::eventReceived, directory, &UserDirectoryService::onProfileUpdatedEvent);
    QObject::connect(gateway, &GatewayService::resyncRequired, directory, &UserDirectoryService::onResync);
    QObject::connect(session, &SessionService::loggedOut, directory, &UserDirectoryService::clear);
    QObject::connect(session, &SessionService::sessionExpired, directory, &UserDirectoryService::clear);
}

// Login window.

void wireLegal(LoginWindow *window, LegalService *legal)
{
    LoginForm *form = window->form();
    QObject::connect(form, &LoginForm::legalLinkClicked, legal, [form, legal](LegalDoc doc) {
        QPointer<DocumentDialog> dialog = openViewer(legalTitle(doc), form);
        // The answer may come after the dialog was closed; it is dropped then.
        legal->fetchDoc(doc, [dialog](bool ok, const QString &text) {
            if (!dialog)
                return;
            if (ok)
                dialog->setContent(text, false);
            else
                dialog->setPlainText(QStringLiteral("加载失败，请关闭后重试"));
        });
    });
}

void showLicenses(QWidget *parent)
{
    DocumentDialog *dialog = openViewer(QStringLiteral("开源许可"), parent);
    QFile file(QStringLiteral(":/licenses.md"));
    if (file.open(QIODevice::ReadOnly)) {
        dialog->setContent(QString::fromUtf8(file.readAll()), false);
        file.close();
    } else {
        dialog->setPlainText(QStringLiteral("开源许可信息加载失败"));
    }
}

void wireLicenses(LoginWindow *window)
{
    QObject::connect(window->loginMenuBar(), &LoginMenuBar::licensesRequested, window,
                     [window] { showLicenses(window); });
}

void wireLoginForm(LoginWindow *window, SmsService *sms, LoginService *login, LegalService *legal)
{
    LoginForm *form = window->form();
    QObject::connect(form, &LoginForm::sendCodeRequested, sms, &SmsService::sendCode);
    QObject::connect(sms, &SmsService::sendCodeSucceeded, form, &LoginForm::applySendCodeSuccess);
    QObject::connect(sms, &SmsService::sendCodeFailed, form, &LoginForm::applySendCodeError);
    // The agreed version is the one current when the user presses the button.
    QObject::connect(form, &LoginForm::loginRequested, form, [login, legal](const QString &phone, const QString &code) {
        login->login(phone, code, legal->versionTag());
    });
    QObject::connect(login, &LoginService::loginFailed, form, &LoginForm::applyLoginError);
}

// Main window.

void wireLicenses(MainWindow *window)
{
    QObject::connect(window->mainMenuBar(), &MainMenuBar::licensesRequested, window,
                     [window] { showLicenses(window); });
}

void wireLogout(MainWindow *window, SessionService *session)
{
    QObject::connect(window->mainMenuBar(), &MainMenuBar::logoutRequested, session, &SessionService::logout);
}

void wireNicknameLabel(MainWindow *window, UserState *user)
{
    MainStatusBar *bar = window->statusBar();
    bar->setNickname(user->nickname());
    QObject::connect(user, &UserState::nicknameChanged, bar, &MainStatusBar::setNickname);
}

void openAccountDialog(MainWindow *window, UserState *user, NicknameService *nickname)
{
    auto *dialog = new AccountDialog(user->nickname(), user->username(), window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &AccountDialog::nicknameSubmitted, nickname, &NicknameService::updateNickname);
    QObject::connect(nickname, &NicknameService::updateSucceeded, dialog, &AccountDialog::applyNicknameSuccess);
    QObject::connect(nickname, &NicknameService::updateFailed, dialog, &AccountDialog::applyNicknameError);
    dialog->open();
}

void wireAccountDialog(MainWindow *window, UserState *user, NicknameService *nickname)
{
    QObject::connect(window->mainMenuBar(), &MainMenuBar::accountDetailRequested, window,
                     [window, user, nickname] { openAccountDialog(window, user, nickname); });
}

void wireUserReconsent(MainWindow *window, ConsentService *consent, LegalService *legal, SessionService *session)
{
    // One flow per window: the profile is fetched on a resume and again on the gateway's
    // first session, and each fetch asks for consent; a second flow would stack its
    // dialogs on the first one's.
    auto running = std::make_shared<QPointer<ReconsentFlow>>();
    QObject::connect(consent, &ConsentService::reconsentRequired, window,
                     [window, consent, legal, session, running](const QList<LegalDoc> &docs) {
                         if (*running)
                             return;
                         auto *flow = new ReconsentFlow(window, window);
                         *running = flow;
                         QObject::connect(flow, &ReconsentFlow::docNeeded, flow, [flow, legal](LegalDoc doc) {
                             QPointer<ReconsentFlow> guard(flow);
                             legal->fetchDoc(doc, [guard, doc](bool ok, const QString &text) {
                                 if (guard)
                                     guard->onDocumentLoaded(doc, ok, text);
                             });
                         });
                         QObject::connect(flow, &ReconsentFlow::allAgreed, consent, &ConsentService::submitConsent);
                         QObject::connect(flow, &ReconsentFlow::rejected, session, &SessionService::logout);
                         flow->start(docs);
                     });
}

} // namespace wiring
