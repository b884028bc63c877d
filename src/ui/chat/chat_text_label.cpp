#include "ui/chat/chat_text_label.h"

#include <QEvent>

ChatTextLabel::ChatTextLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::RichText);
    setWordWrap(true);
}

int ChatTextLabel::heightForWidth(int width) const
{
    if (measuredText != text()) {
        forget();
        measuredText = text();
    }
    for (int i = 0; i < kKept; ++i) {
        if (measured[i].width == width) {
            lastSlot = i;
            return measured[i].height;
        }
    }
    const int height = QLabel::heightForWidth(width);
    lastSlot = nextSlot;
    measured[nextSlot] = Measured{width, height};
    nextSlot = (nextSlot + 1) % kKept;
    return height;
}

void ChatTextLabel::forget() const
{
    for (Measured &m : measured)
        m = Measured{};
    lastSlot = -1;
}

int ChatTextLabel::hintWidth() const
{
    // QLabel's own first guess for wrapped text: about eighty characters.
    return qMin(fontMetrics().averageCharWidth() * 80, maximumWidth());
}

QSize ChatTextLabel::sizeHint() const
{
    // Layouts size a wrapped label by heightForWidth; the hint's height is only a fallback
    // for those that do not, so it is the height at the width last asked for (one line
    // before the first), not a layout of the text at a width the label is never given.
    const QMargins m = contentsMargins();
    int height = fontMetrics().height() + m.top() + m.bottom() + 2 * margin();
    if (measuredText == text() && lastSlot >= 0 && measured[lastSlot].width >= 0)
        height = measured[lastSlot].height;
    return {hintWidth(), height};
}

QSize ChatTextLabel::minimumSizeHint() const
{
    // Wrapped text fits any width a row gives it; a few characters keep it from vanishing.
    const QMargins m = contentsMargins();
    const int oneLine = fontMetrics().height() + m.top() + m.bottom() + 2 * margin();
    return {qMin(hintWidth(), fontMetrics().averageCharWidth() * 4 + m.left() + m.right() + 2 * margin()), oneLine};
}

void ChatTextLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        forget();
    QLabel::changeEvent(event);
}
