#include "ui/dialogs/reconnect_prompt.h"

#include "theme/theme_palette.h"

#include <QBoxLayout>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

bool askReconnect(const QString &roomName, QWidget *parent)
{
    // On the heap and watched: a dialog on the stack would be deleted twice if its window
    // went away (sign-out, expiry) while the question is open; then the answer is no.
    QPointer<QDialog> guard = new QDialog(parent != nullptr ? parent->window() : nullptr);
    QDialog &dialog = *guard;
    dialog.setWindowTitle(QStringLiteral("重新连接"));
    dialog.setFixedWidth(380);
    auto *outer = new QVBoxLayout(&dialog);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto *inner = new QVBoxLayout;
    inner->setContentsMargins(28, 26, 28, 24);
    inner->setSpacing(8);
    outer->addLayout(inner);

    auto *heading = new QLabel(QStringLiteral("上次连接意外断开"), &dialog);
    QFont headingFont = heading->font();
    headingFont.setPixelSize(15);
    headingFont.setWeight(QFont::Bold);
    heading->setFont(headingFont);
    inner->addWidget(heading);
    auto *question = new QLabel(QStringLiteral("房间「%1」仍在进行中，是否重新连接？").arg(roomName), &dialog);
    question->setTextFormat(Qt::PlainText);
    question->setWordWrap(true);
    inner->addWidget(question);
    auto *hint = new QLabel(QStringLiteral("选择断开将离开该房间。"), &dialog);
    hint->setProperty("role", QStringLiteral("hint"));
    hint->setWordWrap(true);
    inner->addWidget(hint);

    auto *footer = new QWidget(&dialog);
    footer->setObjectName(QStringLiteral("dlgFoot"));
    footer->setStyleSheet(
        QStringLiteral("#dlgFoot{background:%1;border-top:1px solid %2;}")
            .arg(QLatin1String(ThemePalette::hex("panelBg")), QLatin1String(ThemePalette::hex("border"))));
    auto *buttons = new QHBoxLayout(footer);
    buttons->setContentsMargins(16, 12, 16, 12);
    buttons->setSpacing(10);
    auto *leave = new QPushButton(QStringLiteral("断开"), footer);
    auto *rejoin = new QPushButton(QStringLiteral("重连"), footer);
    rejoin->setProperty("variant", QStringLiteral("primary"));
    for (QPushButton *button : {leave, rejoin}) {
        button->setFixedHeight(36);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    outer->addWidget(footer);
    QObject::connect(rejoin, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(leave, &QPushButton::clicked, &dialog, &QDialog::reject);

    const int result = dialog.exec();
    if (!guard)
        return false;
    delete guard.data();
    return result == QDialog::Accepted;
}
