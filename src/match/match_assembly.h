#pragma once

class IHttpClient;

// Joining and attaching by code, and preference matching.
class MatchAssembly
{
public:
    explicit MatchAssembly(IHttpClient *api);
    ~MatchAssembly();
};
