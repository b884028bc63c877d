#pragma once

class QString;
class QWidget;

// The only way a link in a chat message leaves the program: a modal warning that names
// the address and offers to copy it, open it in the default browser, or cancel. A
// "loose:" link (a bare domain) is offered as "https://..." and only while Ctrl is held;
// without Ctrl it is dropped silently. Only http and https addresses are ever handed to
// the desktop; for any other scheme the open button shows an error in the prompt instead.
// Blocks in the dialog's event loop until the user answers. GUI thread.
void confirmOpenExternalLink(const QString &url, QWidget *parent);
