#pragma once

#include <QLoggingCategory>
#include <QString>

// The per-user data root ("Kestova" in the generic data location), computed on the
// first call and kept for the life of the process.
QString dataRoot();

// 16 lower-case hex digits derived from the data root's path (case-insensitively),
// so that two data roots on one machine never share an instance server or a
// credential-store item. Kept like the data root.
QString installId();

// The machine folder under the data root, holding one INI file per machine store.
QString machineDir();

// The INI file of the machine store called `name` ("device", "room", "audio", ...).
QString machineIniPath(const QString &name);

// "base.storage": the category every machine store logs through.
const QLoggingCategory &storageLogCategory();
