#pragma once

#include <QStringList>
#include <QWidget>

// A popup grid of 160 emoji, 8 to a row, that scrolls vertically. A click reports the
// emoji and closes the picker, which then deletes itself; so does a click outside.
class EmojiPicker : public QWidget
{
    Q_OBJECT
public:
    explicit EmojiPicker(QWidget *parent = nullptr);

    // Sizes the picker and shows it with its bottom-right corner on the anchor's
    // top-right corner.
    void showAbove(QWidget *anchor);

    // The emoji in grid order.
    static const QStringList &emojiTable();

signals:
    void emojiPicked(const QString &emoji);
};
