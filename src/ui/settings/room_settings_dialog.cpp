#include "ui/settings/room_settings_dialog.h"

#include "theme/theme_palette.h"
#include "ui/settings/pref_member_list_view.h"
#include "ui/settings/room_delete_view.h"
#include "ui/settings/room_members_view.h"
#include "ui/settings/room_perms_view.h"
#include "ui/widgets/underline_tab_bar.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

RoomSettingsDialog::RoomSettingsDialog(QWidget *parent, bool embedded)
    : QDialog(parent)
{
    if (embedded) {
        setWindowFlags(Qt::Widget);
    } else {
        setWindowTitle(QStringLiteral("房间设置"));
        setModal(true);
    }
    setMinimumWidth(516);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tabs = new UnderlineTabBar(this);
    for (const char *text : {"设置", "偏好组", "成员", "权限"})
        tabs->addTab(QString::fromUtf8(text));
    layout->addWidget(tabs);

    basePageView = new RoomBaseSettingsView(this);

    auto *prefPage = new QWidget(this);
    auto *prefLayout = new QVBoxLayout(prefPage);
    prefLayout->setContentsMargins(18, 14, 18, 12);
    prefLayout->setSpacing(8);
    prefListView = new PrefMemberListView(prefPage);
    prefLayout->addWidget(prefListView, 1);
    prefListView->setGroup(QStringLiteral("当前偏好组"),
                           QStringLiteral("偏好组启用后，列表内用户将能直接加入房间，无需申请"));

    membersView = new RoomMembersView(this);
    permsView = new RoomPermsView(this);

    stack = new QStackedWidget(this);
    stack->addWidget(basePageView);
    stack->addWidget(prefPage);
    stack->addWidget(membersView);
    stack->addWidget(permsView);
    layout->addWidget(stack, 1);
    connect(tabs, &UnderlineTabBar::currentChanged, stack, &QStackedWidget::setCurrentIndex);
    stack->setCurrentIndex(0);

    connect(basePageView, &RoomBaseSettingsView::settingsSaved, this, &RoomSettingsDialog::settingsSaved);
    connect(basePageView, &RoomBaseSettingsView::roomCodeToggleRequested, this,
            &RoomSettingsDialog::roomCodeToggleRequested);
    connect(basePageView, &RoomBaseSettingsView::moduleSelectRequested, this,
            &RoomSettingsDialog::moduleSelectRequested);
    connect(basePageView, &RoomBaseSettingsView::moduleDetachRequested, this,
            &RoomSettingsDialog::moduleDetachRequested);
    connect(basePageView, &RoomBaseSettingsView::tagSystemToggleRequested, this,
            &RoomSettingsDialog::tagSystemToggleRequested);
    // After the forward, so a click first leaves the dialog and then updates the status.
    connect(basePageView, &RoomBaseSettingsView::settingsSaved, this, &RoomSettingsDialog::refreshPrefStatus);
    connect(prefListView, &PrefMemberListView::addRequested, this, &RoomSettingsDialog::prefMemberAddRequested);
    connect(prefListView, &PrefMemberListView::removeRequested, this, &RoomSettingsDialog::prefMemberRemoveRequested);
    connect(membersView, &RoomMembersView::memberRoleChanged, this, &RoomSettingsDialog::memberRoleChanged);
    connect(membersView, &RoomMembersView::memberRoleBatchReassignRequested, this,
            &RoomSettingsDialog::memberRoleBatchReassignRequested);
    connect(permsView, &RoomPermsView::roleCreateRequested, this, &RoomSettingsDialog::roleCreateRequested);
    connect(permsView, &RoomPermsView::roleRenameRequested, this, &RoomSettingsDialog::roleRenameRequested);
    connect(permsView, &RoomPermsView::rolePermissionsSaved, this, &RoomSettingsDialog::rolePermissionsSaved);
    connect(permsView, &RoomPermsView::roleDeleteRequested, this, &RoomSettingsDialog::roleDeleteRequested);
    connect(permsView, &RoomPermsView::rolesReordered, this, &RoomSettingsDialog::rolesReordered);

    refreshPrefStatus();

    if (!embedded) {
        footerWidget = new QWidget(this);
        footerWidget->setObjectName(QStringLiteral("dlgFoot"));
        footerWidget->setStyleSheet(
            QStringLiteral("#dlgFoot{background:%1;border-top:1px solid %2;}")
                .arg(QLatin1String(ThemePalette::hex("panelBg")), QLatin1String(ThemePalette::hex("border"))));
        auto *footLayout = new QHBoxLayout(footerWidget);
        footLayout->setContentsMargins(16, 12, 16, 12);
        footLayout->setSpacing(10);
        auto *close = new QPushButton(QStringLiteral("关闭"), footerWidget);
        close->setFixedHeight(36);
        close->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(close, &QPushButton::clicked, this, &QDialog::accept);
        footLayout->addWidget(close);
        layout->addWidget(footerWidget);
    }
}

