// A separate launch of the client's single-instance step, for the guard's tests: it
// uses the data root of its environment, prints "primary" or "secondary" and, with
// "--hold", keeps a primary guard listening until it is killed.
#include "app/single_instance.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SingleInstance instance;
    const bool primary = instance.tryBecomePrimary();
    QTextStream(stdout) << (primary ? "primary" : "secondary") << Qt::endl;
    if (primary && app.arguments().contains(QStringLiteral("--hold")))
        return app.exec();
    return 0;
}
