#include "app/client_context.h"
#include "app/device_id.h"
#include "app/single_instance.h"
#include "app/tray_icon.h"
#include "auth/auth_assembly.h"
#include "auth/auth_interceptor.h"
#include "channel/channel_assembly.h"
#include "counting_presenter.h"
#include "match/match_assembly.h"
#include "match/pref_assembly.h"
#include "net/http_client.h"
#include "net/http_transport.h"
#include "net/tracing_interceptor.h"
#include "room/room_assembly.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSystemTrayIcon>

using testsupport::LogCapture;

class ClientContextTest : public QObject
{
    Q_OBJECT

private slots:
    void ensureDeviceIdReportsReady()
    {
        LogCapture logs;
        QVERIFY(ensureDeviceId());
        QVERIFY(logs.contains("app.boot", "deviceId ready"));
    }

    void initBuildsEveryModuleAndTheInterceptorLists()
    {
        LogCapture logs;
        SingleInstance instance;
        ClientContext context;
        context.init(&instance);

        QVERIFY(context.transport && context.update && context.legal && context.startupGate && context.tray);
        QVERIFY(context.auth && context.user && context.match && context.room && context.channel);
        QVERIFY(context.realtime && context.audio && context.mediaSession && context.hotkeyMonitor);
        QVERIFY(context.hotkeys && context.prefs);
        QCOMPARE(context.singleInstance, &instance);
        QVERIFY(context.match->codeMatchService() && context.match->codeAttachService());
        QVERIFY(context.match->prefMatchService());
        QVERIFY(context.prefs->preferenceService());
        QVERIFY(context.channel->entityStore() && context.channel->entityFeed());
        QVERIFY(context.channel->listService() && context.channel->actionsService());
        QVERIFY(context.room->session() && context.room->settingsService() && context.room->attachApplyService());

        HttpClient *client = context.transport->httpClient();
        QCOMPARE(client->requestInterceptors().size(), 2);
        QVERIFY(dynamic_cast<tracing::TracingInterceptor *>(client->requestInterceptors().at(0)));
        QCOMPARE(client->requestInterceptors().at(1), static_cast<IRequestInterceptor *>(context.auth->interceptor()));
        QCOMPARE(client->responseInterceptors().size(), 1);
        QCOMPARE(client->responseInterceptors().at(0),
                 static_cast<IResponseInterceptor *>(context.auth->interceptor()));

        QVERIFY(logs.contains("app.context", "client context initialized"));
        // The tray is shown right after it is built; without a system tray it only warns.
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            QCOMPARE(logs.count("app.tray", "system tray unavailable"), 1);
    }

    void presenterReachesTrayAndInstance()
    {
        SingleInstance instance;
        ClientContext context;
        context.init(&instance);
        CountingPresenter presenter;

        context.setPresenter(&presenter);
        QCOMPARE(context.tray->currentPresenter(), &presenter);
        QCOMPARE(instance.currentPresenter(), &presenter);

        context.setPresenter(nullptr);
        QCOMPARE(context.tray->currentPresenter(), nullptr);
        QCOMPARE(instance.currentPresenter(), nullptr);
    }

    void presenterWithoutInstanceTouchesOnlyTheTray()
    {
        ClientContext context;
        context.init(nullptr);
        CountingPresenter presenter;
        context.setPresenter(&presenter);
        QCOMPARE(context.tray->currentPresenter(), &presenter);
        context.setPresenter(nullptr);
        QCOMPARE(context.tray->currentPresenter(), nullptr);
    }
};

KESTOVA_TEST_MAIN(ClientContextTest)
#include "test_client_context.moc"
