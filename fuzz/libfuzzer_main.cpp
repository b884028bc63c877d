#include "fuzz_target.h"

#include <QLoggingCategory>

// Each libFuzzer executable holds exactly one target.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool quiet = [] {
        // Rejected input is logged by design; at a million runs that is only noise.
        QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
        return true;
    }();
    (void)quiet;
    fuzzing::targets().front().entry(data, size);
    return 0;
}
