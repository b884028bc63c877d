#include "fuzz_target.h"

#include "legal/legal_versions.h"

// The asset host's legal version document and a stored version tag.
KESTOVA_FUZZ_TARGET(legal_versions)
{
    const QByteArray bytes = fuzzing::bytesOf(data, size);
    (void)parseLegalVersions(bytes);
    (void)parseLegalVersionTag(QString::fromUtf8(bytes));
}
