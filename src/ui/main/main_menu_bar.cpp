#include "ui/main/main_menu_bar.h"

#include "build_config.h"

#include <QMenu>

namespace {

void addPlaceholderMenu(QMenuBar *bar, const QString &title)
{
    bar->addMenu(title)->addAction(QStringLiteral("菜单未接入"))->setEnabled(false);
}

} // namespace

MainMenuBar::MainMenuBar(QWidget *parent)
    : QMenuBar(parent)
{
    addPlaceholderMenu(this, QStringLiteral("连接"));
    addPlaceholderMenu(this, QStringLiteral("房间"));
    addPlaceholderMenu(this, QStringLiteral("频道"));
    addPlaceholderMenu(this, QStringLiteral("好友"));

    QMenu *account = addMenu(QStringLiteral("账号"));
    connect(account->addAction(QStringLiteral("账号详情")), &QAction::triggered, this,
            &MainMenuBar::accountDetailRequested);
    account->addSeparator();
    connect(account->addAction(QStringLiteral("退出登录")), &QAction::triggered, this, &MainMenuBar::logoutRequested);

    QMenu *settings = addMenu(QStringLiteral("设置"));
    connect(settings->addAction(QStringLiteral("音频设置")), &QAction::triggered, this,
            &MainMenuBar::audioSettingsRequested);
    connect(settings->addAction(QStringLiteral("快捷键修改")), &QAction::triggered, this,
            &MainMenuBar::hotkeySettingsRequested);

    addPlaceholderMenu(this, QStringLiteral("帮助"));

    QMenu *about = addMenu(QStringLiteral("关于"));
    about->addAction(QStringLiteral("版本: %1").arg(QLatin1String(buildconfig::kClientVersion)));
    connect(about->addAction(QStringLiteral("开源许可")), &QAction::triggered, this, &MainMenuBar::licensesRequested);
    connect(about->addAction(QStringLiteral("检查更新")), &QAction::triggered, this,
            &MainMenuBar::checkUpdateRequested);
}
