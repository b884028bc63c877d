#pragma once

#include <QString>

#include <memory>

class QSettings;

// How every machine store opens its file: make the machine folder (a failure is
// logged and not fatal), then open the store's INI file in it.
std::unique_ptr<QSettings> openMachineSettings(const QString &storeName);
