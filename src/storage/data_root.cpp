#include "storage/data_root.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcStorage, "base.storage", QtInfoMsg)

QString dataRoot()
{
    static const QString root =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(QStringLiteral("Kestova"));
    return root;
}

QString installId()
{
    static const QString id = [] {
        const QByteArray digest = QCryptographicHash::hash(dataRoot().toLower().toUtf8(), QCryptographicHash::Sha256);
        return QString::fromLatin1(digest.toHex().left(16));
    }();
    return id;
}

QString machineDir()
{
    return QDir(dataRoot()).filePath(QStringLiteral("machine"));
}

QString machineIniPath(const QString &name)
{
    return QDir(machineDir()).filePath(name + QStringLiteral(".ini"));
}

const QLoggingCategory &storageLogCategory()
{
    return lcStorage();
}
