#include "room/active_room_session.h"
#include "room/room_adapter_registry.h"
#include "room/room_apply_service.h"
#include "room/room_assembly.h"
#include "room/room_attach_apply_service.h"
#include "room/room_chat_service.h"
#include "room/room_create_config_service.h"
#include "room/room_create_service.h"
#include "room/room_entity_feed.h"
#include "room/room_entity_store.h"
#include "room/room_follow_code_service.h"
#include "room/room_list_service.h"
#include "room/room_moderation_service.h"
#include "room/room_request_service.h"
#include "room/room_settings_service.h"
#include "room/room_subroom_service.h"
#include "support/fake_http_client.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QSet>

using testsupport::FakeHttpClient;
using testsupport::jsonReply;
using testsupport::LogCapture;

namespace {

// The captured lines of the room categories, for a readable failure.
QStringList roomLines(const LogCapture &logs)
{
    QStringList lines;
    for (const LogCapture::Entry &entry : logs.entries()) {
        if (entry.category.startsWith(QLatin1String("room.")))
            lines << entry.category + QLatin1Char(' ') + entry.message;
    }
    return lines;
}

} // namespace

class RoomAssemblyTest : public QObject
{
    Q_OBJECT

private slots:
    void buildsEveryMemberWithoutParents()
    {
        FakeHttpClient http;
        RoomAssembly assembly(&http, nullptr);
        const QList<QObject *> members{assembly.entityStore(),        assembly.entityFeed(),
                                       assembly.adapterRegistry(),    assembly.session(),
                                       assembly.moderationService(),  assembly.chatService(),
                                       assembly.followCodeService(),  assembly.listService(),
                                       assembly.settingsService(),    assembly.subroomService(),
                                       assembly.requestService(),     assembly.applyService(),
                                       assembly.attachApplyService(), assembly.createService(),
                                       assembly.createConfigService()};
        QSet<QObject *> distinct;
        for (QObject *member : members) {
            QVERIFY(member);
            QCOMPARE(member->parent(), nullptr);
            distinct.insert(member);
        }
        QCOMPARE(distinct.size(), members.size());
    }

    // The services reach the assembly's own session and store.
    void membersShareTheirCollaborators()
    {
        FakeHttpClient http;
        RoomAssembly assembly(&http, nullptr);
        assembly.session()->enter("A");
        // Not active before the watches are confirmed: the services send nothing.
        assembly.moderationService()->kick("u1");
        QVERIFY(http.calls.isEmpty());

        assembly.entityStore()->retain("R");
        assembly.settingsService()->addPrefMember("R", "u1"); // held but no snapshot: refused
        QVERIFY(http.calls.isEmpty());
        assembly.settingsService()->deleteRoom("R");
        QCOMPARE(http.calls.size(), 1);
    }

    // The creation service reads its presets from the assembly's own config service.
    void temporaryRoomUsesTheSavedPreset()
    {
        FakeHttpClient http;
        RoomAssembly assembly(&http, nullptr);
        assembly.createConfigService()->addConfig();
        const QJsonObject preset = assembly.createConfigService()->toJson(0);
        QVERIFY(!preset.isEmpty());
        assembly.createService()->createTempRoom(0);
        QCOMPARE(http.calls.size(), 1);
        QCOMPARE(http.calls.at(0).body, preset);
    }

    // Replies that arrive after the assembly is gone reach no member.
    void teardownWithRequestsInFlight()
    {
        FakeHttpClient http;
        const auto sendRequests = [](RoomAssembly &assembly) {
            assembly.applyService()->beginApply("R");
            assembly.settingsService()->deleteRoom("R");
            assembly.attachApplyService()->track("a1", "P", "C", 0, "");
            assembly.attachApplyService()->cancel("a1");
            assembly.listService()->bootstrap();
        };
        const auto replyFrom = [&http](qsizetype first) {
            for (qsizetype i = first; i < http.calls.size(); ++i)
                http.reply(i, jsonReply(200, QJsonObject{{"requestId", "q1"}}));
        };
        {
            RoomAssembly assembly(&http, nullptr);
            sendRequests(assembly);
            QVERIFY(http.calls.size() >= 4);
        }
        const qsizetype inFlight = http.calls.size();
        {
            // An assembly made next most likely lives where the gone one did, so a reply
            // that reached the gone members' memory would be seen (and logged) by this one.
            RoomAssembly next(&http, nullptr);
            LogCapture logs;
            replyFrom(0);
            QCOMPARE(roomLines(logs), QStringList());
            QVERIFY(next.applyService()->pendingRequests().isEmpty());

            // The same replies to living members are handled, and logged.
            sendRequests(next);
            replyFrom(inFlight);
            QVERIFY(logs.contains("room.apply", R"(apply created room_id="R")"));
            QVERIFY(logs.contains("room.settings", R"(room deleted room_id="R")"));
            QVERIFY(logs.contains("room.apply", "attach apply cancelled"));
            QVERIFY(logs.contains("room.list", "my rooms loaded"));
        }
    }
};

KESTOVA_TEST_MAIN(RoomAssemblyTest)
#include "test_room_assembly.moc"
