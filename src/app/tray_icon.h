#pragma once

#include <QObject>

class IWindowPresenter;

// The tray icon with its menu.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    void show();
    void setPresenter(IWindowPresenter *presenter);
    IWindowPresenter *currentPresenter() const { return presenter; }

private:
    IWindowPresenter *presenter = nullptr;
};
