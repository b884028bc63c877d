#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Answers the names of users by id for views, dialogs and the wiring. GUI thread only.
class AbstractUserResolver : public QObject
{
    Q_OBJECT
public:
    explicit AbstractUserResolver(QObject *parent = nullptr);
    ~AbstractUserResolver() override;

    // Asks for the user's names: answered at once when known, later otherwise,
    // both through userInfoReady. An empty id is ignored.
    virtual void request(const QString &userId) = 0;
    virtual void requestMany(const QStringList &userIds) = 0;
    // The known names, empty when unknown. They never fetch.
    virtual QString nickname(const QString &userId) const = 0;
    virtual QString username(const QString &userId) const = 0;
    // Whether the user's names have been answered, even if both are empty; such a user is
    // never requested again. The default knows a user by a non-empty name.
    virtual bool isKnown(const QString &userId) const;

signals:
    void userInfoReady(const QString &userId, const QString &nickname);
};
