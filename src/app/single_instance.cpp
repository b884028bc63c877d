#include "app/single_instance.h"

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}
SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryBecomePrimary()
{
    return true;
}

void SingleInstance::setPresenter(IWindowPresenter *p)
{
    presenter = p;
}
