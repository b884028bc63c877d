#include "user/user_assembly.h"

#include "user/consent_service.h"
#include "user/deactivate_service.h"
#include "user/nickname_service.h"
#include "user/profile_service.h"
#include "user/user_directory_service.h"
#include "user/user_state.h"

UserAssembly::UserAssembly(IHttpClient *api, LegalService *legal)
    : state(std::make_unique<UserState>())
    , profile(std::make_unique<ProfileService>(api, state.get()))
    , nickname(std::make_unique<NicknameService>(api, state.get()))
    , deactivate(std::make_unique<DeactivateService>(api))
    , consent(std::make_unique<ConsentService>(api, state.get(), legal))
    , directory(std::make_unique<UserDirectoryService>(api))
{}

UserAssembly::~UserAssembly() = default;
