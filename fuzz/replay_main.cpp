#include "fuzz_target.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <cstdio>

// Runs every stored input (the seed corpora and the inputs that once crashed) through
// its target. A crash or a sanitizer report fails the test; reaching the end passes.
int main()
{
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    const QDir root(QStringLiteral(KESTOVA_FUZZ_DIR));
    int inputs = 0;
    for (const fuzzing::Target &target : fuzzing::targets()) {
        const QString name = QString::fromLatin1(target.name);
        int count = 0;
        for (const QString &folder : {QStringLiteral("corpus/"), QStringLiteral("regressions/")}) {
            const QDir dir(root.filePath(folder + name));
            for (const QString &file : dir.entryList(QDir::Files, QDir::Name)) {
                QFile in(dir.filePath(file));
                if (!in.open(QIODevice::ReadOnly)) {
                    std::fprintf(stderr, "cannot read %s\n", qPrintable(in.fileName()));
                    return 1;
                }
                const QByteArray bytes = in.readAll();
                target.entry(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
                ++count;
            }
        }
        if (count == 0) {
            std::fprintf(stderr, "no stored input for target %s\n", target.name);
            return 1;
        }
        std::printf("%-20s %d inputs\n", target.name, count);
        inputs += count;
    }
    std::printf("%d inputs through %zu targets\n", inputs, fuzzing::targets().size());
    return 0;
}
