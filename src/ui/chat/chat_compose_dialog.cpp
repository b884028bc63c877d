#include "ui/chat/chat_compose_dialog.h"

#include "ui/chat/chat_image_decode.h"

#include "theme/theme_palette.h"
#include "theme/tinted_icon.h"
#include "ui/chat/chat_markdown.h"
#include "ui/chat/image_viewer_dialog.h"
#include "ui/widgets/dropdown_menu.h"

#include <QEnterEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <functional>

// The compose editor: hides its placeholder while an input method composes, so the
// placeholder is never drawn under the pre-edit text.
class ImePlainTextEdit : public QPlainTextEdit
{
public:
    ImePlainTextEdit(const QString &placeholderText, QWidget *parent)
        : QPlainTextEdit(parent)
        , placeholder(placeholderText)
    {
        setPlaceholderText(placeholder);
    }

protected:
    void inputMethodEvent(QInputMethodEvent *event) override
    {
        QPlainTextEdit::inputMethodEvent(event);
        setPlaceholderText(event->preeditString().isEmpty() ? placeholder : QString());
    }

private:
    QString placeholder;
};

namespace {

constexpr int kChipSize = 46;

// The thumbnail of one attached image with preview and remove buttons shown on hover.
class AttachChip : public QWidget
{
public:
    AttachChip(const QByteArray &bytes, const QString &toolTip, std::function<void()> preview,
               std::function<void()> remove, QWidget *parent)
        : QWidget(parent)
    {
        setFixedSize(kChipSize, kChipSize);
        setToolTip(toolTip);
        // The thumbnail is decoded and shrunk on the pool: a few large photos must not
        // freeze the dialog. Until it arrives the chip is empty.
        const qreal ratio = devicePixelRatioF();
        const int side = int(std::lround(kChipSize * ratio));
        decodeImageInBackground(bytes, QSize(side, side), this, [this, ratio](const QImage &image) {
            if (image.isNull())
                return;
            thumbnail = QPixmap::fromImage(image);
            thumbnail.setDevicePixelRatio(ratio);
            update();
        });
        previewButton = makeButton(":/icons/eye.svg", QStringLiteral("预览"), 0, std::move(preview));
        removeButton = makeButton(":/icons/trash.svg", QStringLiteral("移除"), kChipSize / 2, std::move(remove));
    }

