#pragma once

#include <QString>

#include <memory>

class QSettings;

// How every machine store opens its file: make the machine folder (a failure is
// logged and not fatal), then open the store's INI file in it.
std::unique_ptr<QSettings> openMachineSettings(const QString &storeName);

// How many elements of the INI array `array` to read: its stored "size", but never past
// the last element the file actually holds, so that a hand-edited size cannot make a
// load invent (and allocate) millions of empty entries. Gaps below the last one still read.
int storedArrayCount(QSettings &settings, const QString &array);
