#pragma once

#include <QString>

// How long an update lock counts as fresh (five minutes).
inline constexpr qint64 kUpdateLockTtlMs = 300000;

// "update.lock" in the data root, located straight from the generic data location so that
// it can be read before anything else of the client exists.
QString updateLockPath();

// Writes the lock with the given time (milliseconds since the epoch); false, with a warning,
// when it cannot be written completely.
bool writeUpdateLock(qint64 nowMs);
// The same with the current time.
bool writeUpdateLock();

// True while a fresh update lock shows an installer at work, judged at nowMs. A lock that
// is stale, malformed or dated further ahead than its time-to-live is removed.
bool isUpdateInstallInProgress(qint64 nowMs);
// The same with the current time.
bool isUpdateInstallInProgress();
