#pragma once

class QString;

// True when the whole text is a mobile number: 11 digits, "1", then 3 to 9.
// The login form trims its text before asking.
bool isValidPhoneNumber(const QString &number);
