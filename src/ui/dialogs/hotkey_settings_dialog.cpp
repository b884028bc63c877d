#include "ui/dialogs/hotkey_settings_dialog.h"

#include "theme/style_helpers.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

HotkeySettingsDialog::HotkeySettingsDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("快捷键"));
    setModal(false);
    setFixedWidth(300);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 20);
    column->setSpacing(8);

    auto *title = new QLabel(QStringLiteral("快捷键"), this);
    title->setProperty("role", QStringLiteral("title"));
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    column->addSpacing(8);

    const auto addRow = [&](const QString &caption, HotkeyAction action) {
        auto *row = new QHBoxLayout;
        auto *label = new QLabel(caption, this);
        label->setProperty("role", QStringLiteral("secondary"));
        row->addWidget(label, 1);
        auto *button = new QPushButton(this);
        button->setFixedSize(110, 26);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, [this, action] { startCapture(action); });
        row->addWidget(button);
        column->addLayout(row);
        return button;
    };
    pttButton = addRow(QStringLiteral("按键发言"), HotkeyAction::PushToTalk);
    broadcastButton = addRow(QStringLiteral("广播（按住）"), HotkeyAction::Broadcast);

    status = new QLabel(this);
    status->setWordWrap(true);
    status->setMinimumHeight(QFontMetrics(status->font()).height());
    column->addWidget(status);

    auto *close = new QPushButton(QStringLiteral("关闭"), this);
    close->setFixedHeight(30);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    column->addWidget(close);
}

QPushButton *HotkeySettingsDialog::rowButton(HotkeyAction action) const
{
    return action == HotkeyAction::PushToTalk ? pttButton : broadcastButton;
}

void HotkeySettingsDialog::showBinding(HotkeyAction action)
{
    const QKeySequence &key = action == HotkeyAction::PushToTalk ? pttBinding : broadcastBinding;
    rowButton(action)->setText(key.toString(QKeySequence::PortableText));
}

void HotkeySettingsDialog::showStatus(const QString &text, bool isError)
{
    style::setStyleProperty(status, "role", isError ? "error" : "hint");
    status->setText(text);
}

void HotkeySettingsDialog::startCapture(HotkeyAction action)
{
    if (capturing)
        endCapture();
    capturing = true;
    capturedAction = action;
    rowButton(action)->setText(QStringLiteral("按任意键…"));
    showStatus(QStringLiteral("按要绑定的键，Esc 取消"), false);
    grabKeyboard();
}

void HotkeySettingsDialog::endCapture()
{
    if (!capturing)
        return;
    capturing = false;
    releaseKeyboard();
    showBinding(HotkeyAction::PushToTalk);
    showBinding(HotkeyAction::Broadcast);
    status->clear();
}

void HotkeySettingsDialog::keyPressEvent(QKeyEvent *event)
{
    if (!capturing) {
        QDialog::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        endCapture();
        return;
    }
    if (key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Meta || key == Qt::Key_Alt
        || key == Qt::Key_unknown)
        return;
    const HotkeyAction action = capturedAction;
    endCapture();
    emit bindingChangeRequested(action, QKeySequence(key));
}

void HotkeySettingsDialog::setBinding(HotkeyAction action, const QKeySequence &key)
{
    if (action == HotkeyAction::PushToTalk)
        pttBinding = key;
    else
        broadcastBinding = key;
    if (capturing && capturedAction == action)
        endCapture();
    showBinding(action);
}

void HotkeySettingsDialog::showConflict(HotkeyAction action)
{
    if (capturing && capturedAction == action)
        endCapture();
    showStatus(QStringLiteral("该键已绑定其他动作"), true);
}

void HotkeySettingsDialog::closeEvent(QCloseEvent *event)
{
    endCapture();
    QDialog::closeEvent(event);
}
