#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The signed-in user's account: the nickname, which can be changed, the account ID with
// a copy button, and placeholders for balance and payments that are not in service. It
// raises the new nickname and shows the result it is given. GUI thread.
class AccountDialog : public QDialog
{
    Q_OBJECT
public:
    AccountDialog(const QString &nickname, const QString &accountId, QWidget *parent = nullptr);

    QLineEdit *nicknameField() const { return field; }
    QPushButton *saveButton() const { return save; }
    QPushButton *copyButton() const { return copy; }
    QLabel *statusLine() const { return status; }

signals:
    void nicknameSubmitted(const QString &nickname);

public slots:
    void applyNicknameSuccess();
    void applyNicknameError(const QString &msg);

private:
    void updateSaveEnabled();
    void setSaving(bool on);
    void showStatus(const QString &text, bool isError);
    void submit();

    QLineEdit *field = nullptr;
    QPushButton *save = nullptr;
    QPushButton *copy = nullptr;
    QLabel *status = nullptr;
    const QString accountId;
    QString currentNickname;
    bool saving = false;
};
