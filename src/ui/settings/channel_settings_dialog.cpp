#include "ui/settings/channel_settings_dialog.h"

#include "ui/settings/permission_catalog.h"
#include "ui/settings/room_delete_view.h"
#include "ui/settings/room_members_view.h"
#include "ui/settings/room_perms_view.h"
#include "ui/widgets/underline_tab_bar.h"

#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

ChannelSettingsDialog::ChannelSettingsDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("频道设置"));
    setModal(true);
    setMinimumWidth(516);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tabs = new UnderlineTabBar(this);
    tabs->addTab(QStringLiteral("设置"));
    tabs->addTab(QStringLiteral("成员"));
    tabs->addTab(QStringLiteral("权限"));
    tabs->addTab(QStringLiteral("删除频道"), true);
    layout->addWidget(tabs);

    baseView = new ChannelBaseSettingsView(this);
    membersView = new RoomMembersView(this);
    permsView = new RoomPermsView(this);
    permsView->setCatalog(kChannelPermissionGroups, kChannelPermissionGroupCount, kChannelOwnerOnlyPermissions,
                          kChannelOwnerOnlyPermissionCount, QString::fromUtf8(kChannelOwnerNote));
    deleteView = new RoomDeleteView(RoomDeleteView::channelTexts(), this);
    deleteView->confirmButton()->setEnabled(true);

    stack = new QStackedWidget(this);
    stack->addWidget(baseView);
    stack->addWidget(membersView);
    stack->addWidget(permsView);
    stack->addWidget(deleteView);
    layout->addWidget(stack, 1);
    connect(tabs, &UnderlineTabBar::currentChanged, stack, &QStackedWidget::setCurrentIndex);
    stack->setCurrentIndex(0);

    connect(baseView, &ChannelBaseSettingsView::settingsSaved, this, &ChannelSettingsDialog::settingsSaved);
    connect(baseView, &ChannelBaseSettingsView::codeToggleRequested, this, &ChannelSettingsDialog::codeToggleRequested);
    connect(membersView, &RoomMembersView::memberRoleChanged, this, &ChannelSettingsDialog::memberRoleChanged);
    connect(membersView, &RoomMembersView::memberRoleBatchReassignRequested, this,
            &ChannelSettingsDialog::memberRoleBatchReassignRequested);
    connect(permsView, &RoomPermsView::roleCreateRequested, this, &ChannelSettingsDialog::roleCreateRequested);
    connect(permsView, &RoomPermsView::roleRenameRequested, this, &ChannelSettingsDialog::roleRenameRequested);
    connect(permsView, &RoomPermsView::rolePermissionsSaved, this, &ChannelSettingsDialog::rolePermissionsSaved);
    connect(permsView, &RoomPermsView::roleDeleteRequested, this, &ChannelSettingsDialog::roleDeleteRequested);
    connect(permsView, &RoomPermsView::rolesReordered, this, &ChannelSettingsDialog::rolesReordered);
    connect(deleteView, &RoomDeleteView::roomDeleteRequested, this, &ChannelSettingsDialog::channelDeleteRequested);
}

void ChannelSettingsDialog::setPermissions(const Permissions &p)
{
    baseView->setPermissions(p.changeName, p.changeDescription, p.manageCode);
    membersView->setEditRights(p.assignRoles, p.manageRoles);
    permsView->setCanManage(p.manageRoles);
}

void ChannelSettingsDialog::setDeleteEnabled(bool enabled)
{
    deleteView->confirmButton()->setEnabled(enabled);
}

void ChannelSettingsDialog::setChannel(const ChannelBaseSettingsView::Values &values)
{
    baseView->setValues(values);
}

void ChannelSettingsDialog::setMembers(const QList<MemberEntry> &members)
{
    membersView->setMembers(members);
}

void ChannelSettingsDialog::setRoles(const QList<RoleEntry> &roles)
{
    membersView->setRoles(roles);
    permsView->setRoles(roles);
}
