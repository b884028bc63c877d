#include "ui/settings/room_base_settings_view.h"

#include "theme/theme_palette.h"
#include "ui/widgets/hint_tip.h"
#include "ui/widgets/segmented_control.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QJsonValue>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString boolValue(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

void takeAllItems(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget())
            widget->deleteLater();
        if (QLayout *nested = item->layout()) {
            takeAllItems(nested);
            delete nested;
            continue;
        }
        delete item;
    }
}

QPushButton *makeCompactButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setProperty("compact", true);
    return button;
}

} // namespace

RoomBaseSettingsView::RoomBaseSettingsView(QWidget *parent)
    : QWidget(parent)
{
    pageLayout = new QVBoxLayout(this);
    pageLayout->setContentsMargins(18, 14, 18, 10);
    pageLayout->setSpacing(6);
    buildUi();
    qApp->installEventFilter(this);
}

void RoomBaseSettingsView::addRow(const QString &caption, QWidget *control, const QString &hint)
{
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(caption, this));
    if (!hint.isEmpty()) {
        auto *tip = new HintTip(this);
        tip->setText(hint);
        row->addWidget(tip);
    }
    row->addStretch();
    row->addWidget(control);
    pageLayout->addLayout(row);
}

void RoomBaseSettingsView::addSeparator()
{
    pageLayout->addSpacing(4);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setStyleSheet(QStringLiteral("color:%1;").arg(QLatin1String(ThemePalette::hex("border"))));
    pageLayout->addWidget(line);
    pageLayout->addSpacing(4);
}

SegmentedControl *RoomBaseSettingsView::makeChoiceControl(const QList<QPair<QString, QString>> &segments, Accent accent,
                                                          const QString &value, bool enabled)
{
    auto *control = new SegmentedControl(this);
    for (int i = 0; i < segments.size(); ++i) {
        QColor colour;
        if (accent == Accent::Graded && i == 1)
            colour = ThemePalette::color("stateMid");
        else if (i == segments.size() - 1 && i > 0)
            colour = ThemePalette::color("stateStrict");
        control->addSegment(segments.at(i).first, segments.at(i).second, colour);
    }
    control->setValue(value);
    control->setEnabled(enabled);
    return control;
}

SegmentedControl *RoomBaseSettingsView::makeOnOffControl(bool value, bool enabled)
{
    return makeChoiceControl({{QStringLiteral("开启"), QStringLiteral("true")},
                              {QStringLiteral("关闭"), QStringLiteral("false")}},
                             Accent::OnOff, boolValue(value), enabled);
}