void RoomSettingsDialog::setSettings(const RoomBaseSettingsView::Values &values)
{
    if (!deleteView && values.isPersistent) {
        deleteView = new RoomDeleteView(RoomDeleteView::roomTexts(), this);
        deleteView->confirmButton()->setEnabled(deleteEnabled);
        connect(deleteView, &RoomDeleteView::roomDeleteRequested, this, &RoomSettingsDialog::roomDeleteRequested);
        stack->addWidget(deleteView);
        tabs->addTab(QStringLiteral("删除房间"), true);
    }
    basePageView->setValues(values);
    refreshPrefStatus();
}

void RoomSettingsDialog::setPermissions(const Permissions &p)
{
    RoomBaseSettingsView::Permissions base;
    base.changeName = p.changeName;
    base.changeBitrate = p.changeBitrate;
    base.changeAccessMode = p.changeAccessMode;
    base.toggleRequireApproval = p.toggleRequireApproval;
    base.toggleCodeDirectEntry = p.toggleCodeDirectEntry;
    base.manageRoomCode = p.manageRoomCode;
    base.manageModule = p.manageModule;
    base.toggleAllowSubroomAttach = p.toggleAllowSubroomAttach;
    base.toggleAllowSubroomBroadcast = p.toggleAllowSubroomBroadcast;
    base.toggleAllowSubroomChat = p.toggleAllowSubroomChat;
    base.configTagSystem = p.configTagSystem;
    basePageView->setPermissions(base);
    prefListView->setEditable(p.managePref);
    membersView->setEditRights(p.assignRoles, p.manageRoles);
    permsView->setCanManage(p.manageRoles);
}

void RoomSettingsDialog::setDefaultName(const QString &name)
{
    basePageView->setDefaultName(name);
}

void RoomSettingsDialog::setRoles(const QList<RoleEntry> &roles)
{
    membersView->setRoles(roles);
    permsView->setRoles(roles);
}

void RoomSettingsDialog::setMembers(const QList<MemberEntry> &members)
{
    membersView->setMembers(members);
}

void RoomSettingsDialog::setPrefMembers(const QList<PrefMemberEntry> &members)
{
    prefListView->setMembers(members);
}

void RoomSettingsDialog::setDeleteEnabled(bool enabled)
{
    deleteEnabled = enabled;
    if (deleteView)
        deleteView->confirmButton()->setEnabled(enabled);
}

void RoomSettingsDialog::setTagSystemEnabled(bool enabled)
{
    basePageView->setTagSystemEnabled(enabled);
}

void RoomSettingsDialog::refreshPrefStatus()
{
    if (!basePageView || !prefListView)
        return;
    if (basePageView->currentAccessMode() != QLatin1String("invite_only"))
        prefListView->setStatus(QStringLiteral("生效中"), true);
    else
        prefListView->setStatus(QStringLiteral("未生效"), false);
}
