#include "match/match_assembly.h"

MatchAssembly::MatchAssembly(IHttpClient *) {}
MatchAssembly::~MatchAssembly() = default;
