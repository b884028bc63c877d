#pragma once

#include <QByteArray>

// Presses and releases keys on an X display through XTest, as a user at that display would.
// Keys are named by keysym (the X11 headers stay out of the test's own source).
class SyntheticKeyboard
{
public:
    explicit SyntheticKeyboard(const QByteArray &display);
    ~SyntheticKeyboard();
    SyntheticKeyboard(const SyntheticKeyboard &) = delete;
    SyntheticKeyboard &operator=(const SyntheticKeyboard &) = delete;

    bool isOpen() const { return display != nullptr; }
    void press(unsigned long keysym);
    void release(unsigned long keysym);

    static unsigned long keysymOf(const char *name);

private:
    void send(unsigned long keysym, bool down);
    void *display = nullptr;
};
