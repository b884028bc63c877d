// kestova-local-service: the local stand-in of the service for development and tests.
#include "asset_host.h"
#include "build_config.h"
#include "local_service.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

int fail(const QString &message)
{
    QTextStream(stderr) << "kestova-local-service: " << message << Qt::endl;
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestova-local-service"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Local stand-in of the Kestova service: REST API, realtime gateway (/ws) and asset host on one port."));
    parser.addHelpOption();
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Address to listen on."),
                                        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free port)."),
                                        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption stateOption(QStringLiteral("state"),
                                         QStringLiteral("JSON file that keeps the state across restarts."),
                                         QStringLiteral("file"));
    const QCommandLineOption keyOption(QStringLiteral("signing-key"),
                                       QStringLiteral("Key file that signs the update feed."), QStringLiteral("file"),
                                       QStringLiteral(KESTOVA_DEV_SIGNING_KEY));
    const QCommandLineOption versionOption(QStringLiteral("client-version"),
                                           QStringLiteral("Client version that the update feed names."),
                                           QStringLiteral("version"), QString::fromLatin1(buildconfig::kClientVersion));
    const QCommandLineOption accessTtlOption(QStringLiteral("access-ttl"),
                                             QStringLiteral("Lifetime of access tokens in seconds."),
                                             QStringLiteral("seconds"), QStringLiteral("900"));
    const QCommandLineOption noVoiceOption(QStringLiteral("no-voice"),
                                           QStringLiteral("Do not start the media server; voice is refused."));
    const QCommandLineOption uploadsOption(QStringLiteral("uploads"),
                                           QStringLiteral("Folder for chat images (default: beside the state file)."),
                                           QStringLiteral("folder"));
    parser.addOptions(
        {hostOption, portOption, stateOption, keyOption, versionOption, accessTtlOption, noVoiceOption, uploadsOption});
    parser.process(app);

    localservice::LocalServiceConfig config;
    if (!config.address.setAddress(parser.value(hostOption)))
        return fail(QStringLiteral("--host: not an address: %1").arg(parser.value(hostOption)));
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535)
        return fail(QStringLiteral("--port: not a port: %1").arg(parser.value(portOption)));
    config.port = quint16(port);
    const int accessTtl = parser.value(accessTtlOption).toInt(&ok);
    if (!ok || accessTtl < 31)
        return fail(QStringLiteral("--access-ttl: must be a whole number of seconds above 30"));
    config.accounts.accessTokenTtlSec = accessTtl;
    config.statePath = parser.value(stateOption);
    config.uploadFolder = parser.value(uploadsOption);
    config.media = !parser.isSet(noVoiceOption);
    config.clientVersion = parser.value(versionOption);
    QString error;
    config.signingSeed = localservice::AssetHost::readSigningSeed(parser.value(keyOption), &error);
    if (config.signingSeed.isEmpty())
        return fail(error);

    localservice::LocalService service(config);
    if (!service.start(&error))
        return fail(error);

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&service] {
            service.shutdown();
            QCoreApplication::quit();
        });
        std::signal(SIGINT, onTerminationSignal);
        std::signal(SIGTERM, onTerminationSignal);
    }

    const QString voice = service.voiceUnavailableReason();
    QTextStream(stdout) << (voice.isEmpty() ? QStringLiteral("voice available") : voice) << Qt::endl;
    // run.sh and the tests wait for this line.
    QTextStream(stdout) << "listening " << service.baseUrl() << Qt::endl;
    return app.exec();
}
