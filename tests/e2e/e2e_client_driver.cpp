// The real client (the same context and shell as the application) with a driver for the end-to-end
// test: it reads one command a line on stdin and acts on the client's own views the way a person
// would (fills the fields, ticks the box, clicks the buttons), and prints what the windows show on
// stdout. Commands:
//   sms <phone>      types the phone number into the login form and clicks "send code"
//   login <code>     types the code, ticks the agreement and clicks the login button
//   create-room      asks the connect tab for a room from its first saved configuration, as its
//                    "create" link does
//   shot <path>      saves a picture of the current top-level window
// Output lines: "window <class>" whenever the current top-level window changes, "current-room <id>
// members <n>" whenever the current-room panel shows another room or member count, "error <text>".
#include "app/client_context.h"
#include "app/device_id.h"
#include "app/server_address_options.h"
#include "app/single_instance.h"
#include "ui/connect/connect_settings_tab.h"
#include "ui/login/login_form.h"
#include "ui/main/main_window.h"
#include "ui/panels/current_room_panel.h"
#include "ui/shell/minimal_shell.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QPixmap>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

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

void run(MinimalShell *shell, const QString &line)
{
    const QString command = line.section(QLatin1Char(' '), 0, 0);
    const QString argument = line.section(QLatin1Char(' '), 1);
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
    } else if (command == QLatin1String("create-room")) {
        QWidget *window = shell->currentWindow();
        auto *tab = window ? window->findChild<ConnectSettingsTab *>() : nullptr;
        if (!tab) {
            say(QStringLiteral("error no connect tab"));
            return;
        }
        emit tab->createRoomFromConfigRequested(0);
    } else if (command == QLatin1String("shot")) {
        QWidget *window = shell->currentWindow();
        if (!window || !window->grab().save(argument))
            say(QStringLiteral("error screenshot not saved"));
        else
            say(QStringLiteral("saved ") + argument);
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
        std::unique_ptr<MinimalShell> shell = createMinimalShell(context);

        QString shown;
        QString shownRoom;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            QWidget *window = shell->currentWindow();
            const QString name =
                window && window->isVisible() ? QString::fromLatin1(window->metaObject()->className()) : QString();
            if (name != shown) {
                shown = name;
                if (!name.isEmpty())
                    say(QStringLiteral("window ") + name);
            }
            auto *main = qobject_cast<MainWindow *>(window);
            auto *panel = main ? qobject_cast<CurrentRoomPanel *>(main->currentRoomPanel()) : nullptr;
            QString room;
            if (panel) {
                for (const blocks::BlockSection &section : panel->blocksData().sections) {
                    if (!section.rooms.isEmpty()) {
                        room = QStringLiteral("%1 members %2")
                                   .arg(section.rooms.first().roomId)
                                   .arg(section.rooms.first().members.size());
                        break;
                    }
                }
            }
            if (room != shownRoom) {
                shownRoom = room;
                if (!room.isEmpty())
                    say(QStringLiteral("current-room ") + room);
            }
        });
        watch.start(100);

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
                    run(shell.get(), line);
            }
        });
        result = app.exec();
        shell.reset();
    }
    return result;
}
