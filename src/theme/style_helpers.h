#pragma once

#include <QString>

class QWidget;

namespace style {

// Replaces every "@token@" whose name is a theme token by the token's hex colour. An
// unknown name stays in the text as it is and is logged once per process, so a typo
// shows up instead of becoming an empty colour. GUI thread.
QString resolveTheme(const QString &sheet);

// Sets (or, for a null or empty value, removes) a dynamic property that style-sheet
// selectors read and re-polishes the widget so the sheet applies again. Re-polishing is
// costly: callers that update often compare with the current value first. GUI thread.
void setStyleProperty(QWidget *widget, const char *name, const char *value);

} // namespace style
