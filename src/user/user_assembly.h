#pragma once

class IHttpClient;
class LegalService;

// The user module: owns the user state and the user services.
class UserAssembly
{
public:
    UserAssembly(IHttpClient *api, LegalService *legal);
    ~UserAssembly();
};
