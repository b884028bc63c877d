// The real client (the same context and shell as the application) with a driver for the end-to-end
// test: it reads one command a line on stdin and acts on the client's own views the way a person
// would (fills the fields, ticks the box, clicks the buttons), and prints what the windows show on
// stdout. Commands:
//   sms <phone>      types the phone number into the login form and clicks "send code"
//   login <code>     types the code, ticks the agreement and clicks the login button
//   create-room      asks the connect tab for a room from its first saved configuration, as its
//                    "create" link does
//   create-persistent-room
//                    asks for a persistent room, as the "my rooms" tab menu does
//   enter-room <id>  double-clicks the room in the "my rooms" panel
//   room-settings    opens the settings of the room in the current-room panel
//   join-code <code> types the code into the connect tab's code field and clicks "join"
//   say <text>       types the text into the current room's chat input and clicks "send"
//   member-menu <name>
//                    right-clicks the member of the current room with this name; the menu stays
//                    open (its volume row shows the member's playback level) until close-menu
//   close-menu       closes an open pop-up menu
//   microphone <id>  chooses the input device with this id in the audio settings window, as
//                    opened from the control panel, and closes the window again
//   shot <path>      saves a picture of the current top-level window
//   post <n> <text>  posts the messages "<text> 1" ... "<text> <n>" into the current room through
//                    the client's chat service, a few at a time, the last one only after all others
//                    were taken; prints "posted <n> failed <count>"
//   feed-watch <text>
//                    watches the current room's feed for the message with this text: once it has
//                    arrived and its row is on screen, prints "shown <text> after <ms> ms entries
//                    <count>" (the time from its arrival in the feed to its row being shown)
// Output lines: "window <class>" whenever the current top-level window changes, "current-room <id>
// members <n>" whenever the current-room panel shows another room or member count, "member <name>
// <indicators>" whenever a member row of the current room changes (indicators: "idle", "speaking",
// "blocked" or "-"), "my-room <id>" for each room the "my rooms" panel newly lists, "room-code
// <code>" when a room settings window shows a room code, "chat <sender>: <text>" for each message
// the current room's chat shows, "member-level <name> <dB>" while a member menu is open and the
// level it shows moves to another 10 dB step, "error <text>".
#include "app/client_context.h"
#include "app/device_id.h"
#include "app/server_address_options.h"
#include "app/single_instance.h"
#include "room/room_assembly.h"
#include "room/room_chat_service.h"
#include "ui/chat/chat_message_row.h"
#include "ui/chat/chat_feed_view.h"
#include "ui/chat/messages_tab.h"
#include "ui/connect/code_input_edit.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/login/login_form.h"
#include "ui/main/control_panel.h"
#include "ui/main/main_window.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_room_panel.h"
#include "ui/settings/audio_settings_dialog.h"
#include "ui/settings/room_base_settings_view.h"
#include "ui/settings/room_settings_dialog.h"
#include "ui/shell/minimal_shell.h"
#include "ui/widgets/level_meter.h"
#include "ui/widgets/volume_control.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QScrollArea>
#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

