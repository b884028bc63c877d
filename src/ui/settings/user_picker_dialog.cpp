#include "ui/settings/user_picker_dialog.h"

#include "ui/widgets/underline_tab_bar.h"

#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

constexpr int kMembersTab = 0;

QLabel *makeNotice(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setProperty("role", "placeholder");
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

} // namespace

UserPickerDialog::UserPickerDialog(QWidget *parent)
    : QDialog(parent)
{
    resize(440, 500);
    setMinimumSize(440, 500);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tabs = new UnderlineTabBar(this);
    tabs->addTab(QStringLiteral("房间成员"));
    tabs->addTab(QStringLiteral("好友"));
    tabs->addTab(QStringLiteral("历史通话记录"));
    tabs->setTabVisible(kMembersTab, false);
    tabs->setCurrentIndex(1);
    layout->addWidget(tabs);

    auto *body = new QWidget(this);
    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(14, 14, 14, 14);
    bodyLayout->setSpacing(10);
    search = new QLineEdit(body);
    search->setPlaceholderText(QStringLiteral("搜索昵称 / ID"));
    search->setClearButtonEnabled(true);
    bodyLayout->addWidget(search);

    stack = new QStackedWidget(body);
    pickView = new RoomMemberPickView(stack);
    stack->addWidget(pickView);
    stack->addWidget(makeNotice(QStringLiteral("好友功能暂未接入"), stack));
    stack->addWidget(makeNotice(QStringLiteral("历史通话记录待接入"), stack));
    stack->setCurrentIndex(1);
    bodyLayout->addWidget(stack, 1);
    layout->addWidget(body, 1);

    connect(search, &QLineEdit::textChanged, pickView, &RoomMemberPickView::setFilter);
    connect(pickView, &RoomMemberPickView::addRequested, this, &UserPickerDialog::addRequested);
    connect(pickView, &RoomMemberPickView::removeRequested, this, &UserPickerDialog::removeRequested);
    connect(tabs, &UnderlineTabBar::currentChanged, stack, &QStackedWidget::setCurrentIndex);
}

void UserPickerDialog::setRoomMembers(const QList<PickEntry> &members)
{
    pickView->setMembers(members);
    tabs->setTabText(kMembersTab, QStringLiteral("房间成员 (%1)").arg(members.size()));
    if (!membersFilled) {
        membersFilled = true;
        tabs->setTabVisible(kMembersTab, true);
        tabs->setCurrentIndex(kMembersTab);
        stack->setCurrentIndex(kMembersTab);
    }
}
