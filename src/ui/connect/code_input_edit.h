#pragma once

#include <QLineEdit>

class QLabel;

// The code entry of the connection tab: a line edit with an inline status at its right
// end (an error or a piece of information) that typed text never runs under, and a plain
// edit menu. GUI thread.
class CodeInputEdit : public QLineEdit
{
public:
    enum StatusKind {
        NoStatus = 0,
        ErrorStatus = 1,
        InfoStatus = 2,
    };

    explicit CodeInputEdit(QWidget *parent = nullptr);

    // Kind 0 or an empty text hides the status.
    void setStatus(int kind, const QString &text);

    int currentStatusKind() const { return statusKind; }
    const QString &currentStatusText() const { return statusText; }
    QLabel *statusLine() const { return statusLabel; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutStatus();
    void showContextMenu(const QPoint &position);

    QLabel *statusLabel = nullptr;
    int statusKind = NoStatus;
    QString statusText;
};
