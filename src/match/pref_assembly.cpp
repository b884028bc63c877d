#include "match/pref_assembly.h"

PrefAssembly::PrefAssembly() = default;
PrefAssembly::~PrefAssembly() = default;
