#pragma once

#include <QJsonObject>
#include <QString>
#include <QWidget>

class QBoxLayout;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class SegmentedControl;

// One room's basic settings as a form. Passive: values and rights arrive through the
// setters, which never emit; each user change leaves at once as one signal, and the page
// never applies it to its own values (the owner refills it once the change is accepted).
class RoomBaseSettingsView : public QWidget
{
    Q_OBJECT

public:
    struct Values
    {
        QString name;
        int bitrate = 64000;
        bool isPersistent = false;
        QString roomCode;
        bool roomCodeEnabled = false;
        QString moduleId;
        QString moduleName;
        QString accessMode = QStringLiteral("public");
        bool requireApproval = false;
        bool codeDirectEntry = true;
        QString allowSubroom = QStringLiteral("ask");
        bool allowSubroomBroadcast = true;
        bool allowSubroomChat = true;
    };

    struct Permissions
    {
        bool changeName = false;
        bool changeBitrate = false;
        bool changeAccessMode = false;
        bool toggleRequireApproval = false;
        bool toggleCodeDirectEntry = false;
        bool manageRoomCode = false;
        bool manageModule = false; // kept only
        bool toggleAllowSubroomAttach = false;
        bool toggleAllowSubroomBroadcast = false;
        bool toggleAllowSubroomChat = false;
        bool configTagSystem = false;
    };

    explicit RoomBaseSettingsView(QWidget *parent = nullptr);

    void setValues(const Values &values);
    void setPermissions(const Permissions &permissions);
    void setDefaultName(const QString &name);
    void setTagSystemEnabled(bool enabled);
    // The access mode the control shows, a click not yet confirmed included.
    QString currentAccessMode() const;

    QLineEdit *nameField() const { return nameEdit; }
    QComboBox *bitrateBox() const { return bitrateCombo; }
    QLabel *roomCodeLabel() const { return codeLabel; }
    QPushButton *copyButton() const { return copy; }
    QPushButton *roomCodeSwitchButton() const { return codeSwitch; }
    QLabel *moduleLabel() const { return moduleText; }
    QPushButton *moduleSelectButton() const { return moduleSelect; }
    QLabel *accessHintLabel() const { return accessHint; }
    SegmentedControl *accessModeControl() const { return accessControl; }
    SegmentedControl *approvalControl() const { return approvalChoice; }
    SegmentedControl *directEntryControl() const { return directEntryChoice; }
    SegmentedControl *subroomAttachControl() const { return subroomChoice; }
    SegmentedControl *subroomBroadcastControl() const { return broadcastChoice; }
    SegmentedControl *subroomChatControl() const { return chatChoice; }
    SegmentedControl *tagSystemControl() const { return tagChoice; }

signals:
    void settingsSaved(const QJsonObject &updates);
    void roomCodeToggleRequested(bool enabled);
    void moduleSelectRequested();
    void moduleDetachRequested();
    void tagSystemToggleRequested(bool enabled);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Accent { Graded, OnOff };

    void buildUi();
    void addRow(const QString &caption, QWidget *control, const QString &hint = QString());
    void addSeparator();
    SegmentedControl *makeChoiceControl(const QList<QPair<QString, QString>> &segments, Accent accent,
                                        const QString &value, bool enabled);
    SegmentedControl *makeOnOffControl(bool value, bool enabled);
    void applyValues();
    void refreshRoomCodeRow();
    void refreshTagRow();
    void refreshAccessHint();
    void commitName();
    void commitBitrate();
    void commitChoice(const QString &key, bool isBoolean, const QString &value);
    void commitTag(const QString &value);

    Values values;
    Permissions rights;
    QString defaultName;
    bool tagSystemEnabled = false;

    QVBoxLayout *pageLayout = nullptr;
    QLineEdit *nameEdit = nullptr;
    QComboBox *bitrateCombo = nullptr;
    QLabel *codeLabel = nullptr;
    QPushButton *copy = nullptr;
    QPushButton *codeSwitch = nullptr;
    QLabel *moduleText = nullptr;
    QPushButton *moduleSelect = nullptr;
    QPushButton *moduleDetach = nullptr;
    SegmentedControl *accessControl = nullptr;
    SegmentedControl *approvalChoice = nullptr;
    SegmentedControl *directEntryChoice = nullptr;
    QLabel *accessHint = nullptr;
    SegmentedControl *subroomChoice = nullptr;
    SegmentedControl *broadcastChoice = nullptr;
    SegmentedControl *chatChoice = nullptr;
    SegmentedControl *tagChoice = nullptr;
};
