#include "platform/keyboard/us_key_layout.h"

quint16 usVirtualKeyForCharacter(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return static_cast<quint16>(c);
    if (c >= u'A' && c <= u'Z')
        return static_cast<quint16>(c);
    if (c >= u'a' && c <= u'z')
        return static_cast<quint16>(c - u'a' + u'A');
    switch (c) {
        case u' ': return 32;
        case u')': return '0';
        case u'!': return '1';
        case u'@': return '2';
        case u'#': return '3';
        case u'$': return '4';
        case u'%': return '5';
        case u'^': return '6';
        case u'&': return '7';
        case u'*': return '8';
        case u'(': return '9';
        case u';':
        case u':': return 0xBA;
        case u'=':
        case u'+': return 0xBB;
        case u',':
        case u'<': return 0xBC;
        case u'-':
        case u'_': return 0xBD;
        case u'.':
        case u'>': return 0xBE;
        case u'/':
        case u'?': return 0xBF;
        case u'`':
        case u'~': return 0xC0;
        case u'[':
        case u'{': return 0xDB;
        case u'\\':
        case u'|': return 0xDC;
        case u']':
        case u'}': return 0xDD;
        case u'\'':
        case u'"': return 0xDE;
        default: return 0;
    }
}
