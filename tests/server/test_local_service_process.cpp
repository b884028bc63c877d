// The kestova-local-service executable as a child process: it prints its address and
// the codes, serves the client's start-up check and sign-in, and keeps its accounts in
// the state file across a restart.
#include "app/startup_gate.h"
#include "auth/auth_assembly.h"
#include "auth/auth_interceptor.h"
#include "auth/login_service.h"
#include "auth/session_service.h"
#include "auth/session_store.h"
#include "auth/sms_service.h"
#include "legal/legal_service.h"
#include "net/http_client.h"
#include "net/http_transport.h"
#include "net/server_addresses.h"
#include "support/test_main.h"
#include "update/update_service.h"
#include "user/profile_service.h"
#include "user/user_assembly.h"
#include "user/user_state.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

constexpr int kWaitMs = 15000;

// Starts the service and waits for its "listening" line; empty when it did not come.
QString startService(QProcess &process, const QString &statePath)
{
    process.setProgram(QStringLiteral(KESTOVA_LOCAL_SERVICE));
    process.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--state"), statePath,
                          QStringLiteral("--no-voice")});
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start();
    if (!process.waitForStarted(kWaitMs))
        return {};
    QString output;
    QDeadlineTimer deadline(kWaitMs);
    while (!deadline.hasExpired()) {
        if (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            if (line.startsWith(QLatin1String("listening ")))
                return line.mid(10);
            continue;
        }
        if (process.state() != QProcess::Running)
            return {};
        process.waitForReadyRead(200);
    }
    return {};
}

void stopService(QProcess &process)
{
    process.terminate();
    QVERIFY(process.waitForFinished(kWaitMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

} // namespace

class LocalServiceProcessTest : public QObject
{
    Q_OBJECT

private slots:
    void clientSignsInWithThePrintedCodeAndStaysSignedInAcrossARestart();
    void refusesAnUnreadableStateFile();
};

void LocalServiceProcessTest::clientSignsInWithThePrintedCodeAndStaysSignedInAcrossARestart()
{
    QTemporaryDir dir;
    const QString statePath = dir.filePath(QStringLiteral("state.json"));
    QProcess process;
    const QString url = startService(process, statePath);
    QVERIFY2(url.startsWith(QLatin1String("http://127.0.0.1:")), qPrintable(url));
    serveraddress::setApiBaseUrl(url);
    serveraddress::setAssetBaseUrl(url);

    {
        HttpTransport transport;
        UpdateService update(transport.downloader());
        LegalService legal(transport.downloader());
        StartupGate gate(transport.downloader(), &update, &legal);
        AuthAssembly auth(transport.api(), QStringLiteral("device-9"));
        transport.addRequestInterceptor(auth.interceptor());
        transport.addResponseInterceptor(auth.interceptor());
        UserAssembly user(transport.api(), &legal);

        bool passed = false;
        gate.start([&passed] { passed = true; });
        QTRY_VERIFY_WITH_TIMEOUT(passed, kWaitMs);

        QSignalSpy sent(auth.smsService(), &SmsService::sendCodeSucceeded);
        auth.smsService()->sendCode(QStringLiteral("15900159000"));
        QTRY_COMPARE_WITH_TIMEOUT(sent.size(), 1, kWaitMs);
        // The code is printed on the service's standard output.
        static const QRegularExpression codeLine(QStringLiteral("verification code for 15900159000: (\\d{6})"));
        QString code;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QRegularExpressionMatch match = codeLine.match(QString::fromUtf8(process.peek(4096)));
                code = match.captured(1);
                return match.hasMatch();
            }(),
            kWaitMs);

        QSignalSpy loggedIn(auth.loginService(), &LoginService::loginSucceeded);
        auth.loginService()->login(QStringLiteral("15900159000"), code, legal.versionTag());
        QTRY_COMPARE_WITH_TIMEOUT(loggedIn.size(), 1, kWaitMs);
        const QString userId = loggedIn.at(0).at(0).toString();

        // The state file holds the account and the sign-in, never a token itself.
        stopService(process);
        QFile file(statePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray saved = file.readAll();
        QVERIFY(saved.contains(userId.toLatin1()));
        QVERIFY(!saved.contains(auth.sessionStore()->refreshToken().toLatin1()));
        QVERIFY(!saved.contains(auth.sessionStore()->accessToken().toLatin1()));
        QCOMPARE(file.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions());

        // After a restart on another port the same sign-in still works.
        QProcess restarted;
        const QString again = startService(restarted, statePath);
        QVERIFY(!again.isEmpty());
        transport.httpClient()->setBaseUrl(again);
        serveraddress::setApiBaseUrl(again);
        bool refreshed = false;
        bool answered = false;
        auth.sessionService()->refreshAccessToken([&](bool ok) {
            answered = true;
            refreshed = ok;
        });
        QTRY_VERIFY_WITH_TIMEOUT(answered, kWaitMs);
        QVERIFY(refreshed);
        QSignalSpy fetched(user.profileService(), &ProfileService::profileFetched);
        user.profileService()->fetchProfile();
        QTRY_COMPARE_WITH_TIMEOUT(fetched.size(), 1, kWaitMs);
        QCOMPARE(user.userState()->userId(), userId);
        stopService(restarted);

        auth.sessionStore()->clear();
        QTRY_VERIFY_WITH_TIMEOUT(auth.sessionStore()->findChildren<QObject *>().isEmpty(), kWaitMs);
    }
}

void LocalServiceProcessTest::refusesAnUnreadableStateFile()
{
    QTemporaryDir dir;
    const QString statePath = dir.filePath(QStringLiteral("state.json"));
    QFile file(statePath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"formatVersion":1,"accounts":{"users":[{"userId":"1"}]}})");
    file.close();

    QProcess process;
    QVERIFY(startService(process, statePath).isEmpty());
    QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(kWaitMs));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(QLatin1String("state file")));
    // The file it could not read is left as it was.
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\"userId\":\"1\""));
}

KESTOVA_TEST_MAIN(LocalServiceProcessTest)
#include "test_local_service_process.moc"
