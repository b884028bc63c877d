#include "ui/settings/pref_member_list_view.h"

#include "theme/theme_palette.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

QLabel *makeInitialBadge(const QString &name, QWidget *parent)
{
    // A name that opens with a character outside the basic plane (most emoji) keeps both
    // halves of its surrogate pair: half a pair draws as a replacement box.
    QString initial = QStringLiteral("?");
    if (!name.isEmpty())
        initial = (name.at(0).isHighSurrogate() && name.size() > 1 && name.at(1).isLowSurrogate()) ? name.left(2)
                                                                                                   : name.left(1);
    auto *badge = new QLabel(initial, parent);
    badge->setTextFormat(Qt::PlainText);
    badge->setFixedSize(26, 26);
    badge->setAlignment(Qt::AlignCenter);
    badge->setStyleSheet(
        QStringLiteral("background:%1; color:%2; font-weight:700; font-size:12px;")
            .arg(QLatin1String(ThemePalette::hex("selectBg")), QLatin1String(ThemePalette::hex("primaryText"))));
    return badge;
}

PrefMemberListView::PrefMemberListView(QWidget *parent)
    : QWidget(parent)
    , groupName(QStringLiteral("当前偏好组"))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    auto *header = new QHBoxLayout;
    headerLabel = new QLabel(this);
    headerLabel->setProperty("role", "value");
    statusBadge = new QLabel(this);
    statusBadge->hide();
    addButton = new QPushButton(QStringLiteral("＋ 添加成员"), this);
    addButton->setProperty("variant", "primary");
    addButton->setProperty("compact", true);
    connect(addButton, &QPushButton::clicked, this, &PrefMemberListView::addRequested);
    header->addWidget(headerLabel);
    header->addWidget(statusBadge);
    header->addStretch();
    header->addWidget(addButton);
    layout->addLayout(header);

    hintLabel = new QLabel(this);
    hintLabel->setProperty("role", "hint");
    hintLabel->hide();
    layout->addWidget(hintLabel);

    list = new QListWidget(this);
    list->setFrameShape(QFrame::NoFrame);
    layout->addWidget(list, 1);

    rebuild();
}

void PrefMemberListView::setGroup(const QString &name, const QString &hint)
{
    groupName = name;
    hintLabel->setText(hint);
    hintLabel->setVisible(!hint.isEmpty());
    rebuild();
}

void PrefMemberListView::setEditable(bool value)
{
    editable = value;
    rebuild();
}

void PrefMemberListView::setMembers(const QList<PrefMemberEntry> &members)
{
    // Refilled after every change of the room: equal rows keep their widgets and the
    // list its scroll position.
    if (members == entries && list->count() == members.size())
        return;
    entries = members;
    rebuild();
}

void PrefMemberListView::setStatus(const QString &text, bool active)
{
    statusBadge->setText(text);
    statusBadge->setVisible(true);
    statusBadge->setStyleSheet(
        QStringLiteral("border:1px solid %1; color:%2; font-size:11px; font-weight:700; padding:1px 6px;")
            .arg(QLatin1String(ThemePalette::hex(active ? "primary" : "border")),
                 QLatin1String(ThemePalette::hex(active ? "primaryText" : "textSub"))));
}

void PrefMemberListView::rebuild()
{
    headerLabel->setText(QStringLiteral("%1 · %2 人").arg(groupName).arg(entries.size()));
    addButton->setVisible(editable);
    list->clear();
    for (const PrefMemberEntry &entry : std::as_const(entries)) {
        auto *item = new QListWidgetItem(list);
        item->setSizeHint(QSize(0, 40));
        auto *row = new QWidget;
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(4, 4, 4, 4);
        rowLayout->setSpacing(8);
        rowLayout->addWidget(makeInitialBadge(entry.displayName, row));
        auto *name = new QLabel(entry.displayName, row);
        name->setTextFormat(Qt::PlainText);
        name->setProperty("role", "value");
        rowLayout->addWidget(name);
        auto *username = new QLabel(entry.username, row);
        username->setTextFormat(Qt::PlainText);
        username->setProperty("role", "hint");
        rowLayout->addWidget(username);
        rowLayout->addStretch();
        if (editable) {
            auto *remove = new QPushButton(QStringLiteral("移除"), row);
            remove->setProperty("variant", "danger");
            remove->setProperty("compact", true);
            const QString userId = entry.userId;
            connect(remove, &QPushButton::clicked, this, [this, userId] { emit removeRequested(userId); });
            rowLayout->addWidget(remove);
        }
        list->setItemWidget(item, row);
    }
}
