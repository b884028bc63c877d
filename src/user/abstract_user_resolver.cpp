#include "user/abstract_user_resolver.h"

AbstractUserResolver::AbstractUserResolver(QObject *parent)
    : QObject(parent)
{}

AbstractUserResolver::~AbstractUserResolver() = default;
