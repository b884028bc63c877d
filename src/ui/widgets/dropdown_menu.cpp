#include "ui/widgets/dropdown_menu.h"

#include "theme/style_helpers.h"
#include "theme/theme_palette.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>

#include <functional>

namespace {

// One row of the menu: centred text, a hover fill and an optional check mark.
class DropdownRow : public QWidget
{
public:
    DropdownRow(const QString &rowText, bool rowEnabled, bool rowMarked, std::function<void()> clicked)
        : text(rowText)
        , enabled(rowEnabled)
        , marked(rowMarked)
        , onClick(std::move(clicked))
    {}

protected:
    void enterEvent(QEnterEvent *event) override
    {
        hovered = true;
        update();
        QWidget::enterEvent(event);
    }

    void leaveEvent(QEvent *event) override
    {
        hovered = false;
        update();
        QWidget::leaveEvent(event);
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && enabled && onClick)
            onClick();
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        if (enabled && hovered)
            painter.fillRect(rect(), ThemePalette::color("fillHover"));
        painter.setPen(ThemePalette::color(enabled ? "text" : "textMuted"));
        painter.drawText(rect().adjusted(28, 0, -28, 0), Qt::AlignCenter, text);
        if (marked) {
            QFont bold = painter.font();
            bold.setWeight(QFont::Bold);
            painter.setFont(bold);
            painter.setPen(ThemePalette::color("primary"));
            painter.drawText(rect().adjusted(0, 0, -12, 0), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("✓"));
        }
    }

private:
    const QString text;
    const bool enabled;
    const bool marked;
    const std::function<void()> onClick;
    bool hovered = false;
};

} // namespace

DropdownMenu::DropdownMenu(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("dropdownMenu"));
    setStyleSheet(QStringLiteral("#dropdownMenu{background:%1;border:1px solid %2;}")
                      .arg(QLatin1String(ThemePalette::hex("overlayBg")), QLatin1String(ThemePalette::hex("border"))));
}

void DropdownMenu::setItems(const QList<Item> &newItems, qint64 newSelectedId)
{
    items = newItems;
    selectedId = newSelectedId;
}

void DropdownMenu::setActionRow(const QString &text, bool enabled, const QString &placeholder, int maxLength)
{
    actionRow = true;
    actionText = text;
    actionEnabled = enabled;
    actionPlaceholder = placeholder;
    actionMaxLength = maxLength;
}

void DropdownMenu::popup(QWidget *anchor)
{
    if (!anchor)
        return;
    rowHeight = anchor->height();
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    int total = 0;

    for (const Item &item : std::as_const(items)) {
        const qint64 id = item.id;
        auto *row = new DropdownRow(item.text, item.enabled, selectedId > 0 && item.id == selectedId, [this, id] {
            emit itemSelected(id);
            close();
        });
        row->setFixedHeight(rowHeight);
        column->addWidget(row);
        rows.append(row);
        total += rowHeight;
    }

    if (actionRow) {
        auto *separator = new QWidget;
        separator->setFixedHeight(1);
        separator->setStyleSheet(QStringLiteral("background:%1;").arg(QLatin1String(ThemePalette::hex("border"))));
        column->addWidget(separator);

        actionStack = new QStackedWidget;
        actionStack->setFixedHeight(rowHeight);
        actionStack->addWidget(new DropdownRow(actionText, actionEnabled, false, [this] {
            actionStack->setCurrentIndex(1);
            actionEdit->setFocus(Qt::OtherFocusReason);
        }));
        actionStack->addWidget(buildEditRow());
        column->addWidget(actionStack);
        total += rowHeight + 1;
    }

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);
    if (total < 321) {
        outer->addWidget(content);
    } else {
        auto *scroll = new QScrollArea;
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidgetResizable(true);
        scroll->setWidget(content);
        outer->addWidget(scroll);
    }

    setFixedWidth(anchor->width());
    setFixedHeight(total < 320 ? total + 2 : 322);
    move(anchor->mapToGlobal(QPoint(0, anchor->height())));
    show();
    activateWindow();
}

QWidget *DropdownMenu::buildEditRow()
{
    auto *row = new QWidget;
    row->setFixedHeight(rowHeight);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    actionEdit = new QLineEdit(row);
    actionEdit->setFixedHeight(rowHeight);
    actionEdit->setPlaceholderText(actionPlaceholder);
    actionEdit->setMaxLength(actionMaxLength);
    actionEdit->setStyleSheet(QStringLiteral("QLineEdit{border:1px solid %1;background:%2;color:%3;padding:0 8px;}")
                                  .arg(QLatin1String(ThemePalette::hex("primary")),
                                       QLatin1String(ThemePalette::hex("inputBg")),
                                       QLatin1String(ThemePalette::hex("text"))));
    actionEdit->installEventFilter(this);
    connect(actionEdit, &QLineEdit::returnPressed, this, &DropdownMenu::submitAction);
    layout->addWidget(actionEdit, 1);

    auto *confirm = new QPushButton(QStringLiteral("确认"), row);
    confirm->setProperty("variant", QStringLiteral("primary"));
    confirm->setProperty("compact", true);
    confirm->setFixedSize(48, rowHeight);
    connect(confirm, &QPushButton::clicked, this, &DropdownMenu::submitAction);
    layout->addWidget(confirm);
    return row;
}

void DropdownMenu::submitAction()
{
    const QString text = actionEdit->text().trimmed();
    if (text.isEmpty())
        return;
    emit actionSubmitted(text);
    close();
}

bool DropdownMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == actionEdit && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        actionStack->setCurrentIndex(0);
        setFocus(Qt::OtherFocusReason);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void DropdownMenu::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool DropdownMenu::event(QEvent *event)
{
    if (event->type() == QEvent::WindowDeactivate)
        close();
    return QWidget::event(event);
}
