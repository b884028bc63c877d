#include "ui/settings/channel_base_settings_view.h"

#include "theme/theme_palette.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *makeSectionLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("font-weight:700; font-size:12px;"));
    return label;
}

} // namespace

ChannelBaseSettingsView::ChannelBaseSettingsView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 14, 18, 12);
    layout->setSpacing(8);

    layout->addWidget(makeSectionLabel(QStringLiteral("频道名称"), this));
    nameEdit = new QLineEdit(this);
    nameEdit->setMaxLength(20);
    connect(nameEdit, &QLineEdit::editingFinished, this, &ChannelBaseSettingsView::commitName);
    layout->addWidget(nameEdit);

    layout->addWidget(makeSectionLabel(QStringLiteral("频道简介"), this));
    descriptionEdit = new QLineEdit(this);
    descriptionEdit->setMaxLength(200);
    descriptionEdit->setPlaceholderText(QStringLiteral("介绍一下这个频道…"));
    connect(descriptionEdit, &QLineEdit::editingFinished, this, &ChannelBaseSettingsView::commitDescription);
    layout->addWidget(descriptionEdit);

    layout->addWidget(makeSectionLabel(QStringLiteral("频道码"), this));
    auto *codeRow = new QHBoxLayout;
    codeRow->setSpacing(8);
    codeText = new QLabel(this);
    codeText->setTextFormat(Qt::PlainText);
    codeText->setStyleSheet(QStringLiteral("font-family:Consolas,monospace; font-size:13px;"));
    codeText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    codeRow->addWidget(codeText);
    copy = new QPushButton(QStringLiteral("复制"), this);
    copy->setProperty("variant", "link");
    connect(copy, &QPushButton::clicked, this, &ChannelBaseSettingsView::copyCode);
    codeRow->addWidget(copy);
    codeRow->addStretch();
    toggle = new QPushButton(this);
    toggle->setFixedHeight(26);
    // The page never flips the state itself: the new state comes with the next refill.
    connect(toggle, &QPushButton::clicked, this, [this] { emit codeToggleRequested(!stored.codeEnabled); });
    codeRow->addWidget(toggle);
    layout->addLayout(codeRow);

    auto *hint = new QLabel(QStringLiteral("启用后凭码加入频道；暂停后码保留但不可加入"), this);
    hint->setProperty("role", "hint");
    layout->addWidget(hint);
    layout->addStretch();

    refreshCodeRow();
}

ChannelBaseSettingsView::~ChannelBaseSettingsView()
{
    // Hiding during destruction takes the focus from a field, whose editingFinished would then
    // call into this half-destroyed view.
    nameEdit->disconnect(this);
    descriptionEdit->disconnect(this);
}

void ChannelBaseSettingsView::setPermissions(bool changeName, bool changeDescription, bool manageCode)
{
    canChangeName = changeName;
    canChangeDescription = changeDescription;
    canManageCode = manageCode;
    nameEdit->setEnabled(changeName);
    descriptionEdit->setEnabled(changeDescription);
    refreshCodeRow();
}

void ChannelBaseSettingsView::setValues(const Values &values)
{
    stored = values;
    // A field being edited keeps the user's text; the next refill after it loses focus
    // shows the stored value.
    if (!nameEdit->hasFocus())
        nameEdit->setText(values.name);
    if (!descriptionEdit->hasFocus())
        descriptionEdit->setText(values.description);
    refreshCodeRow();
}

void ChannelBaseSettingsView::commitName()
{
    const QString text = nameEdit->text().trimmed();
    if (text.isEmpty() || text == stored.name)
        return;
    stored.name = text;
    emit settingsSaved(QJsonObject{{QStringLiteral("name"), text}});
}

void ChannelBaseSettingsView::commitDescription()
{
    const QString text = descriptionEdit->text().trimmed();
    if (text == stored.description)
        return;
    stored.description = text;
    emit settingsSaved(QJsonObject{{QStringLiteral("description"), text}});
}

void ChannelBaseSettingsView::copyCode()
{
    if (!stored.code.isEmpty())
        QGuiApplication::clipboard()->setText(stored.code);
}

void ChannelBaseSettingsView::refreshCodeRow()
{
    const bool hasCode = !stored.code.isEmpty();
    const bool active = hasCode && stored.codeEnabled;
    codeText->setText(hasCode ? stored.code : QStringLiteral("------"));
    codeText->setStyleSheet(QStringLiteral("font-family:Consolas,monospace; font-size:13px; color:%1;")
                                .arg(QLatin1String(ThemePalette::hex(active ? "text" : "textMuted"))));
    copy->setVisible(hasCode);
    toggle->setText(!hasCode ? QStringLiteral("生成并启用")
                             : (active ? QStringLiteral("暂停") : QStringLiteral("启用")));
    toggle->setEnabled(canManageCode);
}
