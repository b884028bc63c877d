#include "ui/settings/room_members_view.h"

#include "theme/theme_palette.h"
#include "ui/settings/pref_member_list_view.h"
#include "ui/widgets/segmented_control.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

RoomMembersView::RoomMembersView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 14, 18, 12);
    layout->setSpacing(8);

    search = new QLineEdit(this);
    search->setPlaceholderText(QStringLiteral("搜索昵称或 ID"));
    search->setFixedHeight(31);
    layout->addWidget(search);

    auto *filterBar = new QWidget(this);
    filterLayout = new QHBoxLayout(filterBar);
    filterLayout->setContentsMargins(0, 0, 0, 0);
    filterLayout->setSpacing(0);
    layout->addWidget(filterBar);

    list = new QListWidget(this);
    list->setFrameShape(QFrame::NoFrame);
    layout->addWidget(list, 1);

    batch = new QWidget(this);
    batch->setObjectName(QStringLiteral("batchBar"));
    batch->setStyleSheet(
        QStringLiteral("#batchBar{background:%1;border:1px solid %2;}")
            .arg(QLatin1String(ThemePalette::hex("overlayBg")), QLatin1String(ThemePalette::hex("borderFaint"))));
    auto *batchLayout = new QHBoxLayout(batch);
    batchLayout->setContentsMargins(10, 7, 10, 7);
    batchLayout->setSpacing(8);
    batchLayout->addWidget(new QLabel(QStringLiteral("批量: 将"), batch));
    sourceCombo = new QComboBox(batch);
    sourceCombo->setFixedHeight(27);
    batchLayout->addWidget(sourceCombo);
    batchLayout->addWidget(new QLabel(QStringLiteral("的全部成员改为"), batch));
    targetCombo = new QComboBox(batch);
    targetCombo->setFixedHeight(27);
    batchLayout->addWidget(targetCombo);
    batchLayout->addStretch();
    apply = new QPushButton(batch);
    apply->setProperty("variant", "primary");
    apply->setProperty("compact", true);
    apply->setFixedHeight(27);
    batchLayout->addWidget(apply);
    layout->addWidget(batch);

    connect(search, &QLineEdit::textChanged, this, &RoomMembersView::rebuildList);
    connect(sourceCombo, &QComboBox::activated, this, &RoomMembersView::refreshBatchBar);
    connect(apply, &QPushButton::clicked, this, &RoomMembersView::requestBatch);

    rebuildAll();
}

void RoomMembersView::setMembers(const QList<MemberEntry> &value)
{
    // The owner refills after every change of the room and every name resolved; an equal
    // list must leave the rows, the scroll position and an open role menu alone.
    if (value == members)
        return;
    members = value;
    rebuildAll();
}

void RoomMembersView::setRoles(const QList<RoleEntry> &value)
{
    if (value == roles)
        return;
    roles = value;
    rebuildAll();
}

void RoomMembersView::setEditRights(bool assign, bool batchReassign)
{
    if (assign == canAssign && batchReassign == canBatchReassign)
        return;
    canAssign = assign;
    canBatchReassign = batchReassign;
    rebuildAll();
}

void RoomMembersView::rebuildAll()
{
    rebuildFilterBar();
    rebuildList();
    refreshBatchBar();
}

QList<RoleEntry> RoomMembersView::visibleRoles() const
{
    QList<RoleEntry> visible;
    for (const RoleEntry &role : roles) {
        if (!role.isOwnerRole)
            visible.append(role);
    }
    return visible;
}

const RoleEntry *RoomMembersView::roleById(qint64 id) const
{
    for (const RoleEntry &role : roles) {
        if (role.id == id)
            return &role;
    }
    return nullptr;
}

