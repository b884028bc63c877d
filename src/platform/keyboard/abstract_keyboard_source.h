#pragma once

#include <QObject>

// What the global hotkey monitor needs of the platform: every key make and break of the whole
// desktop, reported with the key's virtual-key code even while another application has the focus
// (observed, never taken); whether a virtual key is down at this moment; and the virtual key of a
// character. Virtual-key codes are the keys' identities ("A" is 65, F1 is 112, Scroll Lock 145).
// GUI thread only.
class AbstractKeyboardSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts reporting `keyInput`; false when the platform refuses (no display, no raw input).
    // Called again after a failure; a source that already reports answers true.
    virtual bool registerInput() = 0;
    // Whether the key is held now.
    virtual bool isKeyDown(quint16 virtualKey) const = 0;
    // The virtual key that types `character` (the shift state dropped); 0 when none does.
    virtual quint16 virtualKeyForCharacter(char16_t character) const = 0;

signals:
    // A make (`released` false; auto-repeat makes included) or a break of a key.
    void keyInput(quint16 virtualKey, bool released);
};
