#pragma once

#include <memory>

class ConsentService;
class DeactivateService;
class IHttpClient;
class LegalService;
class NicknameService;
class ProfileService;
class UserDirectoryService;
class UserState;

// The user module: owns the signed-in user's state and the user services and
// hands out plain pointers to them. It makes no connections; the wiring does.
// GUI thread only.
class UserAssembly
{
public:
    UserAssembly(IHttpClient *api, LegalService *legal);
    ~UserAssembly();
    UserAssembly(const UserAssembly &) = delete;
    UserAssembly &operator=(const UserAssembly &) = delete;

    UserState *userState() const { return state.get(); }
    ProfileService *profileService() const { return profile.get(); }
    NicknameService *nicknameService() const { return nickname.get(); }
    DeactivateService *deactivateService() const { return deactivate.get(); }
    ConsentService *consentService() const { return consent.get(); }
    UserDirectoryService *userDirectoryService() const { return directory.get(); }

private:
    // Declared in construction order: the services go before the state they point to.
    std::unique_ptr<UserState> state;
    std::unique_ptr<ProfileService> profile;
    std::unique_ptr<NicknameService> nickname;
    std::unique_ptr<DeactivateService> deactivate;
    std::unique_ptr<ConsentService> consent;
    std::unique_ptr<UserDirectoryService> directory;
};
