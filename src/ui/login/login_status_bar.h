#pragma once

#include <QWidget>

// The thin strip along the bottom of the login window.
class LoginStatusBar : public QWidget
{
    Q_OBJECT
public:
    explicit LoginStatusBar(QWidget *parent = nullptr);
};
