#pragma once

#include "service_state.h"

#include <QString>

namespace localservice {

// The optional JSON file that keeps the state across restarts. Writes go to a
// temporary file that replaces the old one only when complete, readable by the owner
// only (it holds the token secret). GUI thread only.
class StateFile
{
public:
    explicit StateFile(QString path);

    QString path() const { return filePath; }
    // A missing file gives an empty state; an unreadable or malformed one is an error.
    std::optional<ServiceState> load(QString *error) const;
    bool save(const ServiceState &state, QString *error) const;

private:
    QString filePath;
};

} // namespace localservice
