#include "ui/connect/code_input_edit.h"

#include "theme/theme_palette.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QStyle>

#include <algorithm>

CodeInputEdit::CodeInputEdit(QWidget *parent)
    : QLineEdit(parent)
{
    statusLabel = new QLabel(this);
    statusLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    statusLabel->hide();
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QLineEdit::customContextMenuRequested, this, &CodeInputEdit::showContextMenu);
}

void CodeInputEdit::setStatus(int kind, const QString &text)
{
    statusKind = kind;
    statusText = text;
    setProperty("state", kind == ErrorStatus ? QStringLiteral("error") : QString());
    style()->unpolish(this);
    style()->polish(this);
    if (kind == NoStatus || text.isEmpty()) {
        statusLabel->hide();
        setTextMargins(6, 0, 6, 0);
        return;
    }
    statusLabel->setStyleSheet(
        QStringLiteral("color: %1; font-size: 12px; background: transparent;")
            .arg(QLatin1String(ThemePalette::hex(kind == ErrorStatus ? "dangerText" : "textMuted"))));
    statusLabel->show();
    layoutStatus();
}

void CodeInputEdit::layoutStatus()
{
    const int available = std::max(width() - 100, 40);
    // The label's own sheet sets its font size; make sure its font reflects it first.
    statusLabel->ensurePolished();
    statusLabel->setText(QFontMetrics(statusLabel->font()).elidedText(statusText, Qt::ElideRight, available));
    statusLabel->adjustSize();
    statusLabel->move(width() - statusLabel->width() - 8, (height() - statusLabel->height()) / 2);
    setTextMargins(6, 0, statusLabel->width() + 12, 0);
}

void CodeInputEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    if (statusLabel->isVisibleTo(this))
        layoutStatus();
}

void CodeInputEdit::showContextMenu(const QPoint &position)
{
    QMenu menu;
    QAction *cutAction = menu.addAction(QStringLiteral("剪切"), this, &QLineEdit::cut);
    cutAction->setEnabled(hasSelectedText() && !isReadOnly());
    QAction *copyAction = menu.addAction(QStringLiteral("复制"), this, &QLineEdit::copy);
    copyAction->setEnabled(hasSelectedText());
    QAction *pasteAction = menu.addAction(QStringLiteral("粘贴"), this, &QLineEdit::paste);
    pasteAction->setEnabled(!isReadOnly());
    QAction *selectAllAction = menu.addAction(QStringLiteral("全选"), this, &QLineEdit::selectAll);
    selectAllAction->setEnabled(!text().isEmpty());
    menu.exec(mapToGlobal(position));
}
