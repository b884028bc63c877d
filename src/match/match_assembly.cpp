#include "match/match_assembly.h"

#include "match/code_attach_service.h"
#include "match/code_match_service.h"
#include "match/pref_match_service.h"

MatchAssembly::MatchAssembly(IHttpClient *api)
    : codeMatch(std::make_unique<CodeMatchService>(api))
    , codeAttach(std::make_unique<CodeAttachService>(api))
    , prefMatch(std::make_unique<PrefMatchService>(api))
{}

MatchAssembly::~MatchAssembly() = default;
