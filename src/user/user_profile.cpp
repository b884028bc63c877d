#include "user/user_profile.h"

#include <QJsonObject>
#include <QJsonValue>

UserProfile parseUserProfile(const QJsonObject &json)
{
    UserProfile profile;
    profile.userId = json.value(QLatin1String("userId")).toString();
    profile.username = json.value(QLatin1String("username")).toString();
    profile.nickname = json.value(QLatin1String("nickname")).toString();
    profile.status = json.value(QLatin1String("status")).toString();
    profile.agreedLegalVersion = json.value(QLatin1String("agreedLegalVersion")).toString();
    return profile;
}
