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
    for (const Measured &m : measured) {
        if (m.width == width)
            return m.height;
    }
    const int height = QLabel::heightForWidth(width);
    measured[nextSlot] = Measured{width, height};
    nextSlot = (nextSlot + 1) % kKept;
    return height;
}

void ChatTextLabel::forget() const
{
    for (Measured &m : measured)
        m = Measured{};
}

int ChatTextLabel::hintWidth() const
{
    // QLabel's own first guess for wrapped text: about eighty characters.
    return qMin(fontMetrics().averageCharWidth() * 80, maximumWidth());
}

QSize ChatTextLabel::sizeHint() const
{
    const int width = hintWidth();
    return {width, heightForWidth(width)};
}

QSize ChatTextLabel::minimumSizeHint() const
{
    // Wrapped text fits any width a row gives it; a few characters keep it from vanishing.
    const QMargins m = contentsMargins();
    const int oneLine = fontMetrics().height() + m.top() + m.bottom() + 2 * margin();
    return {qMin(hintWidth(), fontMetrics().averageCharWidth() * 4 + m.left() + m.right() + 2 * margin()),
            qMin(oneLine, sizeHint().height())};
}

void ChatTextLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        forget();
    QLabel::changeEvent(event);
}
