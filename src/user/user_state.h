#pragma once

#include <QObject>
#include <QString>

struct UserProfile;

// What the client knows about the signed-in user. Empty until the first profile
// fetch and again after sign-out. GUI thread only.
class UserState : public QObject
{
    Q_OBJECT
public:
    explicit UserState(QObject *parent = nullptr);

    QString userId() const { return m_userId; }
    QString username() const { return m_username; }
    QString nickname() const { return m_nickname; }
    QString status() const { return m_status; }
    QString agreedLegalVersion() const { return m_agreedLegalVersion; }

    // Counts sign-outs. A reply to a request sent under an older generation
    // belongs to a session that has ended and must not touch this state.
    quint64 generation() const { return m_generation; }

    // Replaces every field; announces the nickname only when it changed.
    void applyProfile(const UserProfile &profile);
    void setNickname(const QString &nickname);

public slots:
    // Sign-out: empties every field and starts a new generation.
    void clear();

signals:
    void nicknameChanged(const QString &nickname);
    // The signed-in user's id changed: a profile arrived for another user, or a sign-out.
    void userIdChanged(const QString &userId);
    // After every clear(), so that pending work of the ended session stops.
    void cleared();
    // After every applyProfile(), also when no field changed: the profile has arrived.
    void profileApplied();

private:
    QString m_userId;
    QString m_username;
    QString m_nickname;
    QString m_status;
    QString m_agreedLegalVersion;
    quint64 m_generation = 0;
};
