#include "fuzz_target.h"

#include "update/block_map.h"
#include "update/update_manifest.h"

// The update feed's manifest and the (unsigned) block map.
KESTOVA_FUZZ_TARGET(update_manifest)
{
    const QByteArray bytes = fuzzing::bytesOf(data, size);
    (void)parseUpdateManifest(bytes);
    (void)parseBlockMap(bytes);
}
