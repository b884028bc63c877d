#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

// One fuzz target: a function fed arbitrary bytes that must neither crash nor trip a
// sanitizer. The same sources build a libFuzzer executable per target (clang) and the
// replay test that runs every stored input through every target in the normal build.
namespace fuzzing {

using Entry = void (*)(const std::uint8_t *data, std::size_t size);

struct Target
{
    const char *name;
    Entry entry;
};

std::vector<Target> &targets();

struct Registrar
{
    Registrar(const char *name, Entry entry) { targets().push_back({name, entry}); }
};

// A QApplication on the offscreen platform, made once, for targets that need an event
// loop, timers or the palette.
void ensureApplication();

inline QByteArray bytesOf(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

// The bytes as a JSON object; an empty object when they are not one.
QJsonObject objectOf(const QByteArray &bytes);

// Splits off the first byte as a selector; the rest is returned.
QByteArray takeSelector(const std::uint8_t *data, std::size_t size, unsigned *selector);

} // namespace fuzzing

#define KESTOVA_FUZZ_TARGET(name)                                                                                      \
    static void fuzz_##name(const std::uint8_t *data, std::size_t size);                                               \
    static const fuzzing::Registrar registrar_##name(#name, &fuzz_##name);                                             \
    static void fuzz_##name(const std::uint8_t *data, std::size_t size)
