#pragma once

#include <QObject>

// Whether the Ctrl key is held in this application, for views that make bare-domain
// links clickable only while it is. One per process, created on first use and owned by
// the application object. GUI thread.
class CtrlKeyWatcher : public QObject
{
    Q_OBJECT
public:
    static CtrlKeyWatcher *instance();

    bool held() const { return isHeld; }

signals:
    // On every change; never twice with the same value.
    void changed(bool held);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit CtrlKeyWatcher(QObject *parent);
    void setHeld(bool value);

    bool isHeld = false;
};
