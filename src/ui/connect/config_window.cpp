#include "ui/connect/config_window.h"

#include "theme/theme_palette.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

// A list row that runs its click action on a left press and shows its hover widget while
// the mouse is over it.
class HoverRow : public QWidget
{
public:
    using QWidget::QWidget;

    std::function<void()> onClick;
    QWidget *hoverWidget = nullptr;

protected:
    void enterEvent(QEnterEvent *event) override
    {
        QWidget::enterEvent(event);
        if (hoverWidget)
            hoverWidget->show();
    }
    void leaveEvent(QEvent *event) override
    {
        QWidget::leaveEvent(event);
        if (hoverWidget)
            hoverWidget->hide();
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && onClick)
            onClick();
        QWidget::mousePressEvent(event);
    }
};

namespace {

QString hexOf(const char *token)
{
    return QString::fromLatin1(ThemePalette::hex(token));
}

} // namespace

ConfigWindow::ConfigWindow(const QString &title, const QString &addText, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setModal(true);
    setMinimumSize(700, 480);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    bodyLayout = new QHBoxLayout;
    bodyLayout->setContentsMargins(14, 14, 14, 10);
    bodyLayout->setSpacing(14);
    auto *listColumn = new QVBoxLayout;
    listColumn->setSpacing(6);
    bodyLayout->addLayout(listColumn);

    listArea = new QScrollArea(this);
    listArea->setFixedWidth(216);
    listArea->setWidgetResizable(true);
    listArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listArea->setFocusPolicy(Qt::NoFocus);
    listArea->setStyleSheet(
        QStringLiteral("QScrollArea{border:1px solid %1;background:%2;}").arg(hexOf("border"), hexOf("white")));
    auto *content = new QWidget;
    content->setStyleSheet(QStringLiteral("background:%1;").arg(hexOf("white")));
    listLayout = new QVBoxLayout(content);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    listLayout->addStretch();
    listArea->setWidget(content);
    listColumn->addWidget(listArea, 1);

    addButton = new QPushButton(addText, this);
    addButton->setProperty("variant", QStringLiteral("link"));
    addButton->setCursor(Qt::PointingHandCursor);
    addButton->setAutoDefault(false);
    connect(addButton, &QPushButton::clicked, this, [this] {
        // The index the new item will get, so that the owner's setItems selects it.
        selectedIndex = int(items.size());
        emit itemAddRequested();
    });
    listColumn->addWidget(addButton);
    outer->addLayout(bodyLayout, 1);

    auto *footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("dlgFoot"));
    footer->setStyleSheet(
        QStringLiteral("#dlgFoot{background:%1;border-top:1px solid %2;}").arg(hexOf("panelBg"), hexOf("border")));
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(16, 12, 16, 12);
    footerLayout->setSpacing(10);
    auto *closeButton = new QPushButton(QStringLiteral("关闭"), footer);
    closeButton->setFixedHeight(36);
    closeButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    closeButton->setAutoDefault(false);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    footerLayout->addWidget(closeButton);
    outer->addWidget(footer);

    rebuildList();
    qApp->installEventFilter(this);
}

ConfigWindow::~ConfigWindow()
{
    qApp->removeEventFilter(this);
    // Hiding during destruction moves the focus away from an open rename editor, whose
    // editingFinished would then call into this half-destroyed window.
    for (QLineEdit *editor : findChildren<QLineEdit *>())
        editor->disconnect(this);
}

QWidget *ConfigWindow::rowAt(int index) const
{
    if (index < 0)
        return noneRow;
    return index < rows.size() ? rows.at(index).row : nullptr;
}

QLabel *ConfigWindow::nameLabelAt(int index) const
{
    return index >= 0 && index < rows.size() ? rows.at(index).nameLabel : nullptr;
}

QLineEdit *ConfigWindow::editorAt(int index) const
{
    return index >= 0 && index < rows.size() ? rows.at(index).editor : nullptr;
}

QWidget *ConfigWindow::actionsAt(int index) const
{
    return index >= 0 && index < rows.size() ? rows.at(index).actions : nullptr;
}

