#pragma once

#include "app/i_window_presenter.h"

// A window presenter that only counts how often it was asked to bring the window up.
class CountingPresenter : public IWindowPresenter
{
public:
    void present() override { ++presented; }
    int presented = 0;
};
