#include "platform/keyboard/x11_keyboard_source.h"

#include "platform/keyboard/us_key_layout.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QSocketNotifier>

// The X11 headers come last: they define macros (None, Bool, KeyPress ...) that Qt's headers use
// as names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

namespace {

Q_LOGGING_CATEGORY(lcKeyboard, "base.input", QtInfoMsg)

struct KeysymKey
{
    KeySym keysym;
    quint16 virtualKey;
};

// Keys with a fixed virtual key besides letters, digits and function keys.
constexpr KeysymKey kNamedKeys[] = {
    {XK_space, 32},        {XK_Tab, 9},           {XK_ISO_Left_Tab, 9},   {XK_Insert, 45},      {XK_Delete, 46},
    {XK_Pause, 19},        {XK_Home, 36},         {XK_End, 35},           {XK_Left, 37},        {XK_Up, 38},
    {XK_Right, 39},        {XK_Down, 40},         {XK_Prior, 33},         {XK_Next, 34},        {XK_Shift_L, 16},
    {XK_Shift_R, 16},      {XK_Control_L, 17},    {XK_Control_R, 17},     {XK_Alt_L, 18},       {XK_Alt_R, 18},
    {XK_Caps_Lock, 20},    {XK_Scroll_Lock, 145}, {XK_BackSpace, 8},      {XK_Return, 13},      {XK_Escape, 27},
    {XK_semicolon, 0xBA},  {XK_equal, 0xBB},      {XK_comma, 0xBC},       {XK_minus, 0xBD},     {XK_period, 0xBE},
    {XK_slash, 0xBF},      {XK_grave, 0xC0},      {XK_bracketleft, 0xDB}, {XK_backslash, 0xDC}, {XK_bracketright, 0xDD},
    {XK_apostrophe, 0xDE},
};

} // namespace

struct X11KeyboardSource::Impl
{
    QByteArray displayName;
    Display *display = nullptr;
    int xiOpcode = -1;
    std::unique_ptr<QSocketNotifier> notifier;
};

X11KeyboardSource::X11KeyboardSource(const QString &displayName, QObject *parent)
    : AbstractKeyboardSource(parent)
    , d(std::make_unique<Impl>())
{
    d->displayName = displayName.toLocal8Bit();
}

X11KeyboardSource::~X11KeyboardSource()
{
    d->notifier.reset();
    if (d->display)
        XCloseDisplay(d->display);
}

quint16 X11KeyboardSource::virtualKeyForKeysym(unsigned long keysym)
{
    if (keysym >= XK_a && keysym <= XK_z)
        return static_cast<quint16>('A' + (keysym - XK_a));
    if (keysym >= XK_A && keysym <= XK_Z)
        return static_cast<quint16>(keysym);
    if (keysym >= XK_0 && keysym <= XK_9)
        return static_cast<quint16>(keysym);
    if (keysym >= XK_F1 && keysym <= XK_F24)
        return static_cast<quint16>(112 + (keysym - XK_F1));
    for (const KeysymKey &key : kNamedKeys) {
        if (key.keysym == keysym)
            return key.virtualKey;
    }
    return 0;
}

bool X11KeyboardSource::registerInput()
{
    if (d->display)
        return true;
    Display *display = XOpenDisplay(d->displayName.isEmpty() ? nullptr : d->displayName.constData());
    if (!display) {
        qCWarning(lcKeyboard) << "no X display for the keyboard";
        return false;
    }
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 0;
    if (!XQueryExtension(display, "XInputExtension", &d->xiOpcode, &event, &error)
        || XIQueryVersion(display, &major, &minor) != Success) {
        qCWarning(lcKeyboard) << "the X display has no XInput2";
        XCloseDisplay(display);
        return false;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof(bits);
    mask.mask = bits;
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    XSync(display, False);
    d->display = display;
    d->notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, &X11KeyboardSource::readEvents);
    readQueuedEventsLater();
    return true;
}

void X11KeyboardSource::readEvents()
{
    if (!d->display)
        return;
    while (XPending(d->display) > 0) {
        XEvent event;
        XNextEvent(d->display, &event);
        XGenericEventCookie *cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != d->xiOpcode)
            continue;
        if (!XGetEventData(d->display, cookie))
            continue;
        if (cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease) {
            const auto *raw = static_cast<const XIRawEvent *>(cookie->data);
            const KeySym keysym = XkbKeycodeToKeysym(d->display, static_cast<KeyCode>(raw->detail), 0, 0);
            const quint16 virtualKey = virtualKeyForKeysym(keysym);
            const bool released = cookie->evtype == XI_RawKeyRelease;
            XFreeEventData(d->display, cookie);
            if (virtualKey != 0)
                emit keyInput(virtualKey, released);
            continue;
        }
        XFreeEventData(d->display, cookie);
    }
}

bool X11KeyboardSource::isKeyDown(quint16 virtualKey) const
{
    if (!d->display || virtualKey == 0)
        return false;
    char keys[32] = {};
    XQueryKeymap(d->display, keys);
    int minKeycode = 0;
    int maxKeycode = 0;
    XDisplayKeycodes(d->display, &minKeycode, &maxKeycode);
    for (int keycode = minKeycode; keycode <= maxKeycode && keycode < 256; ++keycode) {
        if (!(keys[keycode / 8] & (1 << (keycode % 8))))
            continue;
        const KeySym keysym = XkbKeycodeToKeysym(d->display, static_cast<KeyCode>(keycode), 0, 0);
        if (virtualKeyForKeysym(keysym) == virtualKey) {
            readQueuedEventsLater();
            return true;
        }
    }
    readQueuedEventsLater();
    return false;
}

void X11KeyboardSource::readQueuedEventsLater() const
{
    // A round trip may have moved events from the socket into Xlib's queue, where the socket
    // notifier cannot see them.
    if (XEventsQueued(d->display, QueuedAlready) > 0)
        QMetaObject::invokeMethod(const_cast<X11KeyboardSource *>(this), &X11KeyboardSource::readEvents,
                                  Qt::QueuedConnection);
}

quint16 X11KeyboardSource::virtualKeyForCharacter(char16_t character) const
{
    return usVirtualKeyForCharacter(character);
}
