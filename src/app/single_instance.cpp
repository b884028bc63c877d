#include "app/single_instance.h"

#include "app/i_window_presenter.h"
#include "storage/data_root.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>

#include <memory>

Q_LOGGING_CATEGORY(lcInstance, "app.instance", QtInfoMsg)

namespace {
constexpr int kProbeTimeoutMs = 300;
constexpr int kStartLockWaitMs = 2000;
} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{}

SingleInstance::~SingleInstance()
{
    delete server;
}

bool SingleInstance::tryBecomePrimary()
{
    serverName = QStringLiteral("kestova-instance-%1").arg(installId());

    // Listening here replaces whatever socket file holds the name, a live server's
    // included, so a refused listen cannot settle a race between two starts. The lock
    // makes probe-then-listen one step: a start that comes second finds the first one
    // listening. A socket file left by a crashed instance is simply replaced.
    QLockFile lock(QDir(QDir::tempPath()).filePath(serverName + QStringLiteral(".lock")));
    if (!lock.tryLock(kStartLockWaitMs))
        qCWarning(lcInstance).noquote() << "instance start lock unavailable, deciding without it name=" + serverName;

    if (probe()) {
        qCInfo(lcInstance) << "existing instance activated, exiting";
        return false;
    }

    delete server;
    server = new QLocalServer;
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (server->listen(serverName)) {
        connect(server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
        qCInfo(lcInstance).noquote() << "primary instance, listening on" << serverName;
        return true;
    }

    delete server;
    server = nullptr;
    if (probe()) {
        qCInfo(lcInstance) << "lost listen race, activated the winner, exiting";
        return false;
    }
    qCWarning(lcInstance) << "single-instance channel unavailable, continuing without the gate";
    return true;
}

void SingleInstance::setPresenter(IWindowPresenter *p)
{
    presenter = p;
}

bool SingleInstance::probe() const
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(serverName, QIODevice::ReadWrite);
    if (!socket->waitForConnected(kProbeTimeoutMs))
        return false;
    socket->disconnectFromServer();
    return true;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        socket->deleteLater();
        if (presenter) {
            qCInfo(lcInstance) << "second launch detected, presenting windows";
            presenter->present();
        }
    }
}
