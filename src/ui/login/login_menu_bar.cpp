#include "ui/login/login_menu_bar.h"

#include "build_config.h"

#include <QMenu>

LoginMenuBar::LoginMenuBar(QWidget *parent)
    : QMenuBar(parent)
{
    QMenu *settings = addMenu(QStringLiteral("设置"));
    connect(settings->addAction(QStringLiteral("音频设置")), &QAction::triggered, this,
            &LoginMenuBar::audioSettingsRequested);

    QMenu *help = addMenu(QStringLiteral("帮助"));
    help->addAction(QStringLiteral("菜单未接入"))->setEnabled(false);

    QMenu *about = addMenu(QStringLiteral("关于"));
    about->addAction(QStringLiteral("版本: %1").arg(QLatin1String(buildconfig::kClientVersion)));
    connect(about->addAction(QStringLiteral("开源许可")), &QAction::triggered, this, &LoginMenuBar::licensesRequested);
    connect(about->addAction(QStringLiteral("检查更新")), &QAction::triggered, this,
            &LoginMenuBar::checkUpdateRequested);
}
