#include "support/test_main.h"

#include <QDir>
#include <QTemporaryDir>

namespace testsupport {

void prepareTestEnvironment()
{
    // Lives until the process ends; removed then.
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/kestova-test-XXXXXX"));
    if (!root.isValid())
        qFatal("cannot create a temporary test folder");
    const QByteArray base = root.path().toUtf8();
    qputenv("HOME", base);
    qputenv("XDG_DATA_HOME", base + "/data");
    qputenv("XDG_CONFIG_HOME", base + "/config");
    qputenv("XDG_CACHE_HOME", base + "/cache");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
}

} // namespace testsupport
