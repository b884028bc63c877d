#pragma once

#include "app/i_window_presenter.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;
struct ClientContext;

// Swaps the top-level windows and presents the current one.
class MinimalShell : public QObject, public IWindowPresenter
{
    Q_OBJECT
public:
    explicit MinimalShell(ClientContext &context, QObject *parent = nullptr);
    ~MinimalShell() override;

    void start();
    void present() override;

private:
    ClientContext &context;
    std::unique_ptr<QWidget> window;
};

// Builds and starts the shell over the context; main owns the result.
std::unique_ptr<MinimalShell> createMinimalShell(ClientContext &context);
