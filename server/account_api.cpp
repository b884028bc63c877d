#include "account_api.h"

#include "gateway_hub.h"
#include "json_body.h"
#include "service_log.h"
#include "service_state.h"
#include "token_issuer.h"

#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTextStream>

namespace localservice {

namespace {

constexpr int kPhoneChars = 32;
constexpr int kCodeChars = 16;
constexpr int kDeviceIdChars = 128;
constexpr int kLegalVersionChars = 256;
constexpr int kTokenChars = 512;
constexpr int kNicknameChars = 32;
constexpr int kMaxBatchIds = 200;
constexpr int kUserIdChars = 64;

bool isValidPhone(const QString &phone)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("1[3-9]\\d{9}")));
    return pattern.match(phone).hasMatch();
}

// Why a nickname is refused, or an empty string.
QString nicknameProblem(const QString &nickname)
{
    if (nickname.trimmed().isEmpty())
        return QStringLiteral("不能为空白");
    if (nickname.trimmed() != nickname)
        return QStringLiteral("首尾不能有空白");
    for (const QChar c : nickname) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return QStringLiteral("不能包含控制字符");
    }
    return {};
}

} // namespace

QJsonObject profileJson(const Account &account)
{
    return QJsonObject{
        {QStringLiteral("userId"), account.userId},
        {QStringLiteral("username"), account.username},
        {QStringLiteral("nickname"), account.nickname},
        {QStringLiteral("status"), account.status},
        {QStringLiteral("agreedLegalVersion"), account.agreedLegalVersion},
        {QStringLiteral("updatedAtMs"), double(account.updatedAtMs)},
    };
}

AccountApi::AccountApi(ServiceState *state_, TokenIssuer *tokens_, GatewayHub *gateway_, AccountPolicy policy_,
                       QObject *parent)
    : QObject(parent)
    , state(state_)
    , tokens(tokens_)
    , gateway(gateway_)
    , policy(policy_)
    , clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{}

void AccountApi::setClock(std::function<qint64()> nowMs)
{
    clock = std::move(nowMs);
}

void AccountApi::addRoutes(ApiRouter &router)
{
    using Access = ApiRouter::Access;
    router.add("POST", QStringLiteral("/v1/auth/send-code"), Access::Public,
               [this](const ApiRequest &r) { return sendCode(r); });
    router.add("POST", QStringLiteral("/v1/auth/login"), Access::Public,
               [this](const ApiRequest &r) { return login(r); });
    router.add("POST", QStringLiteral("/v1/auth/refresh"), Access::Public,
               [this](const ApiRequest &r) { return refresh(r); });
    router.add("POST", QStringLiteral("/v1/auth/logout"), Access::Public,
               [this](const ApiRequest &r) { return logout(r); });
    router.add("GET", QStringLiteral("/v1/users/me"), Access::SignedIn,
               [this](const ApiRequest &r) { return profile(r); });
    router.add("PATCH", QStringLiteral("/v1/users/me"), Access::SignedIn,
               [this](const ApiRequest &r) { return updateProfile(r); });
    router.add("DELETE", QStringLiteral("/v1/users/me"), Access::SignedIn,
               [this](const ApiRequest &r) { return deactivate(r); });
    router.add("POST", QStringLiteral("/v1/users/batch-get"), Access::SignedIn,
               [this](const ApiRequest &r) { return batchGet(r); });
}

std::optional<AccessGrant> AccountApi::authorize(const QString &accessToken) const
{
    const std::optional<AccessClaims> claims = tokens->verifyAccessToken(accessToken, nowSec());
    if (!claims)
        return std::nullopt;
    const auto signIn = state->signIns.constFind(claims->signInId);
    if (signIn == state->signIns.constEnd() || signIn->userId != claims->userId)
        return std::nullopt;
    const auto account = state->accounts.constFind(claims->userId);
    if (account == state->accounts.constEnd() || account->status != QLatin1String("active"))
        return std::nullopt;
    return AccessGrant{claims->userId, claims->signInId};
}