    QPushButton *previewButton = nullptr;
    QPushButton *removeButton = nullptr;

protected:
    void enterEvent(QEnterEvent *) override
    {
        previewButton->show();
        removeButton->show();
    }
    void leaveEvent(QEvent *) override
    {
        previewButton->hide();
        removeButton->hide();
    }
    void paintEvent(QPaintEvent *) override
    {
        if (thumbnail.isNull())
            return;
        QPainter painter(this);
        const QSizeF size = thumbnail.deviceIndependentSize();
        painter.drawPixmap(QPointF((width() - size.width()) / 2.0, (height() - size.height()) / 2.0), thumbnail);
    }

private:
    QPushButton *makeButton(const char *svg, const QString &tip, int x, std::function<void()> action)
    {
        auto *button = new QPushButton(this);
        button->setGeometry(x, 0, kChipSize / 2, kChipSize);
        button->setStyleSheet(QStringLiteral(
            "QPushButton{background:rgba(0,0,0,0.45);border:none;}QPushButton:hover{background:rgba(0,0,0,0.65);}"));
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(makeTintedIcon(QString::fromLatin1(svg), Qt::white, Qt::white, 14));
        button->setIconSize(QSize(14, 14));
        button->setToolTip(tip);
        button->hide();
        QObject::connect(button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
        return button;
    }

    QPixmap thumbnail;
};

QColor tokenColor(const char *token)
{
    return QColor(QString::fromLatin1(ThemePalette::hex(token)));
}

QString tagText(const QString &name, qint64 count)
{
    return QStringLiteral("%1 - %2条消息").arg(name).arg(count);
}

} // namespace

ChatComposeDialog::ChatComposeDialog(bool enabled, qint64 initialTagId, const QList<TagEntry> &tagEntries,
                                     bool mayCreateTag, bool locked, QWidget *parent)
    : QDialog(parent)
    , tagsEnabled(enabled)
    , canCreateTag(mayCreateTag)
    , tagLocked(locked)
    , chosenTagId(initialTagId)
    , tags(tagEntries)
{
    setWindowTitle(QStringLiteral("文本编辑器"));
    setModal(true);
    resize(560, 360);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->setSpacing(10);

    tagButton = new QPushButton(this);
    tagButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    tagButton->setAutoDefault(false);
    connect(tagButton, &QPushButton::clicked, this, &ChatComposeDialog::openTagPicker);
    if (!tagsEnabled) {
        tagButton->setText(QStringLiteral("当前房间未启用标签"));
        tagButton->setEnabled(false);
    }
    layout->addWidget(tagButton);

    titleEdit = new QLineEdit(this);
    titleEdit->setMaxLength(60);
    titleEdit->setPlaceholderText(QStringLiteral("标题 (可选)"));
    tagButton->setFixedHeight(titleEdit->sizeHint().height());
    layout->addWidget(titleEdit);

    auto *toolbar = new QWidget(this);
    auto *toolLayout = new QHBoxLayout(toolbar);
    toolLayout->setContentsMargins(0, 0, 0, 0);
    toolLayout->setSpacing(2);
    struct Wrap
    {
        const char *svg;
        const char *tip;
        const char *marker;
    };
    static const Wrap wraps[] = {{":/icons/bold.svg", "加粗", "**"},
                                 {":/icons/italic.svg", "斜体", "*"},
                                 {":/icons/underline.svg", "下划线", "__"},
                                 {":/icons/strikethrough.svg", "删除线", "~~"},
                                 {":/icons/code.svg", "代码", "`"},
                                 {":/icons/eye-off.svg", "剧透", "||"}};
    for (const Wrap &wrap : wraps) {
        QPushButton *button = makeToolButton(wrap.svg, QString::fromUtf8(wrap.tip));
        const QString marker = QString::fromLatin1(wrap.marker);
        connect(button, &QPushButton::clicked, this, [this, marker] { wrapSelection(marker); });
        toolLayout->addWidget(button);
    }
    QPushButton *quote = makeToolButton(":/icons/quote.svg", QStringLiteral("引用"));
    connect(quote, &QPushButton::clicked, this, &ChatComposeDialog::quoteLine);
    toolLayout->addWidget(quote);
    toolLayout->addStretch(1);
    layout->addWidget(toolbar);

    editor = new ImePlainTextEdit(QStringLiteral("内容…"), this);
    highlighter = new ChatMarkdownHighlighter(editor->document());
    layout->addWidget(editor, 1);

    attachRow = new QWidget(this);
    attachLayout = new QHBoxLayout(attachRow);
    attachLayout->setContentsMargins(0, 0, 0, 0);
    attachLayout->setSpacing(6);
    addImageButton = new QPushButton(QStringLiteral("添加图片"), attachRow);
    addImageButton->setFixedHeight(kChipSize);
    addImageButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    addImageButton->setAutoDefault(false);
    connect(addImageButton, &QPushButton::clicked, this, &ChatComposeDialog::pickImages);
    layout->addWidget(attachRow);
    rebuildAttachRow();

    errorLabel = new QLabel(this);
    errorLabel->setStyleSheet(QStringLiteral("color:%1;font-size:12px;").arg(ThemePalette::color("dangerText").name()));
    errorLabel->hide();
    layout->addWidget(errorLabel);

    auto *footer = new QWidget(this);
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(0, 0, 0, 0);
    footerLayout->setSpacing(10);
    auto *cancel = new QPushButton(QStringLiteral("取消"), footer);
    cancel->setFixedHeight(36);
    cancel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *send = new QPushButton(QStringLiteral("发送"), footer);
    send->setProperty("variant", "primary");
    send->setFixedHeight(36);
    send->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    send->setDefault(true);
    connect(send, &QPushButton::clicked, this, &ChatComposeDialog::trySend);
    footerLayout->addWidget(cancel);
    footerLayout->addWidget(send);
    layout->addWidget(footer);

    if (tagsEnabled)
        selectTag(initialTagId);
    editor->setFocus(Qt::OtherFocusReason);
}

QString ChatComposeDialog::content() const
{
    return editor->toPlainText().trimmed();
}

QString ChatComposeDialog::title() const
{
    return titleEdit->text().trimmed();
}

QPlainTextEdit *ChatComposeDialog::editorWidget() const
{
    return editor;
}

QPushButton *ChatComposeDialog::makeToolButton(const char *svg, const QString &toolTip)
{
    auto *button = new QPushButton(this);
    button->setProperty("compact", true);
    button->setFixedSize(28, 26);
    button->setToolTip(toolTip);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(makeTintedIcon(QString::fromLatin1(svg), tokenColor("text"), tokenColor("textFaint"), 16));
    button->setIconSize(QSize(16, 16));
    return button;
}

void ChatComposeDialog::wrapSelection(const QString &marker)
{
    QTextCursor cursor = editor->textCursor();
    if (cursor.hasSelection()) {
        cursor.insertText(marker + cursor.selectedText() + marker);
    } else {
        cursor.insertText(marker + marker);
        cursor.movePosition(QTextCursor::Left, QTextCursor::MoveAnchor, int(marker.size()));
        editor->setTextCursor(cursor);
    }
    editor->setFocus();
}

void ChatComposeDialog::quoteLine()
{
    QTextCursor cursor = editor->textCursor();
    cursor.clearSelection();
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.insertText(QStringLiteral("> "));
    editor->setFocus();
}

void ChatComposeDialog::selectTag(qint64 id)
{
    creatingNewTag = false;
    chosenTagId = id;
    QString name;
    qint64 count = 0;
    for (const TagEntry &tag : tags) {
        if (tag.id == id) {
            name = tag.name;
            count = tag.messageCount;
            break;
        }
    }
    QFont font = tagButton->font();
    font.setWeight(name.isEmpty() ? QFont::Normal : QFont::Bold);
    tagButton->setFont(font);
    if (name.isEmpty()) {
        chosenTagId = 0;
        tagButton->setText(QStringLiteral("选择标签"));
    } else {
        tagButton->setText(tagText(name, count));
    }
    titleEdit->setPlaceholderText(QStringLiteral("标题 (可选)"));
    errorLabel->hide();
}

void ChatComposeDialog::startNewTag(const QString &name)
{
    creatingNewTag = true;
    chosenTagId = 0;
    newTag = name.trimmed();
    QFont font = tagButton->font();
    font.setWeight(QFont::Normal);
    tagButton->setFont(font);
    tagButton->setText(QStringLiteral("%1 - 新标签").arg(newTag));
    titleEdit->setPlaceholderText(QStringLiteral("标题（新标签首楼必须输入标题）"));
    titleEdit->setFocus();
    errorLabel->hide();
}

void ChatComposeDialog::openTagPicker()
{
    if (tagLocked)
        return;
    auto *menu = new DropdownMenu(this);
    QList<DropdownMenu::Item> items;
    for (const TagEntry &tag : tags)
        items.append({tag.id, tagText(tag.name, tag.messageCount), true});
    menu->setItems(items, creatingNewTag ? 0 : chosenTagId);
    menu->setActionRow(QStringLiteral("＋ 新建标签"), canCreateTag, QStringLiteral("标签名称…"), 20);
    connect(menu, &DropdownMenu::itemSelected, this, [this](qlonglong id) { selectTag(id); });
    connect(menu, &DropdownMenu::actionSubmitted, this, &ChatComposeDialog::startNewTag);
    menu->popup(tagButton);
}

void ChatComposeDialog::pickImages()
{
    const QStringList paths = QFileDialog::getOpenFileNames(this, QStringLiteral("添加图片"), QString(),
                                                            QStringLiteral("图片 (*.jpg *.jpeg *.png *.gif *.webp)"));
    if (paths.isEmpty())
        return;
    addImages(paths);
}

void ChatComposeDialog::addImages(const QStringList &paths)
{
    const PendingImageIntake intake = loadPendingImages(paths, int(imageList.size()));
    imageList.append(intake.images);
    if (!intake.rejects.isEmpty())
        showError(intake.rejects.join(QStringLiteral("；")));
    rebuildAttachRow();
}

void ChatComposeDialog::rebuildAttachRow()
{
    while (QLayoutItem *item = attachLayout->takeAt(0)) {
        if (item->widget() && item->widget() != addImageButton)
            delete item->widget();
        delete item;
    }
    for (int i = 0; i < imageList.size(); ++i) {
        const ChatPendingImage &image = imageList.at(i);
        auto preview = [this, image] {
            auto *viewer = new ImageViewerDialog(image.data, image.fileName, image.mime, this);
            viewer->show();
        };
        auto remove = [this, i] {
            // The chip that was clicked is deleted by the rebuild, so it runs after the
            // click handler has returned.
            QTimer::singleShot(0, this, [this, i] {
                if (i < imageList.size())
                    imageList.removeAt(i);
                rebuildAttachRow();
            });
        };
        attachLayout->addWidget(
            new AttachChip(image.data, image.fileName, preview, remove, attachRow));
    }
    if (!imageList.isEmpty()) {
        addImageButton->setText(QString());
        addImageButton->setIcon(
            makeTintedIcon(QStringLiteral(":/icons/plus.svg"), tokenColor("text"), tokenColor("textFaint"), 16));
        addImageButton->setIconSize(QSize(16, 16));
        addImageButton->setToolTip(QStringLiteral("添加图片"));
        addImageButton->setFixedSize(kChipSize, kChipSize);
    } else {
        addImageButton->setText(QStringLiteral("添加图片"));
        addImageButton->setIcon(QIcon());
        addImageButton->setToolTip(QString());
        addImageButton->setMinimumWidth(0);
        addImageButton->setMaximumWidth(QWIDGETSIZE_MAX);
        addImageButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    attachLayout->addWidget(addImageButton, imageList.isEmpty() ? 1 : 0);
    attachLayout->addStretch(0);
    addImageButton->setVisible(imageList.size() < kMaxImages);
}

void ChatComposeDialog::showError(const QString &text)
{
    errorLabel->setText(text);
    errorLabel->show();
}

void ChatComposeDialog::trySend()
{
    const QString text = content();
    if (text.isEmpty() && (imageList.isEmpty() || creatingNewTag)) {
        showError(QStringLiteral("内容不能为空"));
        editor->setFocus();
        return;
    }
    if (text.size() > kMaxContentLength) {
        showError(QStringLiteral("内容超长 (上限 %1 字)").arg(kMaxContentLength));
        return;
    }
    if (!tagsEnabled) {
        accept();
        return;
    }
    if (creatingNewTag && newTag.isEmpty()) {
        showError(QStringLiteral("标签名必填"));
        return;
    }
    if (creatingNewTag && title().isEmpty()) {
        showError(QStringLiteral("新帖标题必填"));
        titleEdit->setFocus();
        return;
    }
    if (creatingNewTag || chosenTagId > 0) {
        accept();
        return;
    }
    showError(QStringLiteral("必须选择一个标签"));
}