void RoomMembersView::rebuildFilterBar()
{
    if (filter != QLatin1String("all")) {
        bool ok = false;
        const qint64 id = filter.toLongLong(&ok);
        if (!ok || !roleById(id))
            filter = QStringLiteral("all");
    }

    QList<QPair<QString, QString>> segments;
    segments.append({QStringLiteral("全部 %1").arg(members.size()), QStringLiteral("all")});
    for (const RoleEntry &role : visibleRoles())
        segments.append({QStringLiteral("%1 %2").arg(role.name).arg(role.memberCount), QString::number(role.id)});
    if (filterSegments && segments == shownSegments) {
        filterSegments->setValue(filter);
        return;
    }
    shownSegments = segments;

    while (QLayoutItem *item = filterLayout->takeAt(0)) {
        if (QWidget *widget = item->widget())
            widget->deleteLater();
        delete item;
    }
    filterSegments = new SegmentedControl(filterLayout->parentWidget());
    for (const auto &[label, value] : std::as_const(segments))
        filterSegments->addSegment(label, value);
    filterSegments->setValue(filter);
    connect(filterSegments, &SegmentedControl::valueChanged, this, [this](const QString &value) {
        filter = value;
        rebuildList();
    });
    filterLayout->addWidget(filterSegments);
    filterLayout->addStretch();
}

void RoomMembersView::rebuildList()
{
    const QString needle = search->text().trimmed();
    const qint64 filterId = filter == QLatin1String("all") ? 0 : filter.toLongLong();
    const QList<RoleEntry> visible = visibleRoles();
    const qint64 topId = visible.isEmpty() ? 0 : visible.first().id;

    QList<Row> wanted;
    for (const MemberEntry &member : std::as_const(members)) {
        if (filterId != 0 && filterId != member.roleId)
            continue;
        if (!needle.isEmpty() && !member.displayName.contains(needle, Qt::CaseInsensitive)
            && !member.username.contains(needle, Qt::CaseSensitive))
            continue;
        Row row;
        row.member = member;
        if (!member.isOwner) {
            const RoleEntry *role = roleById(member.roleId);
            row.roleName = role ? role->name : QStringLiteral("#%1").arg(member.roleId);
            row.top = topId != 0 && member.roleId == topId;
            row.enabled = canAssign;
        }
        wanted.append(row);
    }

    // Rows are matched by user id in order: an unchanged row keeps its widget (and an
    // open menu its button), a changed one gets a new widget, and only rows that moved,
    // came or went are taken out or put in.
    for (int i = 0; i < wanted.size(); ++i) {
        const Row &row = wanted.at(i);
        if (i < shownRows.size() && shownRows.at(i).member.userId != row.member.userId) {
            int later = -1;
            for (int j = i + 1; j < shownRows.size(); ++j) {
                if (shownRows.at(j).member.userId == row.member.userId) {
                    later = j;
                    break;
                }
            }
            if (later >= 0) {
                for (int j = i; j < later; ++j)
                    delete list->takeItem(i);
                shownRows.remove(i, later - i);
            }
        }
        if (i < shownRows.size() && shownRows.at(i).member.userId == row.member.userId) {
            if (!(shownRows.at(i) == row)) {
                list->setItemWidget(list->item(i), makeRow(row));
                shownRows[i] = row;
            }
            continue;
        }
        auto *item = new QListWidgetItem;
        item->setSizeHint(QSize(0, 40));
        list->insertItem(i, item);
        list->setItemWidget(item, makeRow(row));
        shownRows.insert(i, row);
    }
    while (list->count() > wanted.size())
        delete list->takeItem(list->count() - 1);
    shownRows.resize(wanted.size());
}

