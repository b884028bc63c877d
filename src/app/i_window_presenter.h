#pragma once

// Implemented by the UI shell: brings its current top-level window to the front.
// GUI thread only.
class IWindowPresenter
{
public:
    virtual ~IWindowPresenter() = default;
    virtual void present() = 0;
};
