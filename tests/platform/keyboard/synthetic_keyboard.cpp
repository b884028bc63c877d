#include "synthetic_keyboard.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

SyntheticKeyboard::SyntheticKeyboard(const QByteArray &name)
    : display(XOpenDisplay(name.constData()))
{}

SyntheticKeyboard::~SyntheticKeyboard()
{
    if (display)
        XCloseDisplay(static_cast<Display *>(display));
}

unsigned long SyntheticKeyboard::keysymOf(const char *name)
{
    return XStringToKeysym(name);
}

void SyntheticKeyboard::press(unsigned long keysym)
{
    send(keysym, true);
}

void SyntheticKeyboard::release(unsigned long keysym)
{
    send(keysym, false);
}

void SyntheticKeyboard::send(unsigned long keysym, bool down)
{
    auto *dpy = static_cast<Display *>(display);
    const KeyCode code = XKeysymToKeycode(dpy, keysym);
    XTestFakeKeyEvent(dpy, code, down ? True : False, CurrentTime);
    XSync(dpy, False);
}
