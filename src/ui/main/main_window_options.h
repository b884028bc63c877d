#pragma once

// How a main window starts: the two flags of the sign-in that led to it. A resumed
// session has both false.
struct MainWindowOptions
{
    bool isNewUser = false;
    bool reactivated = false;
};
