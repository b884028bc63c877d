#include "app/tray_icon.h"

TrayIcon::TrayIcon(QObject *parent) : QObject(parent) {}
TrayIcon::~TrayIcon() = default;

void TrayIcon::show() {}

void TrayIcon::setPresenter(IWindowPresenter *p)
{
    presenter = p;
}
