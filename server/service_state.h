#pragma once

#include "room_world.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace localservice {

// One account. Status is "active", "deactivated" or "banned".
struct Account
{
    QString userId;
    QString phone;
    QString username;
    QString nickname;
    QString status = QStringLiteral("active");
    QString agreedLegalVersion;
    qint64 createdAtMs = 0;
    qint64 updatedAtMs = 0;
};

// One signed-in device: the chain of refresh tokens that began with a login. Only the
// digest of the current refresh token is kept; rotating replaces it.
struct SignIn
{
    QString id;
    QString userId;
    QString deviceId;
    QByteArray refreshDigest;
    qint64 refreshExpiresAtSec = 0;
};

// A verification code waiting to be used. Never written to the state file.
struct PendingCode
{
    QString code;
    qint64 sentAtSec = 0;
    qint64 expiresAtSec = 0;
    int failedAttempts = 0;
};

// Everything the service knows. Each area is one section of the state file, so that
// later areas (rooms, chat, channels) add a section of their own beside "accounts".
// GUI thread only.
struct ServiceState
{
    QHash<QString, Account> accounts; // by user id
    QHash<QString, QString> userIdByPhone;
    QHash<QString, SignIn> signIns;             // by sign-in id
    QHash<QByteArray, QString> signInByRefresh; // refresh digest -> sign-in id
    QHash<QString, PendingCode> codes;          // by phone; memory only
    qint64 nextUserNumber = 10001;
    QByteArray tokenSecret; // kept so that a restart keeps tokens valid
    RoomWorld world;        // rooms, chats and channels

    // Adds the account under both of its keys.
    void insertAccount(const Account &account);
    // Adds a sign-in, or replaces one with the same id, keeping the refresh index right.
    void putSignIn(const SignIn &signIn);
    void removeSignIn(const QString &id);
    // Removes every sign-in of the user; returns their ids.
    QStringList removeSignInsOf(const QString &userId);

    QJsonObject toJson() const;
    // The state a file held; nothing (and the reason) when a section is malformed.
    static std::optional<ServiceState> fromJson(const QJsonObject &json, QString *error);
};

} // namespace localservice
