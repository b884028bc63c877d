#include "update/update_lock.h"

#include "update/update_log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>
#include <optional>

namespace {

// Times beyond this are nonsense; refusing them keeps the arithmetic below defined.
constexpr double kLargestReadableTime = 4611686018427387904.0; // 2^62

QString lockFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Kestova"));
}

std::optional<qint64> readTime(const QJsonObject &object, const QString &key)
{
    const double value = object.value(key).toDouble();
    if (!std::isfinite(value) || std::fabs(value) >= kLargestReadableTime)
        return std::nullopt;
    return qint64(value);
}

} // namespace

QString updateLockPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Kestova/%1").arg(QStringLiteral("update.lock")));
}

bool writeUpdateLock(qint64 nowMs)
{
    QDir().mkpath(lockFolder());
    QJsonObject object;
    object.insert(QStringLiteral("lockTime"), nowMs);
    object.insert(QStringLiteral("ttlMs"), kUpdateLockTtlMs);
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);

    // A lock that is not completely on disk must not let the installer start.
    QSaveFile file(updateLockPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        qCWarning(lcUpdate).noquote() << "write lock file failed:" << file.errorString();
        return false;
    }
    return true;
}

bool writeUpdateLock()
{
    return writeUpdateLock(QDateTime::currentMSecsSinceEpoch());
}

bool isUpdateInstallInProgress(qint64 nowMs)
{
    const QString path = updateLockPath();
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    file.close();
    if (!document.isObject()) {
        QFile::remove(path);
        return false;
    }
    const QJsonObject object = document.object();
    const std::optional<qint64> lockTime = readTime(object, QStringLiteral("lockTime"));
    const std::optional<qint64> ttl = readTime(object, QStringLiteral("ttlMs"));
    // A lock dated further ahead than its lifetime was written under a wrong clock; honouring
    // it would block every start until that clock is reached.
    if (lockTime && ttl && nowMs - *lockTime <= *ttl && *lockTime - nowMs <= *ttl)
        return true;
    QFile::remove(path);
    return false;
}

bool isUpdateInstallInProgress()
{
    return isUpdateInstallInProgress(QDateTime::currentMSecsSinceEpoch());
}
