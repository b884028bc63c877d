#include "user/abstract_user_resolver.h"

AbstractUserResolver::AbstractUserResolver(QObject *parent)
    : QObject(parent)
{}

AbstractUserResolver::~AbstractUserResolver() = default;

bool AbstractUserResolver::isKnown(const QString &userId) const
{
    return !nickname(userId).isEmpty() || !username(userId).isEmpty();
}
