#include "ui/settings/room_member_pick_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

RoomMemberPickView::RoomMemberPickView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    list = new QListWidget(this);
    list->setProperty("boxed", true);
    list->setFocusPolicy(Qt::NoFocus);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    layout->addWidget(list, 1);
}

void RoomMemberPickView::setMembers(const QList<PickEntry> &members)
{
    entries = members;
    rebuild();
}

void RoomMemberPickView::setFilter(const QString &text)
{
    filterText = text.trimmed();
    applyFilter();
}

void RoomMemberPickView::rebuild()
{
    list->clear();
    for (const PickEntry &entry : entries) {
        auto *row = new QWidget;
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(8, 3, 8, 3);
        rowLayout->setSpacing(8);
        auto *texts = new QVBoxLayout;
        texts->setContentsMargins(0, 0, 0, 0);
        texts->setSpacing(0);
        auto *name = new QLabel(entry.displayName, row);
        name->setTextFormat(Qt::PlainText);
        texts->addWidget(name);
        auto *hint = new QLabel(QStringLiteral("%1 · %2").arg(entry.username, entry.roleName), row);
        hint->setTextFormat(Qt::PlainText);
        hint->setProperty("role", "hint");
        texts->addWidget(hint);
        rowLayout->addLayout(texts, 1);

        auto *button = new QPushButton(entry.picked ? QStringLiteral("移除") : QStringLiteral("添加"), row);
        button->setProperty("variant", entry.picked ? "linkDanger" : "outline");
        button->setCursor(Qt::PointingHandCursor);
        // Disabled until the next refill, so a double click asks only once.
        connect(button, &QPushButton::clicked, this, [this, button, userId = entry.userId, picked = entry.picked] {
            button->setEnabled(false);
            if (picked)
                emit removeRequested(userId);
            else
                emit addRequested(userId);
        });
        rowLayout->addWidget(button);

        auto *item = new QListWidgetItem(list);
        item->setSizeHint(QSize(0, 38));
        list->setItemWidget(item, row);
    }
    applyFilter();
}

void RoomMemberPickView::applyFilter()
{
    const int rows = std::min(list->count(), int(entries.size()));
    for (int i = 0; i < rows; ++i) {
        const PickEntry &entry = entries.at(i);
        const bool shown = filterText.isEmpty() || entry.displayName.contains(filterText, Qt::CaseInsensitive)
                           || entry.userId.contains(filterText, Qt::CaseInsensitive);
        list->item(i)->setHidden(!shown);
    }
}
