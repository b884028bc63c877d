#pragma once

#include <QObject>
#include <QString>

class IWindowPresenter;
class QLocalServer;

// Keeps one running client per user and data root. The first process listens on a
// local server named after the install id; a later start finds it by connecting,
// which is the whole message, and the first one then brings its window forward.
// GUI thread only.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QObject *parent = nullptr);
    // Closes the server, which frees the name.
    ~SingleInstance() override;

    // Called once at start. False when another instance answered (it has been asked
    // to present its window, and this process must end); true when this process goes
    // on, as the listening instance or, when the local channel is unusable, unguarded.
    bool tryBecomePrimary();
    // Null (before and after the shell) makes later starts present nothing.
    void setPresenter(IWindowPresenter *presenter);
    IWindowPresenter *currentPresenter() const { return presenter; }

private:
    // Whether a server of this name accepts a connection within 300 ms (blocks).
    bool probe() const;
    void onNewConnection();

    QString serverName;
    QLocalServer *server = nullptr;
    IWindowPresenter *presenter = nullptr;
};
