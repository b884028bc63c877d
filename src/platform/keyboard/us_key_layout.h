#pragma once

#include <QtGlobal>

// A fixed US keyboard layout for the keyboard sources: characters to virtual keys, as the layout
// types them (shift state dropped). 0 when no key types the character.
quint16 usVirtualKeyForCharacter(char16_t character);
