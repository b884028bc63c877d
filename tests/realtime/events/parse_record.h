#pragma once

#include <QJsonObject>
#include <QtGlobal>

#include <optional>

// Parses a payload that the test expects to give a record; a payload that gives none
// is a broken test fixture, so it stops the run.
template<typename Record>
Record parseRecord(const QJsonObject &payload)
{
    const std::optional<Record> record = Record::fromJson(payload);
    if (!record)
        qFatal("payload gave no record");
    return *record;
}
