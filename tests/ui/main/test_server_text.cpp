// Names and titles come from the server and are shown as typed, never as markup: a name
// such as "<b>x</b><img src=\"a.png\">" must not turn bold or load an image.
#include "ui/connect/connect_settings_tab.h"
#include "ui/main/main_status_bar.h"
#include "ui/panels/channel_block.h"
#include "ui/panels/room_block.h"
#include "ui/settings/member_entry.h"
#include "ui/settings/pref_member_list_view.h"
#include "ui/settings/room_members_view.h"
#include "ui/settings/room_perms_view.h"

#include "support/test_main.h"

#include <QLabel>
#include <QTest>
#include <QTextDocument>

#include <functional>
#include <memory>

namespace {

const QString kName = QStringLiteral("<b>x</b><img src=\"a.png\">");

// The labels under `root` that show (the start of) the name, and whether each shows it literally.
QList<QLabel *> labelsShowingTheName(QWidget *root)
{
    QList<QLabel *> found;
    for (QLabel *label : root->findChildren<QLabel *>()) {
        if (label->text().contains(QStringLiteral("<b>x")))
            found.append(label);
    }
    return found;
}

bool literal(const QLabel *label)
{
    return label->textFormat() == Qt::PlainText
           || (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text()));
}

} // namespace

// Builds a view and feeds it the name.
using ViewFeed = std::function<QWidget *()>;
Q_DECLARE_METATYPE(ViewFeed)

class ServerTextTest : public QObject
{
    Q_OBJECT

private slots:
    void shownLiterally_data();
    void shownLiterally();
};

void ServerTextTest::shownLiterally_data()
{
    using Feed = ViewFeed;
    QTest::addColumn<Feed>("feed");
    QTest::newRow("room title") << Feed([] {
        auto *block = new blocks::RoomBlock(24, nullptr, nullptr);
        blocks::RoomBlockData data;
        data.roomId = QStringLiteral("r1");
        data.title = kName;
        block->setData(data);
        return block;
    });
    QTest::newRow("channel name") << Feed([] {
        auto *block = new blocks::ChannelBlock(24, nullptr, nullptr);
        blocks::ChannelBlockData data;
        data.channelId = QStringLiteral("c1");
        data.name = kName;
        block->setData(data);
        return block;
    });
    QTest::newRow("connection tab nickname") << Feed([] {
        auto *tab = new ConnectSettingsTab;
        tab->setInRoom(true);
        tab->setRoomPrefMembers({{QStringLiteral("u1"), kName}});
        return tab;
    });
    QTest::newRow("members page") << Feed([] {
        auto *view = new RoomMembersView;
        MemberEntry member;
        member.userId = QStringLiteral("u1");
        member.displayName = kName;
        member.username = kName;
        member.roleId = 5;
        view->setMembers({member});
        return view;
    });
    QTest::newRow("preference members") << Feed([] {
        auto *view = new PrefMemberListView;
        view->setMembers({{QStringLiteral("u1"), kName, kName}});
        return view;
    });
    QTest::newRow("roles page") << Feed([] {
        auto *view = new RoomPermsView;
        RoleEntry role;
        role.id = 5;
        role.name = kName;
        view->setRoles({RoleEntry{-1, kName, 1, false, true, false, false, {}}, role});
        return view;
    });
    QTest::newRow("status bar") << Feed([] {
        auto *bar = new MainStatusBar;
        bar->resize(600, 24);
        bar->setNickname(kName);
        bar->showTransientMessage(kName);
        return bar;
    });
}

void ServerTextTest::shownLiterally()
{
    QFETCH(ViewFeed, feed);
    std::unique_ptr<QWidget> view(feed());
    view->show();
    const QList<QLabel *> labels = labelsShowingTheName(view.get());
    QVERIFY(!labels.isEmpty());
    for (const QLabel *label : labels)
        QVERIFY2(literal(label), qPrintable(label->text()));
}

KESTOVA_TEST_MAIN(ServerTextTest)
#include "test_server_text.moc"
