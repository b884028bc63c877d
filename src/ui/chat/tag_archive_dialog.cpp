#include "ui/chat/tag_archive_dialog.h"

#include "theme/theme_palette.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TagArchiveDialog::TagArchiveDialog(const QString &tagName, const QList<TagChoice> &choices, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("删除标签「%1」").arg(tagName));
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->setSpacing(10);

    purge = new QRadioButton(QStringLiteral("删除此标签下的所有聊天内容"), this);
    purge->setChecked(true);
    layout->addWidget(purge);

    auto *row = new QWidget(this);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(8);
    transfer = new QRadioButton(QStringLiteral("将此标签内容转移至"), row);
    targets = new QComboBox(row);
    for (const TagChoice &choice : choices)
        targets->addItem(choice.name, QVariant::fromValue<qint64>(choice.tagId));
    targets->addItem(QStringLiteral("无归属"), QVariant::fromValue<qint64>(0));
    targets->setCurrentIndex(0);
    rowLayout->addWidget(transfer);
    rowLayout->addWidget(targets, 1);
    layout->addWidget(row);

    auto *group = new QButtonGroup(this);
    group->setExclusive(true);
    group->addButton(purge);
    group->addButton(transfer);

    auto *note =
        new QLabel(QStringLiteral("删除内容 = 消息全部变为墓碑「（消息被隐藏）」，记录保留；标签删除后名字可复用。"),
                   this);
    note->setWordWrap(true);
    note->setStyleSheet(
        QStringLiteral("color:%1;font-size:12px;").arg(QString::fromLatin1(ThemePalette::hex("textMuted"))));
    layout->addWidget(note);

    auto *buttons = new QWidget(this);
    auto *buttonLayout = new QHBoxLayout(buttons);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->setSpacing(8);
    buttonLayout->addStretch();
    auto *cancel = new QPushButton(QStringLiteral("取消"), buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *remove = new QPushButton(QStringLiteral("删除"), buttons);
    remove->setProperty("variant", "danger");
    connect(remove, &QPushButton::clicked, this, &QDialog::accept);
    buttonLayout->addWidget(cancel);
    buttonLayout->addWidget(remove);
    layout->addWidget(buttons);
}

QString TagArchiveDialog::mode() const
{
    return purge->isChecked() ? QStringLiteral("purge") : QStringLiteral("transfer");
}

qint64 TagArchiveDialog::targetTagId() const
{
    return targets->currentData().toLongLong();
}