void RoomBaseSettingsView::buildUi()
{
    takeAllItems(pageLayout);

    nameEdit = new QLineEdit(values.name, this);
    nameEdit->setFixedHeight(29);
    nameEdit->setFixedWidth(190);
    nameEdit->setPlaceholderText(defaultName);
    nameEdit->setEnabled(rights.changeName);
    connect(nameEdit, &QLineEdit::editingFinished, this, &RoomBaseSettingsView::commitName);
    addRow(QStringLiteral("房间名"), nameEdit);

    bitrateCombo = new QComboBox(this);
    bitrateCombo->setFixedHeight(29);
    for (int kbps : {8, 16, 32, 64, 128, 256})
        bitrateCombo->addItem(QStringLiteral("%1 kbps").arg(kbps), kbps * 1000);
    if (const int index = bitrateCombo->findData(values.bitrate); index >= 0)
        bitrateCombo->setCurrentIndex(index);
    bitrateCombo->setEnabled(rights.changeBitrate);
    connect(bitrateCombo, &QComboBox::activated, this, &RoomBaseSettingsView::commitBitrate);
    addRow(QStringLiteral("音频码率"), bitrateCombo);

    auto *codeRow = new QWidget(this);
    auto *codeLayout = new QHBoxLayout(codeRow);
    codeLayout->setContentsMargins(0, 0, 0, 0);
    codeLayout->setSpacing(6);
    codeLabel = new QLabel(codeRow);
    codeLabel->setTextFormat(Qt::PlainText);
    QFont mono(QStringLiteral("Consolas"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(16);
    codeLabel->setFont(mono);
    codeLabel->setFixedWidth(QFontMetrics(mono).horizontalAdvance(QStringLiteral("000000")) + 8);
    codeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    copy = makeCompactButton(QStringLiteral("复制"), codeRow);
    codeSwitch = makeCompactButton(QStringLiteral("启用"), codeRow);
    for (QPushButton *button : {copy, codeSwitch}) {
        button->setFixedSize(56, 28);
        QSizePolicy policy = button->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        button->setSizePolicy(policy);
    }
    connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(values.roomCode); });
    connect(codeSwitch, &QPushButton::clicked, this, [this] { emit roomCodeToggleRequested(!values.roomCodeEnabled); });
    codeLayout->addWidget(codeLabel);
    codeLayout->addWidget(copy);
    codeLayout->addWidget(codeSwitch);
    addRow(QStringLiteral("房间码"), codeRow);
    refreshRoomCodeRow();

    auto *moduleRow = new QWidget(this);
    auto *moduleLayout = new QHBoxLayout(moduleRow);
    moduleLayout->setContentsMargins(0, 0, 0, 0);
    moduleLayout->setSpacing(6);
    moduleText = new QLabel(values.moduleId.isEmpty() ? QStringLiteral("未挂载") : values.moduleName, moduleRow);
    moduleText->setTextFormat(Qt::PlainText);
    moduleSelect = makeCompactButton(QStringLiteral("选择"), moduleRow);
    moduleSelect->setFixedHeight(28);
    moduleSelect->setEnabled(false);
    connect(moduleSelect, &QPushButton::clicked, this, &RoomBaseSettingsView::moduleSelectRequested);
    moduleLayout->addWidget(moduleText);
    moduleLayout->addWidget(moduleSelect);
    if (!values.moduleId.isEmpty()) {
        moduleDetach = makeCompactButton(QStringLiteral("卸载"), moduleRow);
        moduleDetach->setFixedHeight(28);
        moduleDetach->setEnabled(false);
        connect(moduleDetach, &QPushButton::clicked, this, &RoomBaseSettingsView::moduleDetachRequested);
        moduleLayout->addWidget(moduleDetach);
    }
    addRow(QStringLiteral("挂载模块"), moduleRow);

    addSeparator();

    accessControl = makeChoiceControl({{QStringLiteral("公开"), QStringLiteral("public")},
                                       {QStringLiteral("偏好/邀请"), QStringLiteral("pref_only")},
                                       {QStringLiteral("仅邀请"), QStringLiteral("invite_only")}},
                                      Accent::Graded, values.accessMode, rights.changeAccessMode);
    addRow(QStringLiteral("准入模式"), accessControl, QStringLiteral("偏好组模式类似白名单功能"));
    approvalChoice = makeOnOffControl(values.requireApproval, rights.toggleRequireApproval);
    addRow(QStringLiteral("可申请进房"), approvalChoice);
    directEntryChoice = makeOnOffControl(values.codeDirectEntry, rights.toggleCodeDirectEntry);
    addRow(QStringLiteral("连接码直入"), directEntryChoice, QStringLiteral("关闭后凭码加入的人也需通过准入模式与审核"));

    accessHint = new QLabel(this);
    accessHint->setProperty("role", "hint");
    accessHint->setWordWrap(true);
    pageLayout->addWidget(accessHint);
    connect(accessControl, &SegmentedControl::valueChanged, this, &RoomBaseSettingsView::refreshAccessHint);
    connect(approvalChoice, &SegmentedControl::valueChanged, this, &RoomBaseSettingsView::refreshAccessHint);

    addSeparator();

    subroomChoice = makeChoiceControl({{QStringLiteral("允许"), QStringLiteral("allow")},
                                       {QStringLiteral("需审批"), QStringLiteral("ask")},
                                       {QStringLiteral("拒绝"), QStringLiteral("reject")}},
                                      Accent::Graded, values.allowSubroom, rights.toggleAllowSubroomAttach);
    addRow(QStringLiteral("子房挂载"), subroomChoice);
    broadcastChoice = makeOnOffControl(values.allowSubroomBroadcast, rights.toggleAllowSubroomBroadcast);
    addRow(QStringLiteral("子房广播语音"), broadcastChoice);
    chatChoice = makeOnOffControl(values.allowSubroomChat, rights.toggleAllowSubroomChat);
    addRow(QStringLiteral("子房文字聊天"), chatChoice, QStringLiteral("允许子房成员在父房发送文字"));

    const struct
    {
        SegmentedControl *control;
        const char *key;
        bool isBoolean;
    } choices[] = {
        {accessControl, "accessMode", false},
        {approvalChoice, "requireApproval", true},
        {directEntryChoice, "codeDirectEntry", true},
        {subroomChoice, "allowSubroom", false},
        {broadcastChoice, "allowSubroomBroadcast", true},
        {chatChoice, "allowSubroomChat", true},
    };
    for (const auto &choice : choices) {
        const QString key = QString::fromLatin1(choice.key);
        const bool isBoolean = choice.isBoolean;
        connect(choice.control, &SegmentedControl::valueChanged, this,
                [this, key, isBoolean](const QString &value) { commitChoice(key, isBoolean, value); });
    }

    addSeparator();

    tagChoice = makeOnOffControl(tagSystemEnabled, rights.configTagSystem);
    connect(tagChoice, &SegmentedControl::valueChanged, this, &RoomBaseSettingsView::commitTag);
    addRow(QStringLiteral("标签系统"), tagChoice);

    pageLayout->addStretch();
    refreshAccessHint();
}

