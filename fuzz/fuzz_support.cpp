#include "fuzz_target.h"

#include <QApplication>
#include <QJsonDocument>

namespace fuzzing {

std::vector<Target> &targets()
{
    static std::vector<Target> all;
    return all;
}

void ensureApplication()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kestova-fuzz";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

QJsonObject objectOf(const QByteArray &bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

QByteArray takeSelector(const std::uint8_t *data, std::size_t size, unsigned *selector)
{
    *selector = size > 0 ? data[0] : 0u;
    return size > 0 ? bytesOf(data + 1, size - 1) : QByteArray();
}

} // namespace fuzzing
