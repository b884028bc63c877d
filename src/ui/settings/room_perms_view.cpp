#include "ui/settings/room_perms_view.h"

#include "theme/theme_palette.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

constexpr int kRoleIdRole = Qt::UserRole + 1;
constexpr int kIsMineRole = Qt::UserRole + 2;

// Frames the viewer's own role in the primary colour.
class SelfFrameDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!index.data(kIsMineRole).toBool())
            return;
        painter->save();
        painter->setPen(QPen(ThemePalette::color("primary"), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

QString permText(const char *label)
{
    return QCoreApplication::translate("perm", label);
}

void emptyLayout(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->deleteLater();
        } else if (QLayout *nested = item->layout()) {
            emptyLayout(nested);
            delete nested;
            continue;
        }
        delete item;
    }
}

} // namespace

RoomPermsView::RoomPermsView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *rail = new QWidget(this);
    rail->setObjectName(QStringLiteral("permRail"));
    rail->setFixedWidth(150);
    rail->setStyleSheet(
        QStringLiteral("#permRail{background:%1;border-right:1px solid %2;}")
            .arg(QLatin1String(ThemePalette::hex("panelBg")), QLatin1String(ThemePalette::hex("border"))));
    auto *railLayout = new QVBoxLayout(rail);
    railLayout->setContentsMargins(8, 8, 8, 8);
    railLayout->setSpacing(2);

    auto *ownerHeader = new QWidget(rail);
    auto *ownerLayout = new QHBoxLayout(ownerHeader);
    ownerLayout->setContentsMargins(6, 6, 6, 6);
    ownerLayout->setSpacing(6);
    ownerName = new QLabel(ownerHeader);
    ownerName->setTextFormat(Qt::PlainText);
    ownerName->setStyleSheet(QStringLiteral("font-weight:700;"));
    auto *locked = new QLabel(QStringLiteral("锁定"), ownerHeader);
    locked->setStyleSheet(
        QStringLiteral("color:%1; font-size:10px; border:1px solid %2; padding:0 3px;")
            .arg(QLatin1String(ThemePalette::hex("textSub")), QLatin1String(ThemePalette::hex("border"))));
    ownerLayout->addWidget(ownerName);
    ownerLayout->addWidget(locked);
    ownerLayout->addStretch();
    railLayout->addWidget(ownerHeader);

    auto *dragHint = new QLabel(QStringLiteral("可拖排序"), rail);
    dragHint->setAlignment(Qt::AlignCenter);
    dragHint->setStyleSheet(QStringLiteral("color:%1; font-size:10px; font-weight:700; padding:4px 0;")
                                .arg(QLatin1String(ThemePalette::hex("textMuted"))));
    railLayout->addWidget(dragHint);
    auto *levelHint = new QLabel(QStringLiteral("身份排序影响权限等级"), rail);
    levelHint->setAlignment(Qt::AlignCenter);
    levelHint->setWordWrap(true);
    levelHint->setStyleSheet(
        QStringLiteral("color:%1; font-size:10px;").arg(QLatin1String(ThemePalette::hex("textMuted"))));
    railLayout->addWidget(levelHint);

    rolesList = new QListWidget(rail);
    rolesList->setObjectName(QStringLiteral("rolesList"));
    rolesList->setFrameShape(QFrame::NoFrame);
    rolesList->setStyleSheet(
        QStringLiteral("QListWidget{background:transparent;}QListWidget::item:selected{background:%1;color:%2;}")
            .arg(QLatin1String(ThemePalette::hex("selectBg")), QLatin1String(ThemePalette::hex("text"))));
    rolesList->setItemDelegate(new SelfFrameDelegate(rolesList));
    railLayout->addWidget(rolesList, 1);

    newRole = new QPushButton(QStringLiteral("＋ 新建身份"), rail);
    newRole->setFixedHeight(28);
    railLayout->addWidget(newRole);
    layout->addWidget(rail);

    auto *detail = new QWidget(this);
    auto *detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(14, 12, 14, 12);
    detailLayout->setSpacing(4);
    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    title = new QLabel(detail);
    title->setTextFormat(Qt::PlainText);
    title->setStyleSheet(QStringLiteral("font-weight:700; font-size:13.5px;"));
    memberCount = new QLabel(detail);
    memberCount->setProperty("role", "hint");
    rename = new QPushButton(QStringLiteral("重命名"), detail);
    rename->setProperty("variant", "link");
    remove = new QPushButton(QStringLiteral("删除"), detail);
    remove->setProperty("variant", "linkDanger");
    for (QPushButton *link : {rename, remove}) {
        QSizePolicy policy = link->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        link->setSizePolicy(policy);
    }
    header->addWidget(title);
    header->addWidget(memberCount);
    header->addStretch();
    header->addWidget(rename);
    header->addWidget(remove);
    detailLayout->addLayout(header);

    auto *scroll = new QScrollArea(detail);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setStyleSheet(QStringLiteral("QScrollArea{background:transparent;}"));
    grid = new QWidget;
    grid->setStyleSheet(QStringLiteral("background:transparent;"));
    gridLayout = new QVBoxLayout(grid);
    gridLayout->setContentsMargins(0, 6, 6, 0);
    gridLayout->setSpacing(2);
    scroll->setWidget(grid);
    detailLayout->addWidget(scroll, 1);
    layout->addWidget(detail, 1);

    connect(newRole, &QPushButton::clicked, this, &RoomPermsView::createRole);
    connect(rename, &QPushButton::clicked, this, &RoomPermsView::renameRole);
    connect(remove, &QPushButton::clicked, this, &RoomPermsView::deleteRole);
    connect(rolesList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem *current) {
        if (current)
            showRole(current->data(kRoleIdRole).toLongLong());
    });
    connect(rolesList->model(), &QAbstractItemModel::rowsMoved, this, &RoomPermsView::reportOrder);

    rebuildRail();
}

