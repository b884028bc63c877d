#include "user/user_assembly.h"

UserAssembly::UserAssembly(IHttpClient *, LegalService *) {}
UserAssembly::~UserAssembly() = default;