void RoomBaseSettingsView::setValues(const Values &value)
{
    values = value;
    applyValues();
}

void RoomBaseSettingsView::setPermissions(const Permissions &value)
{
    rights = value;
    nameEdit->setEnabled(rights.changeName);
    bitrateCombo->setEnabled(rights.changeBitrate);
    accessControl->setEnabled(rights.changeAccessMode);
    approvalChoice->setEnabled(rights.toggleRequireApproval);
    directEntryChoice->setEnabled(rights.toggleCodeDirectEntry);
    subroomChoice->setEnabled(rights.toggleAllowSubroomAttach);
    broadcastChoice->setEnabled(rights.toggleAllowSubroomBroadcast);
    chatChoice->setEnabled(rights.toggleAllowSubroomChat);
    refreshRoomCodeRow();
    refreshTagRow();
}

void RoomBaseSettingsView::setDefaultName(const QString &name)
{
    if (name == defaultName)
        return;
    defaultName = name;
    nameEdit->setPlaceholderText(name);
}

void RoomBaseSettingsView::setTagSystemEnabled(bool enabled)
{
    tagSystemEnabled = enabled;
    refreshTagRow();
}

QString RoomBaseSettingsView::currentAccessMode() const
{
    return accessControl ? accessControl->value() : values.accessMode;
}

void RoomBaseSettingsView::applyValues()
{
    if (!nameEdit->hasFocus() && nameEdit->text() != values.name)
        nameEdit->setText(values.name);
    if (const int index = bitrateCombo->findData(values.bitrate); index >= 0)
        bitrateCombo->setCurrentIndex(index);
    accessControl->setValue(values.accessMode);
    approvalChoice->setValue(boolValue(values.requireApproval));
    directEntryChoice->setValue(boolValue(values.codeDirectEntry));
    subroomChoice->setValue(values.allowSubroom);
    broadcastChoice->setValue(boolValue(values.allowSubroomBroadcast));
    chatChoice->setValue(boolValue(values.allowSubroomChat));
    refreshRoomCodeRow();
    moduleText->setText(values.moduleId.isEmpty() ? QStringLiteral("未挂载") : values.moduleName);
    refreshAccessHint();
}

