#pragma once

#include <QJsonObject>

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>

// Compile-time rules shared by the event tables: a row's parser wraps its record as
// the variant alternative of that record's type, the rows are strictly ascending by
// name, and row r holds the parser of alternative r.

template<typename Payload, typename Record>
std::optional<Payload> parseEventAs(const QJsonObject &payload)
{
    std::optional<Record> record = Record::fromJson(payload);
    if (!record)
        return std::nullopt;
    // in_place_type only compiles when Record is exactly one alternative.
    return Payload(std::in_place_type<Record>, std::move(*record));
}

template<typename Table>
constexpr bool eventNamesStrictlyAscending(const Table &table)
{
    for (std::size_t row = 1; row < table.size(); ++row) {
        if (!(std::string_view(table[row - 1].name) < std::string_view(table[row].name)))
            return false;
    }
    return true;
}

template<typename Payload, typename Table, std::size_t... Row>
constexpr bool eventRowsMatchAlternatives(const Table &table, std::index_sequence<Row...>)
{
    return ((table[Row].parse == &parseEventAs<Payload, std::variant_alternative_t<Row, Payload>>)&&...);
}

template<typename Payload, typename Table>
constexpr bool eventRowsMatchAlternatives(const Table &table)
{
    return table.size()
               == std::variant_size_v<
                   Payload> && eventRowsMatchAlternatives<Payload>(table, std::make_index_sequence<std::variant_size_v<Payload>>{});
}
