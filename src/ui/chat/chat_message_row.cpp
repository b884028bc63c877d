#include "ui/chat/chat_message_row.h"

#include "theme/theme_palette.h"
#include "ui/chat/chat_markdown.h"
#include "ui/chat/chat_text_label.h"
#include "ui/widgets/ctrl_key_watcher.h"
#include "ui/widgets/external_link.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayoutItem>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kAvatarSize = 44;
constexpr int kFullTopMargin = 14;
constexpr int kTightTopMargin = 1;
const QSize kSingleBox(320, 200);
const QSize kGridBox(158, 110);

QString hexOf(const char *token)
{
    return QString::fromLatin1(ThemePalette::hex(token));
}

// Showing a child that would be shown with its row anyway, or setting the style sheet it
// already has, still polishes it again and activates its layout: rows are built often.
void setShown(QWidget *widget, bool shown)
{
    if (widget->isVisibleTo(widget->parentWidget()) != shown)
        widget->setVisible(shown);
}

void setSheet(QWidget *widget, const QString &sheet)
{
    if (widget->styleSheet() != sheet)
        widget->setStyleSheet(sheet);
}

} // namespace

ChatMessageRow::ChatMessageRow(const Message &m, bool isCompact, const QString &tagName, bool chip, QWidget *parent)
    : QWidget(parent)
    , messageId(m.id)
    , compact(isCompact)
    , showTagChip(chip)
{
    auto *rowLayout = new QHBoxLayout(this);
    rowLayout->setSpacing(10);

    avatar = new QLabel(this);
    avatar->setFixedSize(kAvatarSize, kAvatarSize);
    avatar->setAlignment(Qt::AlignCenter);
    rowLayout->addWidget(avatar, 0, Qt::AlignTop);

    // Nested layouts rather than container widgets: every widget of a row is polished
    // against the application style sheet, painted and deleted again as rows come and go.
    columnLayout = new QVBoxLayout;
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(1);
    rowLayout->addLayout(columnLayout, 1);

    headerLayout = new QHBoxLayout;
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(6);
    tagChip = new QLabel(this);
    tagChip->setCursor(Qt::PointingHandCursor);
    tagChip->installEventFilter(this);
    header = new QLabel(this);
    header->setTextFormat(Qt::RichText);
    headerLayout->addWidget(tagChip);
    headerLayout->addWidget(header);
    headerLayout->addStretch();
    columnLayout->addLayout(headerLayout);

    body = new ChatTextLabel(this);
    body->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    body->setOpenExternalLinks(false);
    // The row's own menu shows over the body, not the label's copy menu.
    body->setContextMenuPolicy(Qt::NoContextMenu);
    connect(body, &QLabel::linkActivated, this, &ChatMessageRow::onLinkActivated);
    connect(body, &QLabel::linkHovered, this, &ChatMessageRow::onLinkHovered);
    connect(CtrlKeyWatcher::instance(), &CtrlKeyWatcher::changed, body, [this] { refreshLooseLinks(); });
    columnLayout->addWidget(body);

    thumbArea = new QWidget(this);
    thumbGrid = new QGridLayout(thumbArea);
    thumbGrid->setContentsMargins(0, 4, 0, 0);
    thumbGrid->setSpacing(4);
    thumbArea->hide();
    columnLayout->addWidget(thumbArea);

    applyMessage(m, tagName);
    setCompact(isCompact);
}

void ChatMessageRow::applyMessage(const Message &m, const QString &tagName)
{
    message = m;
    tagId = m.tagId;

    if (m.senderName.isEmpty()) {
        avatarLetter = QStringLiteral("?");
    } else {
        // A name that starts outside the basic plane keeps its whole first character.
        avatarLetter = m.senderName.left(m.senderName.at(0).isHighSurrogate() ? 2 : 1);
    }
    avatarStyle = QStringLiteral("background:%1;color:%2;font-weight:bold;font-size:20px;")
                      .arg(hexOf("primary"), hexOf("onPrimary"));

    if (showTagChip && m.tagId > 0) {
        tagChip->setText(tagName.isEmpty() ? QStringLiteral("标签") : tagName);
        setSheet(tagChip, QStringLiteral("background:%1;color:%2;border:1px solid %3;font-size:12px;padding:0 6px;")
                              .arg(hexOf("selectBg"), hexOf("primaryText"), hexOf("border")));
        setShown(tagChip, !compact);
    } else {
        setShown(tagChip, false);
    }

    header->setText(
        QStringLiteral(
            "<b style=\"color:%1;font-size:16px;\">%2</b> <span style=\"color:%3;font-size:12px;\">%4</span>")
            .arg(hexOf("primaryText"), m.senderName.toHtmlEscaped(), hexOf("textMuted"),
                 QDateTime::fromMSecsSinceEpoch(m.createdAt).toString(QStringLiteral("HH:mm"))));

    renderBody();
    buildAttachments();
    updateAvatar();
    layoutChanged();
}

void ChatMessageRow::showMessage(const Message &m, bool isCompact, const QString &tagName)
{
    messageId = m.id;
    revealedSpoilers.clear();
    hoveredLink.clear();
    hotLooseHref.clear();
    looseLinksShown = false;
    compact = isCompact;
    afterDivider = false;
    applyMessage(m, tagName);
    setCompact(isCompact);
}

void ChatMessageRow::renderBody()
{
    if (message.hidden) {
        body->setText(
            QStringLiteral("<span style=\"color:%1;font-size:16px;\">（消息被隐藏）</span>").arg(hexOf("textFaint")));
        layoutChanged();
        return;
    }
    QString html;
    if (!message.title.isEmpty())
        html += QStringLiteral("<div style=\"font-size:17px;font-weight:bold;\">%1</div>")
                    .arg(message.title.toHtmlEscaped());
    html += QStringLiteral("<div style=\"font-size:16px;\">%1</div>")
                .arg(renderMarkdown(message.content, &revealedSpoilers, hotLooseHref, looseLinksShown));
    body->setText(html);
    layoutChanged();
}