void RoomPermsView::setRoles(const QList<RoleEntry> &value)
{
    // Refilled after every change of the room and every name resolved: an equal list
    // leaves the rail, the grid and a just-toggled box alone.
    if (value == roles)
        return;
    roles = value;
    rebuildRail();
    showRole(selectedId);
}

void RoomPermsView::setCanManage(bool value)
{
    if (value == canManage)
        return;
    canManage = value;
    rebuildRail();
}

void RoomPermsView::setCatalog(const PermissionGroup *groupTable, int groupTableCount,
                               const PermissionDef *ownerOnlyTable, int ownerOnlyTableCount, const QString &note)
{
    groups = groupTable;
    groupCount = groupTableCount;
    ownerOnly = ownerOnlyTable;
    ownerOnlyCount = ownerOnlyTableCount;
    ownerNote = note;
    showRole(selectedId);
}

const RoleEntry *RoomPermsView::roleById(qint64 id) const
{
    if (id == 0)
        return nullptr;
    for (const RoleEntry &role : roles) {
        if (role.id == id)
            return &role;
    }
    return nullptr;
}

void RoomPermsView::rebuildRail()
{
    const qint64 remembered = selectedId;
    {
        // Clearing moves the current item; that must not show a role half-way.
        const QSignalBlocker blocker(rolesList);
        rolesList->clear();
    }
    rolesList->setDragDropMode(canManage ? QAbstractItemView::InternalMove : QAbstractItemView::NoDragDrop);
    newRole->setVisible(canManage);

    QString owner;
    bool haveOwner = false;
    for (const RoleEntry &role : std::as_const(roles)) {
        if (role.isOwnerRole) {
            if (!haveOwner) {
                owner = role.name;
                haveOwner = true;
            }
            continue;
        }
        const QString name = role.isDefault ? role.name + QStringLiteral("  · 默认") : role.name;
        const QString text = (role.editable && canManage)
                                 ? QStringLiteral("⠿  %1   (%2)").arg(name).arg(role.memberCount)
                                 : QStringLiteral("%1   (%2)").arg(name).arg(role.memberCount);
        auto *item = new QListWidgetItem(text, rolesList);
        item->setData(kRoleIdRole, QVariant::fromValue<qint64>(role.id));
        item->setData(kIsMineRole, role.isMine);
        if (!role.editable) {
            item->setForeground(ThemePalette::color("textFaint"));
            item->setFlags(item->flags() & ~Qt::ItemIsDragEnabled);
        }
    }
    ownerName->setText(haveOwner ? owner : QStringLiteral("房主"));

    if (rolesList->count() == 0) {
        showRole(0);
        return;
    }
    int row = 0;
    for (int i = 0; i < rolesList->count(); ++i) {
        if (rolesList->item(i)->data(kRoleIdRole).toLongLong() == remembered) {
            row = i;
            break;
        }
    }
    rolesList->setCurrentRow(row);
}