void ConfigWindow::rebuildList()
{
    while (QLayoutItem *item = listLayout->takeAt(0)) {
        if (QWidget *widget = item->widget())
            widget->deleteLater();
        delete item;
    }
    rows.clear();
    noneRow = nullptr;
    if (allowNone)
        makeRow(-1, QString());
    for (int i = 0; i < items.size(); ++i)
        makeRow(i, items.at(i));
    listLayout->addStretch();
}

void ConfigWindow::makeRow(int index, const QString &name)
{
    auto *row = new HoverRow;
    row->setAttribute(Qt::WA_StyledBackground);
    row->setFixedHeight(34);
    row->setCursor(Qt::PointingHandCursor);
    row->onClick = [this, index] { QTimer::singleShot(0, this, [this, index] { selectFromClick(index); }); };
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(10, 0, 6, 0);
    layout->setSpacing(6);

    auto *label = new QLabel(row);
    label->setTextFormat(Qt::PlainText);
    label->setFixedWidth(108);
    label->setStyleSheet(QStringLiteral("background:transparent;"));
    const QString shown = index < 0 ? QStringLiteral("默认") : name;
    label->setText(QFontMetrics(label->font()).elidedText(shown, Qt::ElideRight, 108));
    if (index >= 0)
        label->setToolTip(name);
    layout->addWidget(label);

    if (index >= 0) {
        auto *editor = new QLineEdit(row);
        editor->setFixedWidth(108);
        editor->hide();
        layout->addWidget(editor);
        connect(editor, &QLineEdit::returnPressed, this, &ConfigWindow::commitRenameLater);
        connect(editor, &QLineEdit::editingFinished, this, &ConfigWindow::commitRenameLater);
        layout->addStretch();

        auto *actions = new QWidget(row);
        actions->setStyleSheet(QStringLiteral("background:transparent;"));
        auto *actionsLayout = new QHBoxLayout(actions);
        actionsLayout->setContentsMargins(0, 0, 0, 0);
        actionsLayout->setSpacing(2);
        auto *rename = new QPushButton(QStringLiteral("重命名"), actions);
        rename->setProperty("variant", QStringLiteral("link"));
        auto *remove = new QPushButton(QStringLiteral("删除"), actions);
        remove->setProperty("variant", QStringLiteral("linkDanger"));
        for (QPushButton *button : {rename, remove}) {
            button->setCursor(Qt::PointingHandCursor);
            button->setAutoDefault(false);
            actionsLayout->addWidget(button);
        }
        connect(rename, &QPushButton::clicked, this, [this, index] { startRename(index); });
        connect(remove, &QPushButton::clicked, this,
                [this, index] { QTimer::singleShot(0, this, [this, index] { confirmDelete(index); }); });
        actions->hide();
        row->hoverWidget = actions;
        layout->addWidget(actions);
        rows.append({row, label, editor, actions});
    } else {
        layout->addStretch();
    }

    listLayout->addWidget(row);
    if (index < 0) {
        setRowSelected(row, selectedIndex < 0);
        noneRow = row;
    } else {
        setRowSelected(row, index == selectedIndex);
    }
}

void ConfigWindow::setRowSelected(QWidget *row, bool selected)
{
    row->setStyleSheet(selected ? QStringLiteral("background:%1;").arg(hexOf("selectBg"))
                                : QStringLiteral("background:transparent;"));
}

void ConfigWindow::repaintRows()
{
    if (noneRow)
        setRowSelected(noneRow, selectedIndex < 0);
    for (int i = 0; i < rows.size(); ++i)
        setRowSelected(rows.at(i).row, i == selectedIndex);
}

void ConfigWindow::selectFromClick(int index)
{
    if (index < 0 || index >= items.size())
        index = -1;
    if (index == selectedIndex || (index < 0 && !allowNone))
        return;
    selectedIndex = index;
    repaintRows();
    emit itemSelected(index);
}

void ConfigWindow::confirmDelete(int index)
{
    if (index < 0 || index >= items.size())
        return;
    const QString name = items.at(index);
    // On the heap and watched: the window may be closed for good (a sign-out) while the
    // question is open, and the box must not be deleted twice.
    QPointer<ConfigWindow> self = this;
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Question, QStringLiteral("确认"), QStringLiteral("确定要删除“%1”吗？").arg(name),
                        QMessageBox::Yes | QMessageBox::No, this);
    box->setTextFormat(Qt::PlainText);
    const int answer = box->exec();
    if (!self || !box)
        return;
    delete box.data();
    // The list may have changed while the question was open.
    if (answer != QMessageBox::Yes || index >= items.size() || items.at(index) != name)
        return;
    if (index == selectedIndex)
        selectedIndex = allowNone ? -1 : 0;
    else if (index < selectedIndex)
        --selectedIndex;
    emit itemDeleteRequested(index);
}

