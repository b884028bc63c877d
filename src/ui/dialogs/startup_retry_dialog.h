#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Offers a manual retry when the start-up checks could not reach the server. Closing it
// quits the program: without a connection there is nothing else to show.
class StartupRetryDialog : public QDialog
{
    Q_OBJECT
public:
    explicit StartupRetryDialog(QWidget *parent = nullptr);

    QString message() const;
    QPushButton *retry() const { return retryButton; }

public slots:
    // Shows the failure message with the button enabled, and brings the dialog up.
    void showRetry();

signals:
    void retryRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *messageLabel = nullptr;
    QPushButton *retryButton = nullptr;
};