QWidget *RoomMembersView::makeRow(const Row &entry)
{
    const MemberEntry &member = entry.member;
    auto *row = new QWidget;
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(4, 4, 4, 4);
    rowLayout->setSpacing(8);
    rowLayout->addWidget(makeInitialBadge(member.displayName, row));
    // Names come from the server: shown as they are, never as markup.
    auto *name = new QLabel(member.displayName, row);
    name->setTextFormat(Qt::PlainText);
    name->setProperty("role", "value");
    rowLayout->addWidget(name);
    auto *username = new QLabel(member.username, row);
    username->setTextFormat(Qt::PlainText);
    username->setProperty("role", "hint");
    rowLayout->addWidget(username);
    rowLayout->addStretch();

    if (member.isOwner) {
        auto *tag = new QLabel(QStringLiteral("房主"), row);
        tag->setStyleSheet(QStringLiteral("color:%1; font-size:11px; font-weight:700;")
                               .arg(QLatin1String(ThemePalette::hex("dangerText"))));
        rowLayout->addWidget(tag);
        return row;
    }
    auto *button = new QPushButton(entry.roleName + QStringLiteral("  ▾"), row);
    button->setStyleSheet(QStringLiteral("QPushButton{background:none;border:1px solid %1;color:%2;font-size:11px;"
                                         "font-weight:600;padding:2px 7px;}")
                              .arg(QLatin1String(ThemePalette::hex(entry.top ? "primary" : "border")),
                                   QLatin1String(ThemePalette::hex(entry.top ? "primaryText" : "textSub"))));
    button->setEnabled(entry.enabled);
    const QString userId = member.userId;
    const qint64 currentRoleId = member.roleId;
    connect(button, &QPushButton::clicked, this,
            [this, button, userId, currentRoleId] { openRoleMenu(button, userId, currentRoleId); });
    rowLayout->addWidget(button);
    return row;
}

void RoomMembersView::openRoleMenu(QPushButton *button, const QString &userId, qint64 currentRoleId)
{
    // The menu belongs to the window, not to the row: a refill may replace the row (and
    // its button) while the menu is open. Should the window itself go, nothing is chosen.
    QPointer<RoomMembersView> self = this;
    QPointer<QMenu> menu = new QMenu(window());
    for (const RoleEntry &role : visibleRoles()) {
        QAction *action = menu->addAction(role.isDefault ? role.name + QStringLiteral(" · 默认") : role.name);
        action->setCheckable(true);
        action->setChecked(role.id == currentRoleId);
        action->setEnabled(role.editable);
        action->setData(role.id);
    }
    std::optional<qint64> chosenId;
    connect(menu, &QMenu::triggered, menu, [&chosenId](QAction *action) { chosenId = action->data().toLongLong(); });
    menu->exec(button->mapToGlobal(QPoint(0, button->height())));
    if (!menu || !self)
        return;
    menu->deleteLater();
    if (chosenId && *chosenId != currentRoleId)
        emit memberRoleChanged(userId, *chosenId);
}

void RoomMembersView::refreshBatchBar()
{
    batch->setVisible(canBatchReassign);

    QList<RoleEntry> candidates;
    for (const RoleEntry &role : visibleRoles()) {
        if (role.editable)
            candidates.append(role);
    }

    const qint64 rememberedSource = sourceCombo->currentData().toLongLong();
    sourceCombo->clear();
    for (const RoleEntry &role : std::as_const(candidates))
        sourceCombo->addItem(role.name, QVariant::fromValue<qint64>(role.id));
    if (rememberedSource != 0) {
        const int index = sourceCombo->findData(QVariant::fromValue<qint64>(rememberedSource));
        if (index >= 0)
            sourceCombo->setCurrentIndex(index);
    }

    const qint64 sourceId = sourceCombo->currentData().toLongLong();
    const qint64 rememberedTarget = targetCombo->currentData().toLongLong();
    targetCombo->clear();
    for (const RoleEntry &role : std::as_const(candidates)) {
        if (role.id != sourceId)
            targetCombo->addItem(role.name, QVariant::fromValue<qint64>(role.id));
    }
    if (rememberedTarget != 0 && rememberedTarget != sourceId) {
        const int index = targetCombo->findData(QVariant::fromValue<qint64>(rememberedTarget));
        if (index >= 0)
            targetCombo->setCurrentIndex(index);
    }

    const RoleEntry *source = roleById(sourceId);
    const int count = source ? source->memberCount : 0;
    apply->setText(QStringLiteral("执行 (%1 人)").arg(count));
    apply->setEnabled(count >= 1 && targetCombo->count() > 0);
}

void RoomMembersView::requestBatch()
{
    const qint64 sourceId = sourceCombo->currentData().toLongLong();
    const qint64 targetId = targetCombo->currentData().toLongLong();
    if (sourceId != 0 && targetId != 0 && sourceId != targetId)
        emit memberRoleBatchReassignRequested(sourceId, targetId);
}