void ChatMessageRow::restoreRevealed(const QSet<int> &spoilers)
{
    revealedSpoilers = spoilers;
    renderBody();
}

void ChatMessageRow::setCompact(bool value)
{
    compact = value;
    setShown(header, !compact);
    setShown(tagChip, showTagChip && !compact && tagId >= 1);
    applyMargins();
    updateAvatar();
    layoutChanged();
}

void ChatMessageRow::setAfterDivider(bool value)
{
    afterDivider = value;
    applyMargins();
}

void ChatMessageRow::layoutChanged()
{
    // A change of a child reaches only the row's own layout at once; the nested ones keep
    // their measures until the row is laid out again, which a hidden row (one kept to be
    // used again) or one measured right away (the feed's list) does not wait for.
    headerLayout->invalidate();
    columnLayout->invalidate();
}

void ChatMessageRow::applyMargins()
{
    const int top = (compact || afterDivider) ? kTightTopMargin : kFullTopMargin;
    layout()->setContentsMargins(16, top, 16, 0);
}

void ChatMessageRow::setTagChipText(const QString &text)
{
    tagChip->setText(text);
    layoutChanged();
}

QSize ChatMessageRow::thumbnailSize(const ChatAttachment &attachment, int count)
{
    const QSize box = count == 1 ? kSingleBox : kGridBox;
    if (attachment.width <= 0 || attachment.height <= 0)
        return box;
    QSize size(attachment.width, attachment.height);
    if (size.width() > box.width() || size.height() > box.height())
        size.scale(box, Qt::KeepAspectRatio);
    return size;
}

void ChatMessageRow::buildAttachments()
{
    while (QLayoutItem *item = thumbGrid->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    thumbnails.clear();
    if (message.hidden || message.attachments.isEmpty()) {
        setShown(thumbArea, false);
        layoutChanged();
        return;
    }
    setShown(thumbArea, true);
    const int count = int(message.attachments.size());
    const QString style = QStringLiteral("background:%1;border:1px solid %2;").arg(hexOf("fillHover"), hexOf("border"));
    for (int i = 0; i < count; ++i) {
        const ChatAttachment &attachment = message.attachments.at(i);
        const QSize size = thumbnailSize(attachment, count);
        auto *label = new QLabel(thumbArea);
        label->setFixedSize(size);
        label->setAlignment(Qt::AlignCenter);
        label->setCursor(Qt::PointingHandCursor);
        label->setStyleSheet(style);
        label->installEventFilter(this);
        thumbnails.append(label);
        thumbGrid->addWidget(label, i / 2, i % 2, Qt::AlignLeft);
        if (loadThumbnail)
            loadThumbnail(label, attachment, size);
    }
    thumbArea->updateGeometry();
    layoutChanged();
}

void ChatMessageRow::updateAvatar()
{
    if (compact) {
        avatar->clear();
        setSheet(avatar, QString());
        avatar->setFixedSize(kAvatarSize, 0);
    } else {
        avatar->setFixedSize(kAvatarSize, kAvatarSize);
        avatar->setText(avatarLetter);
        setSheet(avatar, avatarStyle);
    }
}

void ChatMessageRow::onLinkActivated(const QString &href)
{
    if (href.startsWith(QLatin1String("spoiler:"))) {
        revealedSpoilers.insert(href.mid(8).toInt());
        renderBody();
        return;
    }
    promptForLink(href, body);
}

void ChatMessageRow::promptForLink(const QString &href, QWidget *from)
{
    QPointer<QWidget> window = from->window();
    QTimer::singleShot(0, window, [href, window] {
        if (window)
            confirmOpenExternalLink(href, window);
    });
}

void ChatMessageRow::onLinkHovered(const QString &href)
{
    hoveredLink = href;
    refreshLooseLinks();
}

void ChatMessageRow::refreshLooseLinks()
{
    if (!containsLooseLink(message.content))
        return;
    const bool held = CtrlKeyWatcher::instance()->held();
    const QString hot = (held && hoveredLink.startsWith(QLatin1String("loose:"))) ? hoveredLink : QString();
    if (held == looseLinksShown && hot == hotLooseHref)
        return;
    looseLinksShown = held;
    hotLooseHref = hot;
    renderBody();
}

void ChatMessageRow::paintEvent(QPaintEvent *)
{
    if (!underMouse())
        return;
    QPainter painter(this);
    painter.fillRect(rect(), ThemePalette::color("fillHover"));
}

void ChatMessageRow::contextMenuEvent(QContextMenuEvent *event)
{
    QWidget *hit = childAt(event->pos());
    if (hit == tagChip && tagChip->isVisible() && tagId > 0) {
        if (onTagMenu)
            onTagMenu(tagId, event->globalPos());
    } else if (onMessageMenu) {
        onMessageMenu(messageId, event->globalPos());
    }
    event->accept();
}

bool ChatMessageRow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return QWidget::eventFilter(watched, event);
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (watched == tagChip) {
        if (mouse->button() == Qt::LeftButton) {
            if (onTagClicked)
                onTagClicked(tagId);
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    auto *label = qobject_cast<QLabel *>(watched);
    const int index = label ? int(thumbnails.indexOf(label)) : -1;
    if (index >= 0 && mouse->button() == Qt::LeftButton && index < message.attachments.size()) {
        if (onImageActivated)
            onImageActivated(message.attachments.at(index));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
