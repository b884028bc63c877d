#include "app/app_log.h"
#include "app/client_context.h"
#include "app/device_id.h"
#include "app/server_address_options.h"
#include "app/single_instance.h"
#include "build_config.h"
#include "ui/shell/minimal_shell.h"
#include "update/update_lock.h"

#include <QApplication>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>

#include <memory>

int main(int argc, char *argv[])
{
    // Qt's default media backend here needs plugins we do not ship; ffmpeg decodes the cues.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");

    auto app = std::make_unique<QApplication>(argc, argv);
    qCInfo(lcApp).noquote() << "Kestova" << buildconfig::kClientVersion << "starting";

    // Before anything is built: every service reads the addresses when it is made.
    QString addressError;
    if (!applyServerAddressOptions(QCoreApplication::arguments(), &addressError)) {
        qCCritical(lcApp).noquote() << "bad server address:" << addressError;
        return 2;
    }

    QGuiApplication::setQuitOnLastWindowClosed(false);
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));

    if (isUpdateInstallInProgress()) {
        qCInfo(lcApp) << "update install in progress, exiting";
        return 0;
    }

    if (!ensureDeviceId())
        qCWarning(lcApp) << "client startup initialize failed";

    // A later start only wakes the first one and leaves.
    SingleInstance instance;
    if (!instance.tryBecomePrimary())
        return 0;

    int result = 0;
    {
        ClientContext context;
        context.init(&instance);
        std::unique_ptr<MinimalShell> shell = createMinimalShell(context);
        result = app->exec();
        // The shell clears the presenter, so nothing reaches it while the context goes.
        shell.reset();
    }
    return result;
}