ApiReply AccountApi::sendCode(const ApiRequest &request)
{
    JsonBody body(request.body);
    const QString phone = body.requiredString("phone", kPhoneChars);
    if (!body.ok())
        return body.errorReply();
    if (!isValidPhone(phone))
        return ApiReply::error(400, QStringLiteral("auth.sms.phone_invalid"), QStringLiteral("手机号无效"));

    const qint64 now = nowSec();
    const auto pending = state->codes.constFind(phone);
    if (pending != state->codes.constEnd() && now < pending->sentAtSec + policy.codeResendSec) {
        const int wait = int(pending->sentAtSec + policy.codeResendSec - now);
        return ApiReply::error(429, QStringLiteral("auth.sms.throttle"), QStringLiteral("验证码刚刚发送过, 请稍后再试"),
                               QJsonObject{{QStringLiteral("retryAfter"), wait}});
    }
    PendingCode code;
    code.code = TokenIssuer::randomDigits(6);
    code.sentAtSec = now;
    code.expiresAtSec = now + policy.codeTtlSec;
    state->codes.insert(phone, code);
    // No text message leaves this machine: the code is shown where the service runs.
    qCInfo(lcServiceAccounts).noquote().nospace() << "verification code phone=" << phone << " code=" << code.code;
    QTextStream(stdout) << "verification code for " << phone << ": " << code.code << Qt::endl;
    emit codeSent(phone, code.code);
    return ApiReply::json(200, QJsonObject{{QStringLiteral("retryAfter"), policy.codeResendSec}});
}

ApiReply AccountApi::login(const ApiRequest &request)
{
    JsonBody body(request.body);
    const QString phone = body.requiredString("phone", kPhoneChars);
    const QString code = body.optionalString("code", kCodeChars).value_or(QString());
    const QString deviceId = body.optionalString("deviceId", kDeviceIdChars).value_or(QString());
    const QString agreed = body.optionalString("agreedLegalVersion", kLegalVersionChars).value_or(QString());
    if (!body.ok())
        return body.errorReply();
    if (code.isEmpty())
        return ApiReply::error(400, QStringLiteral("auth.login.code_required"), QStringLiteral("请输入验证码"));

    const qint64 now = nowSec();
    auto pending = state->codes.find(phone);
    if (pending == state->codes.end() || now >= pending->expiresAtSec) {
        if (pending != state->codes.end())
            state->codes.erase(pending);
        return ApiReply::error(400, QStringLiteral("auth.login.code_invalid"),
                               QStringLiteral("该手机号没有有效的验证码, 请重新获取"));
    }
    if (!TokenIssuer::sameBytes(code.toUtf8(), pending->code.toUtf8())) {
        if (++pending->failedAttempts >= policy.maxCodeAttempts) {
            state->codes.erase(pending);
            qCWarning(lcServiceAccounts).noquote() << "code attempts exceeded, code dropped phone=" + phone;
            return ApiReply::error(429, QStringLiteral("auth.login.code_attempts_exceeded"),
                                   QStringLiteral("验证码错误次数过多, 请重新获取"));
        }
        return ApiReply::error(400, QStringLiteral("auth.login.code_invalid"), QStringLiteral("验证码错误"));
    }

    const QString existingId = state->userIdByPhone.value(phone);
    const bool isNewUser = existingId.isEmpty();
    if (isNewUser && agreed.isEmpty()) {
        // The code stays valid: the user agrees and sends it again.
        return ApiReply::error(400, QStringLiteral("auth.login.legal_required"),
                               QStringLiteral("请先同意用户协议和隐私政策"));
    }
    if (!isNewUser && state->accounts.value(existingId).status == QLatin1String("banned"))
        return ApiReply::error(403, QStringLiteral("account.banned"), QStringLiteral("该账号已被封禁"));

    state->codes.remove(phone);
    const qint64 nowMs = clock();
    bool reactivated = false;
    QString userId = existingId;
    if (isNewUser) {
        Account account;
        // A hand-edited state file may already use the next number.
        while (state->accounts.contains(QString::number(state->nextUserNumber)))
            ++state->nextUserNumber;
        account.userId = QString::number(state->nextUserNumber++);
        account.phone = phone;
        account.username = QStringLiteral("user") + account.userId;
        account.nickname = QStringLiteral("user") + phone.right(4);
        account.agreedLegalVersion = agreed;
        account.createdAtMs = nowMs;
        account.updatedAtMs = nowMs;
        state->insertAccount(account);
        userId = account.userId;
    } else {
        Account &account = state->accounts[userId];
        reactivated = account.status == QLatin1String("deactivated");
        if (reactivated)
            account.status = QStringLiteral("active");
        if (!agreed.isEmpty())
            account.agreedLegalVersion = agreed;
        account.updatedAtMs = nowMs;
    }
    QJsonObject reply = issueTokens(userId, deviceId, QString());
    reply.insert(QStringLiteral("userId"), userId);
    reply.insert(QStringLiteral("isNewUser"), isNewUser);
    reply.insert(QStringLiteral("reactivated"), reactivated);
    qCInfo(lcServiceAccounts).noquote().nospace()
        << "login user_id=" << userId << " is_new_user=" << isNewUser << " reactivated=" << reactivated;
    emit stateChanged();
    return ApiReply::json(200, reply);
}

