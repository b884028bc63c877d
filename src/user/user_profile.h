#pragma once

#include <QString>

class QJsonObject;

// The signed-in user's own profile as the server reports it.
struct UserProfile
{
    QString userId;
    QString username;
    QString nickname;
    QString status;
    QString agreedLegalVersion;
};

// Reads a user object of the REST API; an absent or non-string key gives an
// empty string. Never fails.
UserProfile parseUserProfile(const QJsonObject &json);
