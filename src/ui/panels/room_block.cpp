#include "ui/panels/room_block.h"

#include "theme/theme_palette.h"
#include "ui/panels/block_style.h"
#include "ui/panels/member_list.h"
#include "ui/panels/member_row.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace blocks {

QPushButton *makeFoldButton(int rowHeight, QWidget *parent)
{
    auto *button = new QPushButton(QStringLiteral("+"), parent);
    button->setProperty("role", QStringLiteral("fold"));
    button->setFixedSize(10, rowHeight);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

RoomBlock::RoomBlock(int rowHeight_, QObject *eventTarget_, QWidget *parent)
    : QWidget(parent)
    , rowHeight(rowHeight_)
    , eventTarget(eventTarget_)
{
    auto *blockLayout = new QVBoxLayout(this);
    blockLayout->setContentsMargins(0, 0, 0, 0);
    blockLayout->setSpacing(2);

    headerFrame = new QFrame(this);
    headerFrame->setFixedHeight(rowHeight);
    headerFrame->setProperty("vcRow", true);
    headerFrame->setProperty("hoverable", true);
    auto *headerLayout = new QHBoxLayout(headerFrame);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(4);
    fold = makeFoldButton(rowHeight, headerFrame);
    connect(fold, &QPushButton::clicked, this, &RoomBlock::toggleFold);
    headerLayout->addWidget(fold);
    dot = new QLabel(QStringLiteral("\u25CF"), headerFrame);
    dot->setAlignment(Qt::AlignCenter);
    dot->setFixedWidth(12);
    dot->hide();
    headerLayout->addWidget(dot);
    tagBox = new QWidget(headerFrame);
    tagLayout = new QHBoxLayout(tagBox);
    tagLayout->setContentsMargins(0, 0, 0, 0);
    tagLayout->setSpacing(4);
    headerLayout->addWidget(tagBox);
    title = new QLabel(headerFrame);
    title->setTextFormat(Qt::PlainText);
    headerLayout->addWidget(title, 1);
    blockLayout->addWidget(headerFrame);

    // Filters run last-installed first, so the panel sees the header's events before us.
    headerFrame->installEventFilter(this);
    if (eventTarget)
        headerFrame->installEventFilter(eventTarget);

    memberBox = new MemberList(rowHeight, eventTarget, this);
    blockLayout->addWidget(memberBox);
    memberBox->hide();
}

QWidget *RoomBlock::memberContainer() const
{
    return memberBox;
}

const QList<MemberRow *> &RoomBlock::memberRows() const
{
    return memberBox->rows();
}

void RoomBlock::updateVisibleRows()
{
    memberBox->syncRows();
}

// The member list does not hear of its block moving (a fold above it, a new order).
void RoomBlock::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    memberBox->syncRows();
}

void RoomBlock::setData(const RoomBlockData &d)
{
    if (!hasData || d.expanded != lastProposedExpanded) {
        userOverride = false;
        lastProposedExpanded = d.expanded;
    }
    const bool headerSame = hasData && d.roomId == blockData.roomId && d.title == blockData.title
                            && d.memberCount == blockData.memberCount && d.tags == blockData.tags
                            && d.bold == blockData.bold && d.statusDot == blockData.statusDot
                            && d.draggable == blockData.draggable;
    const bool membersSame = hasData && d.members == blockData.members;
    blockData = d;
    hasData = true;
    if (!headerSame)
        updateHeader();
    if (!membersSame)
        updateMembers();
    applyFold();
}

void RoomBlock::updateHeader()
{
    headerFrame->setProperty("vcRoomId", blockData.roomId);
    headerFrame->setProperty("vcDraggable", blockData.draggable);

    dot->setVisible(blockData.statusDot != 0);
    if (blockData.statusDot != 0)
        applyStyle(dot, dotStyle(blockData.statusDot));

    QStringList shownTags;
    shownTags.reserve(tags.size());
    for (const QLabel *tag : std::as_const(tags))
        shownTags.append(tag->text());
    if (shownTags != blockData.tags) {
        qDeleteAll(tags);
        tags.clear();
        const QString tagStyle = QStringLiteral("border: 1px solid %1; color: %1; font-size: 10px; padding: 0px 3px;")
                                     .arg(QLatin1String(ThemePalette::hex("textFaint")));
        for (const QString &text : std::as_const(blockData.tags)) {
            auto *tag = new QLabel(text, tagBox);
            tag->setStyleSheet(tagStyle);
            tagLayout->addWidget(tag, 0, Qt::AlignVCenter);
            tags.append(tag);
        }
    }
    tagBox->setVisible(!blockData.tags.isEmpty());

    // Concatenated rather than filled in, so that a "%1" in a room's title stays as typed.
    const QString titleText =
        blockData.title + QStringLiteral(" (") + QString::number(blockData.memberCount) + QLatin1Char(')');
    if (title->text() != titleText)
        title->setText(titleText);
    applyStyle(title, QStringLiteral("color: %1; font-size: 13px;%2")
                          .arg(QLatin1String(ThemePalette::hex("text")),
                               blockData.bold ? QStringLiteral(" font-weight: bold;") : QString()));
}

void RoomBlock::updateMembers()
{
    memberBox->setMembers(blockData.members);
}

bool RoomBlock::isExpanded() const
{
    return userOverride ? userExpanded : blockData.expanded;
}

void RoomBlock::applyFold()
{
    const bool expanded = isExpanded();
    const QString foldText = expanded ? QStringLiteral("-") : QStringLiteral("+");
    if (fold->text() != foldText)
        fold->setText(foldText);
    memberBox->setVisible(expanded && !blockData.members.isEmpty());
}

void RoomBlock::toggleFold()
{
    userExpanded = !isExpanded();
    userOverride = true;
    applyFold();
}

void RoomBlock::setRowDrag(const QString &channelId, bool enabled)
{
    headerFrame->setProperty("vcRowDrag", enabled);
    headerFrame->setProperty("vcRowChannel", channelId);
}

bool RoomBlock::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == headerFrame && event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        emit titleDoubleClicked(blockData.roomId);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace blocks
