#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// The contract models of the noise suppressor tests, made by the project's generator script
// (Debian's python3-onnx) into a temporary folder. path() is empty when they could not be
// made (the caller skips).
class DenoiseModels
{
public:
    DenoiseModels()
    {
        if (!dir.isValid())
            return;
        QProcess p;
        p.start("/usr/bin/python3", {QStringLiteral(KESTOVA_MODEL_SCRIPT), "tests", dir.path()});
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            ok = true;
        else
            qWarning("model generator failed: %s", p.readAllStandardError().constData());
    }
    bool isValid() const { return ok; }
    QString path(const QString &name) const { return dir.filePath(name + ".onnx"); }

private:
    QTemporaryDir dir;
    bool ok = false;
};

} // namespace testsupport
