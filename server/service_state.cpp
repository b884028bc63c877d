#include "service_state.h"

#include <QJsonArray>

namespace localservice {

namespace {

constexpr int kFormatVersion = 1;

QString stringOf(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

qint64 integerOf(const QJsonObject &object, const char *key)
{
    return qint64(object.value(QLatin1String(key)).toDouble());
}

} // namespace

void ServiceState::insertAccount(const Account &account)
{
    accounts.insert(account.userId, account);
    userIdByPhone.insert(account.phone, account.userId);
}

void ServiceState::putSignIn(const SignIn &signIn)
{
    removeSignIn(signIn.id);
    signIns.insert(signIn.id, signIn);
    signInByRefresh.insert(signIn.refreshDigest, signIn.id);
}

void ServiceState::removeSignIn(const QString &id)
{
    const auto it = signIns.constFind(id);
    if (it == signIns.constEnd())
        return;
    signInByRefresh.remove(it->refreshDigest);
    signIns.erase(it);
}

QStringList ServiceState::removeSignInsOf(const QString &userId)
{
    QStringList removed;
    for (const SignIn &signIn : std::as_const(signIns)) {
        if (signIn.userId == userId)
            removed << signIn.id;
    }
    for (const QString &id : std::as_const(removed))
        removeSignIn(id);
    return removed;
}

QJsonObject ServiceState::toJson() const
{
    QJsonArray accountArray;
    for (const Account &a : accounts) {
        accountArray.append(QJsonObject{
            {QStringLiteral("userId"), a.userId},
            {QStringLiteral("phone"), a.phone},
            {QStringLiteral("username"), a.username},
            {QStringLiteral("nickname"), a.nickname},
            {QStringLiteral("status"), a.status},
            {QStringLiteral("agreedLegalVersion"), a.agreedLegalVersion},
            {QStringLiteral("createdAtMs"), double(a.createdAtMs)},
            {QStringLiteral("updatedAtMs"), double(a.updatedAtMs)},
        });
    }
    QJsonArray signInArray;
    for (const SignIn &s : signIns) {
        signInArray.append(QJsonObject{
            {QStringLiteral("id"), s.id},
            {QStringLiteral("userId"), s.userId},
            {QStringLiteral("deviceId"), s.deviceId},
            {QStringLiteral("refreshDigest"), QString::fromLatin1(s.refreshDigest.toHex())},
            {QStringLiteral("refreshExpiresAtSec"), double(s.refreshExpiresAtSec)},
        });
    }
    return QJsonObject{
        {QStringLiteral("formatVersion"), kFormatVersion},
        {QStringLiteral("accounts"),
         QJsonObject{
             {QStringLiteral("nextUserNumber"), double(nextUserNumber)},
             {QStringLiteral("tokenSecret"), QString::fromLatin1(tokenSecret.toHex())},
             {QStringLiteral("users"), accountArray},
             {QStringLiteral("signIns"), signInArray},
         }},
        {QStringLiteral("rooms"), world.toJson()},
    };
}

std::optional<ServiceState> ServiceState::fromJson(const QJsonObject &json, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<ServiceState> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (json.value(QLatin1String("formatVersion")).toInt() != kFormatVersion)
        return fail(QStringLiteral("unknown formatVersion"));
    ServiceState state;
    const QJsonObject section = json.value(QLatin1String("accounts")).toObject();
    state.nextUserNumber = std::max<qint64>(integerOf(section, "nextUserNumber"), 10001);
    state.tokenSecret = QByteArray::fromHex(stringOf(section, "tokenSecret").toLatin1());
    for (const QJsonValue &value : section.value(QLatin1String("users")).toArray()) {
        const QJsonObject o = value.toObject();
        Account a;
        a.userId = stringOf(o, "userId");
        a.phone = stringOf(o, "phone");
        a.username = stringOf(o, "username");
        a.nickname = stringOf(o, "nickname");
        a.status = stringOf(o, "status");
        a.agreedLegalVersion = stringOf(o, "agreedLegalVersion");
        a.createdAtMs = integerOf(o, "createdAtMs");
        a.updatedAtMs = integerOf(o, "updatedAtMs");
        if (a.userId.isEmpty() || a.phone.isEmpty() || a.status.isEmpty())
            return fail(QStringLiteral("an account lacks its id, phone or status"));
        if (state.accounts.contains(a.userId) || state.userIdByPhone.contains(a.phone))
            return fail(QStringLiteral("two accounts share an id or a phone number"));
        state.insertAccount(a);
    }
    for (const QJsonValue &value : section.value(QLatin1String("signIns")).toArray()) {
        const QJsonObject o = value.toObject();
        SignIn s;
        s.id = stringOf(o, "id");
        s.userId = stringOf(o, "userId");
        s.deviceId = stringOf(o, "deviceId");
        s.refreshDigest = QByteArray::fromHex(stringOf(o, "refreshDigest").toLatin1());
        s.refreshExpiresAtSec = integerOf(o, "refreshExpiresAtSec");
        if (s.id.isEmpty() || !state.accounts.contains(s.userId) || s.refreshDigest.size() != 32)
            return fail(QStringLiteral("a sign-in is malformed or names no account"));
        state.putSignIn(s);
    }
    QString worldError;
    std::optional<RoomWorld> world = RoomWorld::fromJson(json.value(QLatin1String("rooms")).toObject(), &worldError);
    if (!world)
        return fail(worldError);
    state.world = std::move(*world);
    return state;
}

} // namespace localservice
