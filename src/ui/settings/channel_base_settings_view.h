#pragma once

#include <QJsonObject>
#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// The first page of the channel settings: name, description and the channel code with a
// copy button and an on/off switch. Passive: the setters never emit; each change the
// user makes leaves at once as one signal carrying only that change. GUI thread.
class ChannelBaseSettingsView : public QWidget
{
    Q_OBJECT

public:
    struct Values
    {
        QString name;
        QString description;
        QString code; // empty: the channel has no code yet
        bool codeEnabled = false;
    };

    explicit ChannelBaseSettingsView(QWidget *parent = nullptr);
    ~ChannelBaseSettingsView() override;

    void setPermissions(bool changeName, bool changeDescription, bool manageCode);
    void setValues(const Values &values);

    const Values &values() const { return stored; }
    QLineEdit *nameField() const { return nameEdit; }
    QLineEdit *descriptionField() const { return descriptionEdit; }
    QLabel *codeLabel() const { return codeText; }
    QPushButton *copyButton() const { return copy; }
    QPushButton *switchButton() const { return toggle; }

signals:
    void settingsSaved(const QJsonObject &updates);
    void codeToggleRequested(bool enabled);

private:
    void commitName();
    void commitDescription();
    void copyCode();
    void refreshCodeRow();

    Values stored;
    bool canChangeName = false;
    bool canChangeDescription = false;
    bool canManageCode = false;
    QLineEdit *nameEdit = nullptr;
    QLineEdit *descriptionEdit = nullptr;
    QLabel *codeText = nullptr;
    QPushButton *copy = nullptr;
    QPushButton *toggle = nullptr;
};
