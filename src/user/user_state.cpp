#include "user/user_state.h"

#include "user/user_profile.h"

UserState::UserState(QObject *parent)
    : QObject(parent)
{}

void UserState::applyProfile(const UserProfile &profile)
{
    const bool idChanged = profile.userId != m_userId;
    m_userId = profile.userId;
    m_username = profile.username;
    m_status = profile.status;
    m_agreedLegalVersion = profile.agreedLegalVersion;
    setNickname(profile.nickname);
    if (idChanged)
        emit userIdChanged(m_userId);
    emit profileApplied();
}

void UserState::setNickname(const QString &nickname)
{
    if (nickname == m_nickname)
        return;
    m_nickname = nickname;
    emit nicknameChanged(m_nickname);
}

void UserState::clear()
{
    const bool idChanged = !m_userId.isEmpty();
    m_userId.clear();
    m_username.clear();
    m_status.clear();
    m_agreedLegalVersion.clear();
    ++m_generation;
    if (!m_nickname.isEmpty()) {
        m_nickname.clear();
        emit nicknameChanged(m_nickname);
    }
    if (idChanged)
        emit userIdChanged(m_userId);
    emit cleared();
}
