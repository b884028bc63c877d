#pragma once

#include "match/match_error_code.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class CodeInputEdit;
class QAbstractButton;
class QBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;
class QTimer;
class QVBoxLayout;

// The connection tab: join a room or channel by code, attach the current room under
// another by code, the current room's follow code with its countdown, temporary rooms
// from saved configurations, preference groups and the room's preference members. It
// talks to no service: it raises request signals, shows a busy state until one of its
// result slots (or clearBusy) answers, and takes the room's state through setters.
// GUI thread.
class ConnectSettingsTab : public QWidget
{
    Q_OBJECT
public:
    enum BusyMode {
        None = 0,
        JoinByCode = 1,
        AttachByCode = 2,
        CreateFromConfig = 3,
        PrefMatch = 4,
    };
    Q_ENUM(BusyMode)

    // One saved room configuration.
    struct ConfigEntry
    {
        QString name;
        QString roomName;    // blank: the default room name
        int bitrate = 64000; // bits per second
    };
    using ConfigItem = ConfigEntry;

    struct PrefGroupEntry
    {
        QString name;
        int memberCount = 0;
    };

    struct MemberEntry
    {
        QString userId;
        QString name;

        friend bool operator==(const MemberEntry &, const MemberEntry &) = default;
    };

    explicit ConnectSettingsTab(QWidget *parent = nullptr);

    void setInRoom(bool inRoom);
    void setFollowCode(const QString &code, qint64 expiresAtMs);
    void setCanAttach(bool can);
    void setCanManageFollowCode(bool can);

    void setConfigs(const QList<ConfigEntry> &entries);
    void setDefaultRoomName(const QString &name);
    void setPrefGroups(const QList<PrefGroupEntry> &groups);
    void setRoomPrefMembers(const QList<MemberEntry> &members);

    QSize minimumSizeHint() const override;

    // Milliseconds since the epoch; the system clock unless a test sets another.
    void setClock(std::function<qint64()> clock);

    BusyMode currentBusyMode() const { return BusyMode(busyMode); }
    // What the lists and the default row were last given.
    QList<ConfigEntry> configEntries() const { return configs; }
    QString defaultRoomNameText() const { return defaultRoomName; }
    QList<PrefGroupEntry> prefGroupEntries() const { return prefGroups; }
    bool isInRoom() const { return inRoom; }
    int configContentHeight() const { return configListHeight; }
    int prefContentHeight() const { return prefListHeight; }
    int memberContentHeight() const { return memberListHeight; }
    CodeInputEdit *codeInput() const { return codeEdit; }
    QTimer *followCodeTimer() const { return followTimer; }
    QTimer *joinAppliedTicker() const { return joinAppliedTimer; }
    QTimer *attachAppliedTicker() const { return attachAppliedTimer; }

public slots:
    void applyCodeSuccess();
    void applyChannelJoined();
    void applyJoinPending();
    void applyAttachPending();
    // The server's message, when there is one, replaces the generic "加入失败"/"挂载失败".
    void applyJoinError(MatchErrorCode code, const QString &message = QString());
    void applyAttachError(MatchErrorCode code, const QString &message = QString());
    void clearBusy();

signals:
    void joinByCodeRequested(const QString &code);
    void attachByCodeRequested(const QString &code);
    void createConfigRequested();
    void createRoomFromConfigRequested(int configIndex);
    void editConfigRequested(int configIndex);
    void followCodeAssignRequested();
    void followCodeCopyRequested();
    void followCodeInvalidateRequested();
    void prefMatchRequested(int index);
    void openPrefEditRequested(int index);
    void openPrefConfigRequested();
    void openRoomPrefEditRequested();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void codeClicked(bool attach);
    void beginBusy(int mode);
    void beginRowBusy(int mode, QAbstractButton *button, const QString &restoreText);
    void markApplied(QPushButton *button);
    void applyCodeError(MatchErrorCode code, const QString &message, const QString &fixedText);
    void refreshMode();
    void refreshFollowCode();
    void tickFollowCode();
    void relayout();
    QString joinText() const;
    void rebuildConfigList();
    void rebuildPrefList();
    void rebuildMemberList();
    QWidget *makeConfigRow(int index, const QString &title, const QString &roomName, int bitrate);
    qint64 now() const;

    QWidget *configSection = nullptr;
    QPushButton *configButton = nullptr;
    QScrollArea *configScroll = nullptr;
    QVBoxLayout *configListLayout = nullptr;
    QWidget *followSection = nullptr;
    QLabel *followExpiryLabel = nullptr;
    QLabel *followCodeLabel = nullptr;
    QWidget *followButtonRow = nullptr;
    QPushButton *copyButton = nullptr;
    QPushButton *invalidateButton = nullptr;
    QPushButton *assignButton = nullptr;
    QTimer *followTimer = nullptr;
    QWidget *codeSection = nullptr;
    CodeInputEdit *codeEdit = nullptr;
    QPushButton *joinButton = nullptr;
    QPushButton *attachButton = nullptr;
    QWidget *prefSection = nullptr;
    QPushButton *prefConfigButton = nullptr;
    QScrollArea *prefScroll = nullptr;
    QVBoxLayout *prefListLayout = nullptr;
    QWidget *roomPrefSection = nullptr;
    QPushButton *roomPrefEditButton = nullptr;
    QScrollArea *roomPrefScroll = nullptr;
    QVBoxLayout *roomPrefListLayout = nullptr;
    bool inRoom = false;
    bool canAttach = false;
    bool canManageFollowCode = false;
    int busyMode = None;
    QPointer<QAbstractButton> busyButton;
    QString busyButtonText;
    QTimer *joinAppliedTimer = nullptr;
    QTimer *attachAppliedTimer = nullptr;
    QString followCode;
    qint64 followCodeExpiresAtMs = 0;
    QList<ConfigEntry> configs;
    QString defaultRoomName;
    QList<PrefGroupEntry> prefGroups;
    QList<MemberEntry> roomPrefMembers;
    bool hasRoomPrefMembers = false;
    int configListHeight = 0;
    int prefListHeight = 0;
    int memberListHeight = 0;
    std::function<qint64()> clock;
};
