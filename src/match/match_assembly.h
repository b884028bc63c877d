#pragma once

#include <memory>

class CodeAttachService;
class CodeMatchService;
class IHttpClient;
class PrefMatchService;

// The match module: joining and attaching by code, and preference matching. Owns its
// services (built without a Qt parent, over one IHttpClient) and destroys them in the
// reverse order of construction. GUI thread only.
class MatchAssembly
{
public:
    explicit MatchAssembly(IHttpClient *api);
    ~MatchAssembly();
    MatchAssembly(const MatchAssembly &) = delete;
    MatchAssembly &operator=(const MatchAssembly &) = delete;

    CodeMatchService *codeMatchService() const { return codeMatch.get(); }
    CodeAttachService *codeAttachService() const { return codeAttach.get(); }
    PrefMatchService *prefMatchService() const { return prefMatch.get(); }

private:
    // Construction order; the defaulted destructor tears down in reverse.
    std::unique_ptr<CodeMatchService> codeMatch;
    std::unique_ptr<CodeAttachService> codeAttach;
    std::unique_ptr<PrefMatchService> prefMatch;
};
