#pragma once

#include "user/abstract_user_resolver.h"

#include <QHash>
#include <QPair>
#include <QStringList>

// A user resolver with a fixed cache. A request for an unknown user is only recorded;
// the test answers it later with learn().
class ScriptedResolver : public AbstractUserResolver
{
public:
    QHash<QString, QPair<QString, QString>> names; // id -> (nickname, username)
    QStringList requested;

    void request(const QString &userId) override
    {
        requested << userId;
        if (names.contains(userId))
            emit userInfoReady(userId, names.value(userId).first);
    }
    void requestMany(const QStringList &userIds) override
    {
        for (const QString &id : userIds)
            request(id);
    }
    QString nickname(const QString &userId) const override { return names.value(userId).first; }
    QString username(const QString &userId) const override { return names.value(userId).second; }

    void learn(const QString &userId, const QString &nickname, const QString &username)
    {
        names.insert(userId, {nickname, username});
        emit userInfoReady(userId, nickname);
    }
};
