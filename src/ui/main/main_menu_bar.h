#pragma once

#include <QMenuBar>

// The main window's menus. Menus without a receiver yet show a disabled placeholder;
// the rest only raise requests.
class MainMenuBar : public QMenuBar
{
    Q_OBJECT
public:
    explicit MainMenuBar(QWidget *parent = nullptr);

signals:
    void accountDetailRequested();
    void logoutRequested();
    void audioSettingsRequested();
    void hotkeySettingsRequested();
    void licensesRequested();
    void checkUpdateRequested();
};
