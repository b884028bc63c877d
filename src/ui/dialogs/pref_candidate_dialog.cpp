#include "ui/dialogs/pref_candidate_dialog.h"

#include "theme/theme_palette.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

QLabel *roleLabel(const QString &text, const QString &role, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText); // room and member names come from the server
    label->setProperty("role", role);
    return label;
}

QPushButton *footerButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFixedHeight(36);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setAutoDefault(false);
    return button;
}

} // namespace

PrefCandidateDialog::PrefCandidateDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("偏好连接"));
    resize(440, 480);
    setMinimumSize(440, 480);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto *body = new QWidget(this);
    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(14, 14, 14, 14);
    bodyLayout->setSpacing(10);
    root->addWidget(body, 1);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(roleLabel(QStringLiteral("候选列表"), QStringLiteral("value"), body));
    hint = roleLabel(QString(), QStringLiteral("hint"), body);
    header->addWidget(hint);
    header->addStretch();
    bodyLayout->addLayout(header);

    list = new QListWidget(body);
    list->setProperty("boxed", true);
    list->setFocusPolicy(Qt::NoFocus);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    bodyLayout->addWidget(list, 1);
    connect(list, &QListWidget::itemSelectionChanged, this, &PrefCandidateDialog::updateConnectButton);
    connect(list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        const QString roomId = item != nullptr ? item->data(RoomIdRole).toString() : QString();
        if (!roomId.isEmpty())
            emit joinRequested(roomId);
    });

    auto *footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("dlgFoot"));
    footer->setStyleSheet(
        QStringLiteral("#dlgFoot{background:%1;border-top:1px solid %2;}")
            .arg(QLatin1String(ThemePalette::hex("panelBg")), QLatin1String(ThemePalette::hex("border"))));
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(16, 12, 16, 12);
    footerLayout->setSpacing(10);
    cancel = footerButton(QStringLiteral("取消"), footer);
    connectBtn = footerButton(QStringLiteral("连接"), footer);
    connectBtn->setProperty("variant", QStringLiteral("primary"));
    connectBtn->setEnabled(false);
    create = footerButton(QStringLiteral("创建新房间"), footer);
    footerLayout->addWidget(cancel);
    footerLayout->addWidget(connectBtn);
    footerLayout->addWidget(create);
    root->addWidget(footer);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(connectBtn, &QPushButton::clicked, this, [this] {
        const QString roomId = currentRoomId();
        if (!roomId.isEmpty())
            emit joinRequested(roomId);
    });
    connect(create, &QPushButton::clicked, this, &PrefCandidateDialog::createRoomRequested);
}

void PrefCandidateDialog::setCandidates(const QString &groupName, int memberCount, const QStringList &namesInNoRoom,
                                        const QList<PrefCandidateRoom> &rooms)
{
    hint->setText(QStringLiteral("%1 · %2 人").arg(groupName).arg(memberCount));
    list->clear();

    addRoomRow(QStringLiteral("未加入房间"), QStringLiteral("value"), QString(), false,
               namesInNoRoom.isEmpty() ? QStringLiteral("无") : namesInNoRoom.join(QStringLiteral("、")), QString());
    addSeparator();
    for (const PrefCandidateRoom &room : rooms) {
        const bool unknown = room.roomName.isEmpty();
        addRoomRow(unknown ? QStringLiteral("（陌生房间）") : room.roomName,
                   unknown ? QStringLiteral("secondary") : QStringLiteral("value"),
                   room.directEntry ? QStringLiteral("可直入") : QStringLiteral("需申请"), room.directEntry,
                   room.memberNames.join(QStringLiteral("、")), room.roomId);
    }
    if (rooms.isEmpty())
        addPlaceholder();
    updateConnectButton();
}

void PrefCandidateDialog::addRoomRow(const QString &title, const QString &titleRole, const QString &badge,
                                     bool strongBadge, const QString &detail, const QString &roomId)
{
    auto *row = new QWidget;
    auto *rowLayout = new QVBoxLayout(row);
    rowLayout->setContentsMargins(10, 4, 10, 4);
    rowLayout->setSpacing(1);

    auto *top = new QHBoxLayout;
    top->setSpacing(8);
    top->addWidget(roleLabel(title, titleRole, row));
    if (!badge.isEmpty()) {
        auto *badgeLabel = new QLabel(badge, row);
        badgeLabel->setStyleSheet(
            QStringLiteral("border:1px solid %1; color:%2; font-size:11px; font-weight:700; padding:1px 6px;")
                .arg(QLatin1String(ThemePalette::hex(strongBadge ? "primary" : "border")),
                     QLatin1String(ThemePalette::hex(strongBadge ? "primaryText" : "textSub"))));
        top->addWidget(badgeLabel);
    }
    top->addStretch();
    rowLayout->addLayout(top);
    rowLayout->addWidget(roleLabel(detail, QStringLiteral("hint"), row));

    auto *item = new QListWidgetItem(list);
    item->setSizeHint(QSize(0, 44));
    item->setData(RoomIdRole, roomId);
    if (roomId.isEmpty())
        item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
    list->setItemWidget(item, row);
}

void PrefCandidateDialog::addSeparator()
{
    auto *holder = new QWidget;
    auto *layout = new QHBoxLayout(holder);
    layout->setContentsMargins(10, 4, 10, 4);
    auto *line = new QFrame(holder);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background:%1;").arg(QLatin1String(ThemePalette::hex("borderFaint"))));
    layout->addWidget(line);

    auto *item = new QListWidgetItem(list);
    item->setSizeHint(QSize(0, 9));
    item->setData(RoomIdRole, QString());
    item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
    list->setItemWidget(item, holder);
}

void PrefCandidateDialog::addPlaceholder()
{
    auto *label = roleLabel(QStringLiteral("没有成员在房间中"), QStringLiteral("placeholder"), nullptr);
    label->setAlignment(Qt::AlignCenter);
    auto *item = new QListWidgetItem(list);
    item->setSizeHint(QSize(0, 44));
    item->setData(RoomIdRole, QString());
    item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
    list->setItemWidget(item, label);
}

QString PrefCandidateDialog::currentRoomId() const
{
    const QListWidgetItem *item = list->currentItem();
    return item != nullptr ? item->data(RoomIdRole).toString() : QString();
}

void PrefCandidateDialog::updateConnectButton()
{
    connectBtn->setEnabled(!currentRoomId().isEmpty());
}
