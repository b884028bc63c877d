#include "ui/shell/minimal_shell.h"

#include "app/client_context.h"
#include "app/startup_gate.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// Until the login window exists, the shell shows a plain window; closing it quits.
class PlaceholderWindow : public QWidget
{
public:
    PlaceholderWindow()
    {
        setWindowTitle(QStringLiteral("Kestova"));
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("Kestova"), this));
        resize(480, 320);
    }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        QWidget::closeEvent(event);
        QCoreApplication::quit();
    }
};

} // namespace

MinimalShell::MinimalShell(ClientContext &ctx, QObject *parent)
    : QObject(parent)
    , context(ctx)
{
}

MinimalShell::~MinimalShell()
{
    context.setPresenter(nullptr);
}

void MinimalShell::start()
{
    context.setPresenter(this);
    context.startupGate->start([this] {
        window = std::make_unique<PlaceholderWindow>();
        window->show();
    });
}

void MinimalShell::present()
{
    if (!window)
        return;
    window->show();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

std::unique_ptr<MinimalShell> createMinimalShell(ClientContext &context)
{
    auto shell = std::make_unique<MinimalShell>(context);
    shell->start();
    return shell;
}
