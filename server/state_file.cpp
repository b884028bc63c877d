#include "state_file.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace localservice {

namespace {
constexpr qint64 kMaxStateBytes = 64 * 1024 * 1024;
}

StateFile::StateFile(QString path)
    : filePath(std::move(path))
{}

std::optional<ServiceState> StateFile::load(QString *error) const
{
    if (!QFileInfo::exists(filePath))
        return ServiceState{};
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    if (file.size() > kMaxStateBytes) {
        *error = QStringLiteral("the file is larger than %1 bytes").arg(kMaxStateBytes);
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        *error = QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    return ServiceState::fromJson(document.object(), error);
}

bool StateFile::save(const ServiceState &state, QString *error) const
{
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QJsonDocument(state.toJson()).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace localservice
