#include "ui/widgets/emoji_picker.h"

#include "theme/theme_palette.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QPushButton>
#include <QScrollArea>

namespace {

constexpr int kColumns = 8;
constexpr int kButtonSize = 34;

} // namespace

const QStringList &EmojiPicker::emojiTable()
{
    // Five entries carry the emoji variation selector (U+FE0F) after their base character.
    static const char *const kEmoji[] = {
        "😀",
        "😄",
        "😁",
        "😆",
        "😅",
        "😂",
        "🤣",
        "😊",
        "😇",
        "🙂",
        "😉",
        "😌",
        "😍",
        "🥰",
        "😘",
        "😋",
        "😛",
        "😜",
        "🤪",
        "😝",
        "🤑",
        "🤗",
        "🤭",
        "🤫",
        "🤔",
        "🤐",
        "😐",
        "😑",
        "😶",
        "😏",
        "😒",
        "🙄",
        "😬",
        "🤥",
        "😴",
        "😪",
        "🤤",
        "😷",
        "🤒",
        "🤕",
        "🤢",
        "🤮",
        "🥴",
        "😵",
        "🤯",
        "🥳",
        "😎",
        "🤓",
        "🧐",
        "😕",
        "😟",
        "🙁",
        "😮",
        "😯",
        "😲",
        "😳",
        "🥺",
        "😦",
        "😨",
        "😰",
        "😥",
        "😢",
        "😭",
        "😱",
        "😖",
        "😣",
        "😞",
        "😓",
        "😩",
        "😫",
        "🥱",
        "😤",
        "😡",
        "😠",
        "🤬",
        "😈",
        "💀",
        "🤡",
        "👻",
        "👽",
        "🤖",
        "💩",
        "😺",
        "😸",
        "😹",
        "😻",
        "😼",
        "🙀",
        "👋",
        "🤚",
        "✋",
        "🖖",
        "👌",
        "🤌",
        "✌\xef\xb8\x8f",
        "🤞",
        "🤟",
        "🤘",
        "🤙",
        "👈",
        "👉",
        "👆",
        "👇",
        "☝\xef\xb8\x8f",
        "👍",
        "👎",
        "✊",
        "👊",
        "🤛",
        "🤜",
        "👏",
        "🙌",
        "🤝",
        "🙏",
        "💪",
        "🫡",
        "👀",
        "❤\xef\xb8\x8f",
        "🧡",
        "💛",
        "💚",
        "💙",
        "💜",
        "🖤",
        "🤍",
        "💔",
        "❣\xef\xb8\x8f",
        "💕",
        "💯",
        "💢",
        "💥",
        "💫",
        "💦",
        "🎉",
        "🎊",
        "🎂",
        "🎁",
        "🏆",
        "🥇",
        "⚽",
        "🎮",
        "🎲",
        "🎧",
        "🎤",
        "🔥",
        "⭐",
        "🌟",
        "✨",
        "⚡",
        "🌈",
        "☀\xef\xb8\x8f",
        "🌙",
        "🍉",
        "🍕",
        "🍔",
        "🍟",
        "🍺",
        "☕",
        "🚀",
        "💤",
    };
    static const QStringList table = [] {
        QStringList list;
        for (const char *emoji : kEmoji)
            list.append(QString::fromUtf8(emoji));
        return list;
    }();
    return table;
}

EmojiPicker::EmojiPicker(QWidget *parent)
    : QWidget(parent, Qt::Popup)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("emojiPicker"));
    setStyleSheet(QStringLiteral("#emojiPicker{background:%1;border:1px solid %2;}")
                      .arg(QLatin1String(ThemePalette::hex("overlayBg")), QLatin1String(ThemePalette::hex("border"))));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    outer->addWidget(scroll);

    auto *grid = new QWidget;
    auto *layout = new QGridLayout(grid);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(0);

    QFont emojiFont(QStringLiteral("Segoe UI Emoji"));
    emojiFont.setPixelSize(18);
    const QString buttonSheet =
        QStringLiteral("QPushButton{background:transparent;border:none;padding:0;}QPushButton:hover{background:%1;}")
            .arg(QLatin1String(ThemePalette::hex("fillHover")));
    const QStringList &table = emojiTable();
    for (int i = 0; i < table.size(); ++i) {
        const QString emoji = table.at(i);
        auto *button = new QPushButton(emoji, grid);
        button->setFixedSize(kButtonSize, kButtonSize);
        button->setFont(emojiFont);
        button->setFocusPolicy(Qt::NoFocus);
        button->setStyleSheet(buttonSheet);
        connect(button, &QPushButton::clicked, this, [this, emoji] {
            emit emojiPicked(emoji);
            close();
        });
        layout->addWidget(button, i / kColumns, i % kColumns);
    }
    scroll->setWidget(grid);
}

void EmojiPicker::showAbove(QWidget *anchor)
{
    setFixedSize(296, 288);
    if (anchor) {
        const QPoint p = anchor->mapToGlobal(QPoint(anchor->width(), 0));
        move(p.x() - 296, p.y() - 288);
    }
    show();
}