QJsonObject AccountApi::issueTokens(const QString &userId, const QString &deviceId, const QString &signInId)
{
    SignIn signIn;
    signIn.id = signInId.isEmpty() ? TokenIssuer::randomToken(12) : signInId;
    signIn.userId = userId;
    signIn.deviceId = deviceId;
    const QString refreshToken = TokenIssuer::randomToken(32);
    signIn.refreshDigest = TokenIssuer::digestOf(refreshToken);
    signIn.refreshExpiresAtSec = nowSec() + policy.refreshTokenTtlSec;
    state->putSignIn(signIn);
    return QJsonObject{
        {QStringLiteral("accessToken"),
         tokens->issueAccessToken(userId, signIn.id, nowSec(), policy.accessTokenTtlSec)},
        {QStringLiteral("accessExpiresIn"), policy.accessTokenTtlSec},
        {QStringLiteral("refreshToken"), refreshToken},
        {QStringLiteral("refreshExpiresIn"), policy.refreshTokenTtlSec},
    };
}

void AccountApi::forgetOldRefreshes()
{
    const qint64 now = clock();
    for (auto it = recentRefreshes.begin(); it != recentRefreshes.end();) {
        if (now - it->atMs >= kRefreshRepeatWindowMs || now < it->atMs)
            it = recentRefreshes.erase(it);
        else
            ++it;
    }
}

ApiReply AccountApi::refresh(const ApiRequest &request)
{
    JsonBody body(request.body);
    const QString refreshToken = body.requiredString("refreshToken", kTokenChars);
    if (!body.ok())
        return body.errorReply();
    const ApiReply refused =
        ApiReply::error(401, QStringLiteral("auth.refresh.invalid"), QStringLiteral("登录已失效, 请重新登录"));
    const QByteArray digest = TokenIssuer::digestOf(refreshToken);
    forgetOldRefreshes();
    const auto repeated = recentRefreshes.constFind(digest);
    if (repeated != recentRefreshes.constEnd()) {
        // Still the pair we issued for it (not signed out, not rotated again since)?
        const auto held = state->signIns.constFind(repeated->signInId);
        if (held != state->signIns.constEnd() && TokenIssuer::sameBytes(held->refreshDigest, repeated->issuedDigest)) {
            qCInfo(lcServiceAccounts).noquote().nospace()
                << "refresh repeated, same pair answered user_id=" << held->userId;
            return ApiReply::json(200, repeated->reply);
        }
        return refused;
    }
    const QString signInId = state->signInByRefresh.value(digest);
    const auto signIn = state->signIns.constFind(signInId);
    if (signInId.isEmpty() || signIn == state->signIns.constEnd()
        || !TokenIssuer::sameBytes(signIn->refreshDigest, digest))
        return refused;
    const SignIn current = signIn.value();
    if (current.refreshExpiresAtSec <= nowSec()) {
        state->removeSignIn(current.id);
        emit stateChanged();
        return refused;
    }
    if (state->accounts.value(current.userId).status != QLatin1String("active"))
        return refused;
    // Rotation: the token just used is gone for good once the new pair is issued.
    const QJsonObject reply = issueTokens(current.userId, current.deviceId, current.id);
    recentRefreshes.insert(digest,
                           RecentRefresh{current.id, state->signIns.value(current.id).refreshDigest, reply, clock()});
    qCInfo(lcServiceAccounts).noquote().nospace() << "tokens refreshed user_id=" << current.userId;
    emit stateChanged();
    return ApiReply::json(200, reply);
}