void ConfigWindow::startRename(int index)
{
    if (index < 0 || index >= rows.size() || index >= items.size())
        return;
    if (renameIndex >= 0)
        finishRename(false);
    renameIndex = index;
    const RowEntry &entry = rows.at(index);
    renameEditor = entry.editor;
    entry.nameLabel->hide();
    entry.actions->hide();
    entry.row->hoverWidget = nullptr;
    entry.editor->setText(items.at(index));
    entry.editor->show();
    entry.editor->setFocus(Qt::OtherFocusReason);
    entry.editor->selectAll();
}

void ConfigWindow::commitRenameLater()
{
    const int index = renameIndex;
    const QPointer<QLineEdit> editor = renameEditor;
    QTimer::singleShot(0, this, [this, index, editor] {
        if (renameIndex == index && renameEditor == editor)
            finishRename(true);
    });
}

void ConfigWindow::finishRename(bool commit)
{
    if (renameIndex < 0)
        return;
    const QString name = commit && renameEditor ? renameEditor->text().trimmed() : QString();
    const int index = renameIndex;
    renameIndex = -1;
    renameEditor.clear();
    if (commit && index < items.size() && !name.isEmpty() && name != items.at(index)) {
        emit itemRenameRequested(index, name);
        return;
    }
    if (index >= rows.size())
        return;
    const RowEntry &entry = rows.at(index);
    entry.editor->hide();
    entry.nameLabel->show();
    entry.row->hoverWidget = entry.actions;
    entry.actions->hide();
}

bool ConfigWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && renameIndex >= 0 && watched->isWidgetType()) {
        auto *target = static_cast<QWidget *>(watched);
        if (!renameEditor || (target != renameEditor && !renameEditor->isAncestorOf(target)))
            commitRenameLater();
    }
    return QDialog::eventFilter(watched, event);
}

void ConfigWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && renameIndex >= 0) {
        finishRename(false);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ConfigWindow::setItems(const QStringList &names)
{
    items = names;
    if (selectedIndex >= items.size())
        selectedIndex = -1;
    renameIndex = -1;
    renameEditor.clear();
    rebuildList();
    updatePlaceholder();
    emit itemSelected(selectedIndex);
}

void ConfigWindow::setCurrentIndex(int index)
{
    if (index < 0 || index >= items.size())
        index = -1;
    selectedIndex = index;
    repaintRows();
    emit itemSelected(index);
}

void ConfigWindow::setAllowNone(bool allow)
{
    if (allow == allowNone)
        return;
    allowNone = allow;
    if (!allow && selectedIndex < 0)
        selectedIndex = items.isEmpty() ? -1 : 0;
    rebuildList();
    updatePlaceholder();
}

void ConfigWindow::setDetailWidget(QWidget *widget)
{
    if (widget == detailWidget)
        return;
    if (detailWidget)
        detailWidget->deleteLater();
    detailWidget = widget;
    if (widget) {
        widget->setParent(this);
        bodyLayout->addWidget(widget, 1);
    }
    updatePlaceholder();
}

void ConfigWindow::setPlaceholderText(const QString &text)
{
    if (!placeholderLabel) {
        placeholderLabel = new QLabel(this);
        placeholderLabel->setProperty("role", QStringLiteral("placeholder"));
        placeholderLabel->setAlignment(Qt::AlignCenter);
        placeholderLabel->hide();
        bodyLayout->addWidget(placeholderLabel, 1);
    }
    placeholderLabel->setText(text);
    updatePlaceholder();
}

void ConfigWindow::updatePlaceholder()
{
    const bool showPlaceholder = placeholderLabel && items.isEmpty() && !allowNone;
    if (placeholderLabel)
        placeholderLabel->setVisible(showPlaceholder);
    if (detailWidget)
        detailWidget->setVisible(!showPlaceholder);
}
