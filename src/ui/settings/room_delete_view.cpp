#include "ui/settings/room_delete_view.h"

#include "theme/theme_palette.h"

#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

RoomDeleteView::Texts RoomDeleteView::channelTexts()
{
    Texts texts;
    texts.title = QStringLiteral("⚠ 删除此频道");
    texts.description = QStringLiteral(
        "删除后频道、频道码、身份与权限设置一并移除，成员被移出，频道内的房间对所有成员不可见。此操作不可恢复。");
    texts.confirmButtonText = QStringLiteral("我确认，删除频道");
    texts.dialogTitle = QStringLiteral("删除频道");
    texts.dialogText = QStringLiteral("确定删除此频道？此操作不可恢复。");
    return texts;
}

RoomDeleteView::RoomDeleteView(QWidget *parent)
    : RoomDeleteView(Texts{}, parent)
{}

RoomDeleteView::RoomDeleteView(const Texts &texts, QWidget *parent)
    : QWidget(parent)
    , dialogTitle(texts.dialogTitle)
    , dialogText(texts.dialogText)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 16);
    layout->setSpacing(6);

    auto *box = new QWidget(this);
    box->setObjectName(QStringLiteral("delBox"));
    box->setStyleSheet(
        QStringLiteral("#delBox{background:%1;border:1px solid %2;}")
            .arg(QLatin1String(ThemePalette::hex("dangerFaint")), QLatin1String(ThemePalette::hex("danger"))));
    auto *boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(16, 14, 16, 14);
    boxLayout->setSpacing(6);

    auto *title = new QLabel(texts.title, box);
    title->setStyleSheet(QStringLiteral("color:%1; font-size:14px; font-weight:700;")
                             .arg(QLatin1String(ThemePalette::hex("dangerText"))));
    boxLayout->addWidget(title);
    auto *description = new QLabel(texts.description, box);
    description->setWordWrap(true);
    description->setProperty("role", "secondary");
    boxLayout->addWidget(description);
    button = new QPushButton(texts.confirmButtonText, box);
    button->setFixedHeight(36);
    button->setProperty("variant", "danger");
    connect(button, &QPushButton::clicked, this, &RoomDeleteView::confirm);
    boxLayout->addWidget(button);

    layout->addWidget(box);
    layout->addStretch();
}

void RoomDeleteView::confirm()
{
    // Owned by the window and watched: the settings dialog may close while the question is open.
    QPointer<RoomDeleteView> self = this;
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Warning, dialogTitle, dialogText,
                                                QMessageBox::Yes | QMessageBox::No, window());
    box->setDefaultButton(QMessageBox::No);
    const int answer = box->exec();
    if (!box || !self)
        return;
    delete box.data();
    if (answer == QMessageBox::Yes)
        emit roomDeleteRequested();
}