void say(const QString &line)
{
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

LoginForm *loginForm(MinimalShell *shell)
{
    QWidget *window = shell->currentWindow();
    return window ? window->findChild<LoginForm *>() : nullptr;
}

MainWindow *mainWindow(MinimalShell *shell)
{
    return qobject_cast<MainWindow *>(shell->currentWindow());
}

CurrentRoomPanel *currentRoomPanel(MinimalShell *shell)
{
    MainWindow *main = mainWindow(shell);
    return main ? qobject_cast<CurrentRoomPanel *>(main->currentRoomPanel()) : nullptr;
}

// The room the current-room panel shows first (the user's own room), or null.
const blocks::RoomBlockData *currentRoom(MinimalShell *shell)
{
    CurrentRoomPanel *panel = currentRoomPanel(shell);
    if (!panel)
        return nullptr;
    for (const blocks::BlockSection &section : panel->blocksData().sections) {
        if (!section.rooms.isEmpty())
            return &section.rooms.first();
    }
    return nullptr;
}

ChatFeedView *currentFeed(MinimalShell *shell)
{
    MainWindow *main = mainWindow(shell);
    const blocks::RoomBlockData *room = currentRoom(shell);
    if (!main || !room)
        return nullptr;
    return main->messagesTab()->feedView(room->roomId);
}

QString indicatorText(const QList<int> &indicators)
{
    QStringList words;
    for (int indicator : indicators) {
        words << (indicator == 1   ? QStringLiteral("idle")
                  : indicator == 2 ? QStringLiteral("speaking")
                  : indicator == 3 ? QStringLiteral("blocked")
                                   : QString::number(indicator));
    }
    return words.isEmpty() ? QStringLiteral("-") : words.join(QLatin1Char(','));
}

// What the driver has printed already, so that each line says something new.
struct Shown
{
    QString window;
    QString room;
    QHash<QString, QString> members; // name -> indicators
    QSet<QString> myRooms;
    QSet<QString> codes;
    QSet<const ChatMessageRow *> messages;
    QSet<QString> messageIds;
    QString menuMember;
    int menuLevelStep = 1;
};

void watch(MinimalShell *shell, Shown &shown)
{
    QWidget *window = shell->currentWindow();
    const QString name =
        window && window->isVisible() ? QString::fromLatin1(window->metaObject()->className()) : QString();
    if (name != shown.window) {
        shown.window = name;
        if (!name.isEmpty())
            say(QStringLiteral("window ") + name);
    }
    MainWindow *main = mainWindow(shell);
    if (!main)
        return;

    const blocks::RoomBlockData *room = currentRoom(shell);
    const QString roomText =
        room ? QStringLiteral("%1 members %2").arg(room->roomId).arg(room->members.size()) : QString();
    if (roomText != shown.room) {
        shown.room = roomText;
        if (!roomText.isEmpty())
            say(QStringLiteral("current-room ") + roomText);
    }
    if (room) {
        for (const blocks::MemberRowData &member : room->members) {
            const QString indicators = indicatorText(member.indicators);
            if (shown.members.value(member.name) != indicators) {
                shown.members.insert(member.name, indicators);
                say(QStringLiteral("member %1 %2").arg(member.name, indicators));
            }
        }
    }

    if (auto *mine = qobject_cast<MyRoomPanel *>(main->myRoomPanel())) {
        for (const blocks::BlockSection &section : mine->blocksData().sections) {
            for (const blocks::RoomBlockData &listed : section.rooms) {
                if (!shown.myRooms.contains(listed.roomId)) {
                    shown.myRooms.insert(listed.roomId);
                    say(QStringLiteral("my-room ") + listed.roomId);
                }
            }
        }
    }

    for (RoomSettingsDialog *dialog : main->findChildren<RoomSettingsDialog *>()) {
        const QString code = dialog->isVisible() ? dialog->basePage()->roomCodeLabel()->text() : QString();
        static const QRegularExpression digits(QStringLiteral("^\\d+$"));
        if (digits.match(code).hasMatch() && !shown.codes.contains(code)) {
            shown.codes.insert(code);
            say(QStringLiteral("room-code ") + code);
        }
    }

    if (ChatFeedView *feed = currentFeed(shell)) {
        for (const ChatFeedView::Entry &entry : feed->flatEntries()) {
            const bool seen = entry.message.id.isEmpty() ? shown.messages.contains(entry.row)
                                                         : shown.messageIds.contains(entry.message.id);
            if (seen || !entry.row)
                continue;
            shown.messages.insert(entry.row);
            shown.messageIds.insert(entry.message.id);
            say(QStringLiteral("chat %1: %2").arg(entry.message.senderName, entry.message.content));
        }
    }

    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    auto *volume = menu ? menu->findChild<VolumeControl *>() : nullptr;
    if (volume && volume->meter()) {
        // Steps of 10 dB keep the output short while the level follows the sound.
        const int step = int(std::floor(volume->meter()->level() / 10.0));
        if (step != shown.menuLevelStep) {
            shown.menuLevelStep = step;
            say(QStringLiteral("member-level %1 %2")
                    .arg(shown.menuMember)
                    .arg(QString::number(volume->meter()->level(), 'f', 1)));
        }
    } else {
        shown.menuLevelStep = 1;
    }
}

ClientContext *clientContext = nullptr;

// Posts the numbered messages, at most kInFlight at a time; the last one goes alone at the end
// so that it is also the last to arrive.
struct Poster : QObject
{
    static constexpr int kInFlight = 8;
    QString roomId;
    QString text;
    int total = 0;
    int next = 1;
    int inFlight = 0;
    int done = 0;
    int failed = 0;

    void start(RoomChatService *chat)
    {
        connect(chat, &RoomChatService::sendFinished, this, [this, chat](const QString &room, bool sent) {
            if (room != roomId)
                return;
            --inFlight;
            ++done;
            if (!sent)
                ++failed;
            pump(chat);
        });
        pump(chat);
    }
    void pump(RoomChatService *chat)
    {
        if (done == total) {
            say(QStringLiteral("posted %1 failed %2").arg(total).arg(failed));
            deleteLater();
            return;
        }
        while (inFlight < kInFlight && next < total) {
            ++inFlight;
            chat->sendMessage(roomId, QStringLiteral("%1 %2").arg(text).arg(next++), 0, QString());
        }
        if (next == total && inFlight == 0) {
            ++inFlight;
            chat->sendMessage(roomId, QStringLiteral("%1 %2").arg(text).arg(next++), 0, QString());
        }
    }
};

// Whether the row of the feed's last entry with this text is laid out inside the viewport.
enum class Sighting { Absent, Arrived, Shown };
Sighting sight(ChatFeedView *feed, const QString &text)
{
    const QList<ChatFeedView::Entry> &entries = feed->flatEntries();
    for (qsizetype i = entries.size() - 1; i >= 0 && i >= entries.size() - 64; --i) {
        const ChatFeedView::Entry &entry = entries.at(i);
        if (entry.message.content != text)
            continue;
        QWidget *viewport = feed->flatScrollArea()->viewport();
        if (!entry.row || !entry.row->isVisible())
            return Sighting::Arrived;
        const QRect onScreen(entry.row->mapTo(viewport, QPoint()), entry.row->size());
        return onScreen.intersects(viewport->rect()) ? Sighting::Shown : Sighting::Arrived;
    }
    return Sighting::Absent;
}

void run(MinimalShell *shell, Shown &shown, const QString &line)
{
    const QString command = line.section(QLatin1Char(' '), 0, 0);
    const QString argument = line.section(QLatin1Char(' '), 1);
    MainWindow *main = mainWindow(shell);
    if (command == QLatin1String("sms") || command == QLatin1String("login")) {
        LoginForm *form = loginForm(shell);
        if (!form) {
            say(QStringLiteral("error no login form"));
            return;
        }
        if (command == QLatin1String("sms")) {
            form->phoneField()->setText(argument);
            form->sendCodeButton()->click();
        } else {
            form->codeField()->setText(argument);
            form->agreementBox()->setChecked(true);
            form->loginButton()->click();
        }
        if (!form->errorLine()->text().isEmpty())
            say(QStringLiteral("error ") + form->errorLine()->text());
    } else if (command == QLatin1String("shot")) {
        QWidget *window = shell->currentWindow();
        if (!window || !window->grab().save(argument))
            say(QStringLiteral("error screenshot not saved"));
        else
            say(QStringLiteral("saved ") + argument);
    } else if (!main) {
        say(QStringLiteral("error no main window for ") + command);
    } else if (command == QLatin1String("create-room")) {
        auto *tab = qobject_cast<ConnectSettingsTab *>(main->connectSettingsTab());
        if (!tab) {
            say(QStringLiteral("error no connect tab"));
            return;
        }
        emit tab->createRoomFromConfigRequested(0);
    } else if (command == QLatin1String("create-persistent-room")) {
        emit main->createPersistentRoomRequested();
    } else if (command == QLatin1String("enter-room")) {
        auto *mine = qobject_cast<MyRoomPanel *>(main->myRoomPanel());
        if (!mine || !mine->roomBlock(argument)) {
            say(QStringLiteral("error my rooms do not list ") + argument);
            return;
        }
        emit mine->roomDoubleClicked(argument);
    } else if (command == QLatin1String("room-settings")) {
        const blocks::RoomBlockData *room = currentRoom(shell);
        if (!room) {
            say(QStringLiteral("error no current room"));
            return;
        }
        emit currentRoomPanel(shell)->roomSettingsRequested(room->roomId);
    } else if (command == QLatin1String("join-code")) {
        auto *tab = qobject_cast<ConnectSettingsTab *>(main->connectSettingsTab());
        auto *join = tab ? tab->findChild<QPushButton *>(QStringLiteral("joinButton")) : nullptr;
        if (!join) {
            say(QStringLiteral("error no join button"));
            return;
        }
        tab->codeInput()->setText(argument);
        join->click();
    } else if (command == QLatin1String("say")) {
        ChatFeedView *feed = currentFeed(shell);
        if (!feed) {
            say(QStringLiteral("error no chat for the current room"));
            return;
        }
        main->showChatDock();
        feed->inputLine()->setText(argument);
        feed->sendButtonWidget()->click();
    } else if (command == QLatin1String("member-menu")) {
        CurrentRoomPanel *panel = currentRoomPanel(shell);
        const blocks::RoomBlockData *room = currentRoom(shell);
        QString userId;
        for (const blocks::MemberRowData &member : room ? room->members : QList<blocks::MemberRowData>()) {
            if (member.name == argument)
                userId = member.userId;
        }
        if (userId.isEmpty()) {
            say(QStringLiteral("error no member named ") + argument);
            return;
        }
        shown.menuMember = argument;
        // The menu runs its own event loop until it closes; open it from the main loop so that
        // this command returns first.
        const QPoint where = panel->mapToGlobal(panel->rect().center());
        QTimer::singleShot(0, panel, [panel, userId, where] { emit panel->memberMenuRequested(userId, where); });
    } else if (command == QLatin1String("microphone")) {
        emit main->controlPanel()->audioSettingsRequested();
        AudioSettingsDialog *dialog = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *candidate = qobject_cast<AudioSettingsDialog *>(widget); candidate && candidate->isVisible())
                dialog = candidate;
        }
        QComboBox *box = dialog ? dialog->inputDeviceBox() : nullptr;
        const int index = box ? box->findData(argument, Qt::UserRole) : -1;
        if (index < 0) {
            say(QStringLiteral("error no microphone ") + argument);
        } else {
            box->setCurrentIndex(index);
            emit box->activated(index);
            say(QStringLiteral("microphone ") + argument);
        }
        if (dialog)
            dialog->close();
    } else if (command == QLatin1String("post")) {
        const blocks::RoomBlockData *room = currentRoom(shell);
        const int count = argument.section(QLatin1Char(' '), 0, 0).toInt();
        if (!room || count < 1 || !clientContext) {
            say(QStringLiteral("error nothing to post into"));
            return;
        }
        auto *poster = new Poster;
        poster->roomId = room->roomId;
        poster->text = argument.section(QLatin1Char(' '), 1);
        poster->total = count;
        poster->start(clientContext->room->chatService());
    } else if (command == QLatin1String("feed-watch")) {
        // Checked every few milliseconds: arrival is when the feed holds the message, shown is
        // when its row is on screen.
        auto *timer = new QTimer;
        auto arrived = std::make_shared<QElapsedTimer>();
        QObject::connect(timer, &QTimer::timeout, [shell, timer, arrived, argument] {
            ChatFeedView *feed = currentFeed(shell);
            const Sighting seen = feed ? sight(feed, argument) : Sighting::Absent;
            if (seen != Sighting::Absent && !arrived->isValid())
                arrived->start();
            if (seen == Sighting::Shown) {
                say(QStringLiteral("shown %1 after %2 ms entries %3")
                        .arg(argument)
                        .arg(arrived->elapsed())
                        .arg(feed->flatEntries().size()));
                timer->deleteLater();
                timer->stop();
            }
        });
        timer->start(5);
    } else if (command == QLatin1String("close-menu")) {
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
    } else {
        say(QStringLiteral("error unknown command ") + command);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    QApplication app(argc, argv);
    QString addressError;
    if (!applyServerAddressOptions(QCoreApplication::arguments(), &addressError)) {
        say(QStringLiteral("error ") + addressError);
        return 2;
    }
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    ensureDeviceId();
    SingleInstance instance;
    if (!instance.tryBecomePrimary()) {
        say(QStringLiteral("error another client runs with this data folder"));
        return 3;
    }

    int result = 0;
    {
        ClientContext context;
        context.init(&instance);
        clientContext = &context;
        std::unique_ptr<MinimalShell> shell = createMinimalShell(context);

        Shown shown;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] { watch(shell.get(), shown); });
        watcher.start(100);

        QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
        QByteArray pending;
        QObject::connect(&input, &QSocketNotifier::activated, [&] {
            char buffer[1024];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) {
                input.setEnabled(false);
                QCoreApplication::quit();
                return;
            }
            pending.append(buffer, got);
            qsizetype end = 0;
            while ((end = pending.indexOf('\n')) >= 0) {
                const QString line = QString::fromUtf8(pending.left(end)).trimmed();
                pending.remove(0, end + 1);
                if (!line.isEmpty())
                    run(shell.get(), shown, line);
            }
        });
        result = app.exec();
        shell.reset();
        clientContext = nullptr;
    }
    return result;
}