ApiReply AccountApi::logout(const ApiRequest &request)
{
    JsonBody body(request.body);
    const QString refreshToken = body.requiredString("refreshToken", kTokenChars);
    if (!body.ok())
        return body.errorReply();
    const QString signInId = state->signInByRefresh.value(TokenIssuer::digestOf(refreshToken));
    if (!signInId.isEmpty()) {
        const QString userId = state->signIns.value(signInId).userId;
        state->removeSignIn(signInId);
        gateway->endSignIn(signInId);
        qCInfo(lcServiceAccounts).noquote() << "logout user_id=" + userId;
        emit stateChanged();
    }
    // Signing out twice, or with a token that ran out, leaves the same result.
    return ApiReply::json(200, QJsonObject{});
}

ApiReply AccountApi::profile(const ApiRequest &request) const
{
    return ApiReply::json(200, profileJson(state->accounts.value(request.userId)));
}

ApiReply AccountApi::updateProfile(const ApiRequest &request)
{
    JsonBody body(request.body);
    const std::optional<QString> nickname = body.optionalString("nickname", kNicknameChars);
    const std::optional<QString> agreed = body.optionalString("agreedLegalVersion", kLegalVersionChars);
    if (body.ok() && nickname && !nicknameProblem(*nickname).isEmpty())
        body.refuse("nickname", nicknameProblem(*nickname));
    if (body.ok() && agreed && agreed->isEmpty())
        body.refuse("agreedLegalVersion", QStringLiteral("不能为空"));
    if (body.ok() && !nickname && !agreed)
        body.refuse("nickname", QStringLiteral("或 \"agreedLegalVersion\" 须至少给出一个"));
    if (!body.ok())
        return body.errorReply();

    Account &account = state->accounts[request.userId];
    const bool nicknameChanged = nickname && *nickname != account.nickname;
    if (nickname)
        account.nickname = *nickname;
    if (agreed)
        account.agreedLegalVersion = *agreed;
    account.updatedAtMs = std::max(clock(), account.updatedAtMs + 1);
    if (nicknameChanged) {
        gateway->publishProfileUpdate(account.userId,
                                      QJsonObject{{QStringLiteral("userId"), account.userId},
                                                  {QStringLiteral("nickname"), account.nickname},
                                                  {QStringLiteral("updatedAtMs"), double(account.updatedAtMs)}},
                                      account.updatedAtMs);
    }
    qCInfo(lcServiceAccounts).noquote().nospace()
        << "profile updated user_id=" << account.userId << " nickname_changed=" << nicknameChanged
        << " consent_changed=" << agreed.has_value();
    emit stateChanged();
    return ApiReply::json(200, profileJson(account));
}

ApiReply AccountApi::deactivate(const ApiRequest &request)
{
    Account &account = state->accounts[request.userId];
    account.status = QStringLiteral("deactivated");
    account.updatedAtMs = std::max(clock(), account.updatedAtMs + 1);
    gateway->kickUser(account.userId);
    for (const QString &signInId : state->removeSignInsOf(account.userId))
        gateway->endSignIn(signInId);
    qCInfo(lcServiceAccounts).noquote() << "account deactivated user_id=" + account.userId;
    emit stateChanged();
    return ApiReply::json(200, QJsonObject{});
}

ApiReply AccountApi::batchGet(const ApiRequest &request) const
{
    JsonBody body(request.body);
    const QStringList userIds = body.requiredStringArray("userIds", kMaxBatchIds, kUserIdChars);
    if (!body.ok())
        return body.errorReply();
    QJsonArray users;
    QSet<QString> seen;
    for (const QString &userId : userIds) {
        const auto account = state->accounts.constFind(userId);
        if (account == state->accounts.constEnd() || seen.contains(userId))
            continue;
        seen.insert(userId);
        users.append(QJsonObject{
            {QStringLiteral("userId"), account->userId},
            {QStringLiteral("username"), account->username},
            {QStringLiteral("nickname"), account->nickname},
            {QStringLiteral("updatedAtMs"), double(account->updatedAtMs)},
        });
    }
    return ApiReply::json(200, QJsonObject{{QStringLiteral("users"), users}});
}

} // namespace localservice