void RoomBaseSettingsView::refreshRoomCodeRow()
{
    if (!codeLabel || !copy || !codeSwitch)
        return;
    const bool shown = values.isPersistent && !values.roomCode.isEmpty();
    const bool active = shown && values.roomCodeEnabled;
    codeLabel->setText(shown ? values.roomCode : QStringLiteral("------"));
    codeLabel->setStyleSheet(
        QStringLiteral("color:%1;").arg(QLatin1String(ThemePalette::hex(active ? "text" : "textMuted"))));
    copy->setVisible(shown);
    if (!values.isPersistent) {
        codeSwitch->setText(QStringLiteral("禁用"));
        codeSwitch->setEnabled(false);
    } else {
        codeSwitch->setText(active ? QStringLiteral("暂停") : QStringLiteral("启用"));
        codeSwitch->setEnabled(rights.manageRoomCode);
    }
}

void RoomBaseSettingsView::refreshTagRow()
{
    if (!tagChoice)
        return;
    tagChoice->setValue(boolValue(tagSystemEnabled));
    tagChoice->setEnabled(rights.configTagSystem);
}

void RoomBaseSettingsView::refreshAccessHint()
{
    if (!accessHint)
        return;
    const QString mode = accessControl ? accessControl->value() : values.accessMode;
    const bool approval = approvalChoice ? approvalChoice->value() == QLatin1String("true") : values.requireApproval;
    QString text;
    if (mode == QLatin1String("invite_only"))
        text = approval ? QStringLiteral("能加入 = 受邀请用户，可申请 = 偏好组成员、其他，不可加入 = 无")
                        : QStringLiteral("能加入 = 受邀请用户，可申请 = 无，不可加入 = 偏好组成员、其他");
    else if (mode == QLatin1String("pref_only"))
        text = approval ? QStringLiteral("能加入 = 偏好组成员、受邀请用户，可申请 = 其他人，不可加入 = 无")
                        : QStringLiteral("能加入 = 偏好组成员、受邀请用户，可申请 = 无，不可加入 = 其他人");
    else
        text = QStringLiteral("能加入 = 所有人，可申请 = 无，不可加入 = 无");
    accessHint->setText(text);
}

void RoomBaseSettingsView::commitName()
{
    const QString text = nameEdit->text().trimmed();
    if (text == values.name)
        return;
    emit settingsSaved(QJsonObject{{QStringLiteral("name"), text}});
}

void RoomBaseSettingsView::commitBitrate()
{
    const int value = bitrateCombo->currentData().toInt();
    if (value > 0 && value != values.bitrate)
        emit settingsSaved(QJsonObject{{QStringLiteral("bitrate"), value}});
}

void RoomBaseSettingsView::commitChoice(const QString &key, bool isBoolean, const QString &value)
{
    if (value.isEmpty())
        return;
    const QJsonValue json = isBoolean ? QJsonValue(value == QLatin1String("true")) : QJsonValue(value);
    emit settingsSaved(QJsonObject{{key, json}});
}

void RoomBaseSettingsView::commitTag(const QString &value)
{
    const bool enabled = value == QLatin1String("true");
    if (enabled != tagSystemEnabled)
        emit tagSystemToggleRequested(enabled);
}

bool RoomBaseSettingsView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && nameEdit && nameEdit->hasFocus()) {
        auto *pressed = qobject_cast<QWidget *>(watched);
        if (pressed && pressed != nameEdit && !nameEdit->isAncestorOf(pressed))
            nameEdit->clearFocus();
    }
    return QWidget::eventFilter(watched, event);
}
