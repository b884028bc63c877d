#pragma once

#include "ui/connect/connect_settings_tab.h"
#include "ui/main/main_status_bar.h"
#include "ui/main/main_window.h"
#include "ui/main/main_window_options.h"
#include "ui/panels/current_room_panel.h"
#include "ui/panels/my_channel_panel.h"
#include "ui/panels/my_room_panel.h"
#include "user/abstract_user_resolver.h"
#include "user/user_profile.h"
#include "user/user_state.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QPair>
#include <QPointer>
#include <QStringList>
#include <QTest>

namespace wiringtest {

// A resolver with a fixed cache that answers a request for a known user at once, as the
// real directory does, and counts every request.
class ScriptedResolver : public AbstractUserResolver
{
public:
    QHash<QString, QPair<QString, QString>> names; // id -> (nickname, username)
    QStringList requested;

    void request(const QString &userId) override
    {
        requested << userId;
        if (names.contains(userId))
            emit userInfoReady(userId, names.value(userId).first);
    }
    void requestMany(const QStringList &userIds) override
    {
        for (const QString &id : userIds)
            request(id);
    }
    QString nickname(const QString &userId) const override { return names.value(userId).first; }
    QString username(const QString &userId) const override { return names.value(userId).second; }
    // A name arrives later, as after a batched fetch.
    void arrive(const QString &userId, const QString &nickname, const QString &username = QString())
    {
        names.insert(userId, {nickname, username});
        emit userInfoReady(userId, nickname);
    }
};

// A main window with the real views in its docks and a status bar that plays messages
// quickly.
struct WindowFixture
{
    MainWindow window{MainWindowOptions{}};
    ConnectSettingsTab *tab = new ConnectSettingsTab;
    CurrentRoomPanel *currentRoomPanel = new CurrentRoomPanel;
    MyRoomPanel *myRoomPanel = new MyRoomPanel;
    MyChannelPanel *channelPanel = new MyChannelPanel;

    WindowFixture()
    {
        window.setConnectSettingsTab(tab);
        window.setCurrentRoomPanel(currentRoomPanel);
        window.setMyRoomPanel(myRoomPanel);
        window.setMyChannelPanel(channelPanel);
        window.statusBar()->setTimings(1, 20, 1);
    }
    MainStatusBar *statusBar() const { return window.statusBar(); }
};

// Plays the status bar's queue and returns the messages it showed, in order, until
// `count` were seen or two seconds passed.
inline QStringList playedMessages(MainStatusBar *bar, int count)
{
    QStringList seen;
    QString last;
    QElapsedTimer clock;
    clock.start();
    while (seen.size() < count && clock.elapsed() < 2000) {
        QTest::qWait(1);
        const QString now = bar->currentMessage();
        if (now != last && !now.isEmpty())
            seen << now;
        last = now;
    }
    return seen;
}

inline void signIn(UserState &user, const QString &userId, const QString &nickname)
{
    UserProfile profile;
    profile.userId = userId;
    profile.nickname = nickname;
    user.applyProfile(profile);
}

// The newest visible top-level dialog of type T, null when there is none.
template<class T>
T *openDialog()
{
    T *found = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<T *>(widget); dialog != nullptr && dialog->isVisible())
            found = dialog;
    }
    return found;
}

template<class T>
T *findDialog(const QObject *parent)
{
    const QList<T *> all = parent->findChildren<T *>();
    return all.isEmpty() ? nullptr : all.last();
}

} // namespace wiringtest
