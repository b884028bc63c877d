#pragma once

#include <QMenuBar>

// The login window's menus: settings, a help placeholder, and about (version, licences,
// update check).
class LoginMenuBar : public QMenuBar
{
    Q_OBJECT
public:
    explicit LoginMenuBar(QWidget *parent = nullptr);

signals:
    void audioSettingsRequested();
    void feedbackRequested();
    void guideRequested();
    void licensesRequested();
    void checkUpdateRequested();
};