void RoomPermsView::showRole(qint64 roleId)
{
    selectedId = roleId;
    const RoleEntry *role = roleById(roleId);
    const bool editableHere = role && role->editable && canManage;

    title->setText(role ? role->name + QStringLiteral(" · 权限") : QString());
    memberCount->setText(role ? QStringLiteral("%1 人").arg(role->memberCount) : QString());
    rename->setVisible(editableHere);
    remove->setVisible(editableHere);
    // A toggle the server has not answered yet stays as the user left it while the role's
    // keys are still those it was made on; any change of them is the answer.
    const bool keepPending = role && pendingRoleId == role->id && pendingBase == role->permKeys;
    if (!keepPending) {
        pendingRoleId = 0;
        pendingBase.clear();
        working = role ? QSet<QString>(role->permKeys.cbegin(), role->permKeys.cend()) : QSet<QString>();
    }

    clearGrid();
    if (!role)
        return;

    for (int g = 0; g < groupCount; ++g) {
        const PermissionGroup &group = groups[g];
        auto *groupLabel = new QLabel(QStringLiteral("%1 (%2)").arg(permText(group.label)).arg(group.count), grid);
        groupLabel->setStyleSheet(QStringLiteral("color:%1; font-size:11px; font-weight:700; margin-top:8px;")
                                      .arg(QLatin1String(ThemePalette::hex("textSub"))));
        gridLayout->addWidget(groupLabel);
        auto *boxes = new QGridLayout;
        boxes->setContentsMargins(0, 0, 0, 0);
        boxes->setHorizontalSpacing(10);
        boxes->setVerticalSpacing(4);
        for (std::size_t j = 0; j < group.count; ++j) {
            const PermissionDef &def = group.defs[j];
            const QString key = QString::fromUtf8(def.key);
            auto *box = new QCheckBox(permText(def.label), grid);
            box->setChecked(working.contains(key));
            box->setEnabled(editableHere);
            connect(box, &QCheckBox::toggled, this, [this, key](bool checked) { savePermission(key, checked); });
            boxes->addWidget(box, int(j / 2), int(j % 2));
        }
        gridLayout->addLayout(boxes);
    }

    QStringList reserved;
    for (int i = 0; i < ownerOnlyCount; ++i)
        reserved.append(permText(ownerOnly[i].label));
    auto *note = new QLabel(reserved.join(QStringLiteral(" / ")) + ownerNote, grid);
    note->setProperty("role", "hint");
    note->setWordWrap(true);
    auto *noteLayout = new QVBoxLayout;
    noteLayout->setContentsMargins(0, 10, 0, 0);
    noteLayout->addWidget(note);
    gridLayout->addLayout(noteLayout);
    gridLayout->addStretch();
}

void RoomPermsView::clearGrid()
{
    emptyLayout(gridLayout);
}

void RoomPermsView::savePermission(const QString &key, bool checked)
{
    if (const RoleEntry *role = roleById(selectedId); role && pendingRoleId != role->id) {
        pendingRoleId = role->id;
        pendingBase = role->permKeys;
    }
    if (checked)
        working.insert(key);
    else
        working.remove(key);
    emit rolePermissionsSaved(selectedId, QStringList(working.cbegin(), working.cend()));
}

void RoomPermsView::createRole()
{
    // The settings dialog may close for good while the name is asked for.
    QPointer<RoomPermsView> self = this;
    bool ok = false;
    const QString text = QInputDialog::getText(this, QStringLiteral("新建身份"), QStringLiteral("身份名称"),
                                               QLineEdit::Normal, QString(), &ok)
                             .trimmed();
    if (self && ok && !text.isEmpty())
        emit roleCreateRequested(text);
}

void RoomPermsView::renameRole()
{
    const RoleEntry *role = roleById(selectedId);
    if (!role)
        return;
    const qint64 id = role->id;
    const QString current = role->name;
    bool ok = false;
    QPointer<RoomPermsView> self = this;
    const QString text = QInputDialog::getText(this, QStringLiteral("重命名身份"), QStringLiteral("新名称"),
                                               QLineEdit::Normal, current, &ok)
                             .trimmed();
    if (self && ok && !text.isEmpty() && text != current)
        emit roleRenameRequested(id, text);
}

void RoomPermsView::deleteRole()
{
    if (selectedId != 0)
        emit roleDeleteRequested(selectedId);
}

void RoomPermsView::reportOrder()
{
    QList<qint64> ids;
    for (int i = 0; i < rolesList->count(); ++i) {
        const qint64 id = rolesList->item(i)->data(kRoleIdRole).toLongLong();
        const RoleEntry *role = roleById(id);
        if (role && role->editable)
            ids.append(id);
    }
    emit rolesReordered(ids);
}
