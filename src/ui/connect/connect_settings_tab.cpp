#include "ui/connect/connect_settings_tab.h"

#include "theme/theme_palette.h"
#include "ui/connect/code_input_edit.h"
#include "ui/connect/connect_list_row.h"
#include "ui/connect/spinner_widget.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kJoinLobby = QStringLiteral("加入");
const QString kJoinInRoom = QStringLiteral("单人加入");
const QString kAttach = QStringLiteral("整房挂载");
const QString kApplied = QStringLiteral("已申请，等待审核");
const char *const kSpinnerName = "flightSpinner";

QString hexOf(const char *token)
{
    return QString::fromLatin1(ThemePalette::hex(token));
}

// A tool tip showing `text` as typed: one that would read as markup is escaped.
QString plainToolTip(const QString &text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text) : text;
}

// A label that always shows its full text elided to its current width.
class ElideLabel : public QLabel
{
public:
    using QLabel::QLabel;

    QString fullText;

    void refit() { setText(QFontMetrics(font()).elidedText(fullText, Qt::ElideRight, std::max(width(), 0))); }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        refit();
    }
};

QLabel *makeRowTitleLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFixedWidth(104);
    label->setStyleSheet(QStringLiteral("background:transparent;font-size:13px;color:%1;").arg(hexOf("text")));
    label->ensurePolished();
    const QString elided = QFontMetrics(label->font()).elidedText(text, Qt::ElideRight, 104);
    label->setText(elided);
    if (elided != text)
        label->setToolTip(plainToolTip(text));
    return label;
}

ElideLabel *makeRowSubLabel(const QString &text, QWidget *parent)
{
    auto *label = new ElideLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setStyleSheet(QStringLiteral("background:transparent;font-size:12px;color:%1;").arg(hexOf("textMuted")));
    label->fullText = text;
    label->setToolTip(plainToolTip(text));
    label->refit();
    return label;
}

QPushButton *makeRowTextButton(const QString &text, bool primary, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFixedSize(46, 24);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(
        QStringLiteral("QPushButton{background:transparent;border:none;font-size:12px;color:%1;"
                       "padding:0;}QPushButton:hover{color:%2;}")
            .arg(hexOf(primary ? "primaryText" : "textSub"), hexOf(primary ? "primaryPressed" : "text")));
    return button;
}

QLabel *makePlaceholderLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedHeight(48);
    label->setStyleSheet(QStringLiteral("background:transparent;font-size:12px;color:%1;").arg(hexOf("textMuted")));
    return label;
}

void clearListLayout(QBoxLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget())
            widget->deleteLater();
        delete item;
    }
}

// The primary and "编辑" buttons of a row, side by side.
QWidget *makeButtonBox(QPushButton **primary, QPushButton **edit, const QString &primaryText)
{
    auto *box = new QWidget;
    box->setStyleSheet(QStringLiteral("background:transparent;"));
    auto *layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    *primary = makeRowTextButton(primaryText, true, box);
    *edit = makeRowTextButton(QStringLiteral("编辑"), false, box);
    layout->addWidget(*primary);
    layout->addWidget(*edit);
    return box;
}

SpinnerWidget *directSpinner(QWidget *button)
{
    return button ? button->findChild<SpinnerWidget *>(QLatin1String(kSpinnerName), Qt::FindDirectChildrenOnly)
                  : nullptr;
}

void showButtonSpinner(QAbstractButton *button, const QColor &color)
{
    SpinnerWidget *spinner = directSpinner(button);
    if (!spinner) {
        spinner = new SpinnerWidget(color, button);
        spinner->setObjectName(QLatin1String(kSpinnerName));
    }
    button->setText(QString());
    spinner->move((button->width() - spinner->width()) / 2, (button->height() - spinner->height()) / 2);
    spinner->setAngle(0);
    spinner->show();
    spinner->raise();
    spinner->ticker()->start();
}

void hideButtonSpinner(QWidget *button)
{
    if (SpinnerWidget *spinner = directSpinner(button)) {
        spinner->ticker()->stop();
        spinner->hide();
    }
}

// A section title row with an optional status label and link button, and the separator.
QWidget *makeSectionHeader(const QString &title, QWidget *parent, QPushButton **link, QLabel **status)
{
    auto *header = new QWidget(parent);
    header->setFixedHeight(30);
    auto *column = new QVBoxLayout(header);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(8, 0, 8, 7);
    row->setSpacing(8);
    auto *titleLabel = new QLabel(title, header);
    titleLabel->setStyleSheet(
        QStringLiteral("background:transparent;font-size:13px;font-weight:600;color:%1;").arg(hexOf("text")));
    QFont font = titleLabel->font();
    font.setLetterSpacing(QFont::PercentageSpacing, 105);
    titleLabel->setFont(font);
    row->addWidget(titleLabel);
    row->addStretch();
    if (status) {
        *status = new QLabel(header);
        (*status)->setStyleSheet(
            QStringLiteral("background:transparent;font-size:12px;color:%1;").arg(hexOf("textMuted")));
        row->addWidget(*status);
    }
    if (link) {
        *link = new QPushButton(header);
        (*link)->setProperty("variant", QStringLiteral("link"));
        (*link)->setCursor(Qt::PointingHandCursor);
        (*link)->setFixedWidth(46);
        row->addWidget(*link);
    }
    column->addLayout(row);
    auto *separator = new QWidget(header);
    separator->setFixedHeight(1);
    separator->setProperty("role", QStringLiteral("rowSeparator"));
    separator->setAttribute(Qt::WA_StyledBackground);
    column->addWidget(separator);
    return header;
}

QScrollArea *makeListScrollArea(QWidget *section, QVBoxLayout **listLayout, const QString &listName)
{
    auto *area = new QScrollArea(section);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setFocusPolicy(Qt::NoFocus);
    area->setStyleSheet(QStringLiteral("QScrollArea{background:transparent;border:none;}"));
    auto *inner = new QWidget;
    inner->setObjectName(listName);
    inner->setStyleSheet(QStringLiteral("background:transparent;"));
    *listLayout = new QVBoxLayout(inner);
    (*listLayout)->setContentsMargins(0, 0, 0, 0);
    (*listLayout)->setSpacing(0);
    area->setWidget(inner);
    static_cast<QVBoxLayout *>(section->layout())->addWidget(area, 1);
    return area;
}

QWidget *makeSection(QWidget *parent, const QString &name, int spacing)
{
    auto *section = new QWidget(parent);
    section->setObjectName(name);
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return section;
}

void styleActionButton(QPushButton *button, const QString &name)
{
    button->setObjectName(name);
    button->setFixedHeight(32);
    button->setStyleSheet(QStringLiteral("font-size: 13px;"));
}

} // namespace

ConnectSettingsTab::ConnectSettingsTab(QWidget *parent)
    : QWidget(parent)
{
    // Upper block in the lobby: temporary rooms from saved configurations.
    configSection = makeSection(this, QStringLiteral("configSection"), 0);
    configSection->layout()->addWidget(
        makeSectionHeader(QStringLiteral("创建临时房间"), configSection, &configButton, nullptr));
    configButton->setObjectName(QStringLiteral("configButton"));
    configButton->setText(QStringLiteral("配置"));
    connect(configButton, &QPushButton::clicked, this, &ConnectSettingsTab::createConfigRequested);
    configScroll = makeListScrollArea(configSection, &configListLayout, QStringLiteral("configList"));

    // Upper block in a room: the follow code.
    followSection = makeSection(this, QStringLiteral("followSection"), 0);
    followSection->layout()->addWidget(
        makeSectionHeader(QStringLiteral("跟随码"), followSection, nullptr, &followExpiryLabel));
    followExpiryLabel->setObjectName(QStringLiteral("followExpiryLabel"));
    followCodeLabel = new QLabel(followSection);
    followCodeLabel->setObjectName(QStringLiteral("followCodeLabel"));
    followCodeLabel->setAlignment(Qt::AlignCenter);
    followCodeLabel->setFixedHeight(70);
    QFont codeFont = followCodeLabel->font();
    codeFont.setLetterSpacing(QFont::AbsoluteSpacing, 5);
    followCodeLabel->setFont(codeFont);
    followSection->layout()->addWidget(followCodeLabel);
    followButtonRow = new QWidget(followSection);
    followButtonRow->setObjectName(QStringLiteral("followButtonRow"));
    auto *followButtons = new QHBoxLayout(followButtonRow);
    followButtons->setContentsMargins(0, 0, 0, 0);
    followButtons->setSpacing(6);
    copyButton = new QPushButton(QStringLiteral("复制"), followButtonRow);
    copyButton->setProperty("variant", QStringLiteral("primary"));
    invalidateButton = new QPushButton(QStringLiteral("作废"), followButtonRow);
    assignButton = new QPushButton(QStringLiteral("启用"), followButtonRow);
    assignButton->setProperty("variant", QStringLiteral("primary"));
    styleActionButton(copyButton, QStringLiteral("copyButton"));
    styleActionButton(invalidateButton, QStringLiteral("invalidateButton"));
    styleActionButton(assignButton, QStringLiteral("assignButton"));
    followButtons->addWidget(copyButton, 1);
    followButtons->addWidget(invalidateButton, 1);
    followButtons->addWidget(assignButton, 1);
    followButtons->addStretch();
    followSection->layout()->addWidget(followButtonRow);
    connect(copyButton, &QPushButton::clicked, this, &ConnectSettingsTab::followCodeCopyRequested);
    connect(invalidateButton, &QPushButton::clicked, this, &ConnectSettingsTab::followCodeInvalidateRequested);
    connect(assignButton, &QPushButton::clicked, this, &ConnectSettingsTab::followCodeAssignRequested);

    // The code entry, always shown.
    codeSection = makeSection(this, QStringLiteral("codeSection"), 8);
    codeSection->layout()->addWidget(
        makeSectionHeader(QStringLiteral("频道/房间/跟随码"), codeSection, nullptr, nullptr));
    codeEdit = new CodeInputEdit(codeSection);
    codeEdit->setObjectName(QStringLiteral("codeEdit"));
    codeEdit->setPlaceholderText(QStringLiteral("输入连接码"));
    codeEdit->setFixedHeight(44);
    QFont entryFont = codeEdit->font();
    entryFont.setPixelSize(16);
    entryFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    codeEdit->setFont(entryFont);
    codeEdit->setTextMargins(6, 0, 6, 0);
    connect(codeEdit, &QLineEdit::textEdited, this,
            [this] { codeEdit->setStatus(CodeInputEdit::NoStatus, QString()); });
    codeSection->layout()->addWidget(codeEdit);
    auto *codeButtons = new QHBoxLayout;
    codeButtons->setSpacing(6);
    joinButton = new QPushButton(kJoinLobby, codeSection);
    joinButton->setProperty("variant", QStringLiteral("primary"));
    attachButton = new QPushButton(kAttach, codeSection);
    attachButton->setProperty("variant", QStringLiteral("outline"));
    styleActionButton(joinButton, QStringLiteral("joinButton"));
    styleActionButton(attachButton, QStringLiteral("attachButton"));
    codeButtons->addWidget(joinButton, 1);
    codeButtons->addWidget(attachButton, 1);
    static_cast<QVBoxLayout *>(codeSection->layout())->addLayout(codeButtons);
    connect(codeEdit, &QLineEdit::returnPressed, joinButton, &QPushButton::click);
    connect(joinButton, &QPushButton::clicked, this, [this] { codeClicked(false); });
    connect(attachButton, &QPushButton::clicked, this, [this] { codeClicked(true); });

    // Lower block in the lobby: preference groups.
    prefSection = makeSection(this, QStringLiteral("prefSection"), 0);
    prefSection->layout()->addWidget(
        makeSectionHeader(QStringLiteral("偏好组"), prefSection, &prefConfigButton, nullptr));
    prefConfigButton->setObjectName(QStringLiteral("prefConfigButton"));
    prefConfigButton->setText(QStringLiteral("配置"));
    connect(prefConfigButton, &QPushButton::clicked, this, &ConnectSettingsTab::openPrefConfigRequested);
    prefScroll = makeListScrollArea(prefSection, &prefListLayout, QStringLiteral("prefList"));

    // Lower block in a room: the room's preference members.
    roomPrefSection = makeSection(this, QStringLiteral("roomPrefSection"), 0);
    roomPrefSection->layout()->addWidget(
        makeSectionHeader(QStringLiteral("房间偏好组"), roomPrefSection, &roomPrefEditButton, nullptr));
    roomPrefEditButton->setObjectName(QStringLiteral("roomPrefEditButton"));
    roomPrefEditButton->setText(QStringLiteral("编辑"));
    connect(roomPrefEditButton, &QPushButton::clicked, this, &ConnectSettingsTab::openRoomPrefEditRequested);
    roomPrefScroll = makeListScrollArea(roomPrefSection, &roomPrefListLayout, QStringLiteral("roomPrefList"));

    followTimer = new QTimer(this);
    followTimer->setInterval(1000);
    connect(followTimer, &QTimer::timeout, this, &ConnectSettingsTab::tickFollowCode);
    joinAppliedTimer = new QTimer(this);
    joinAppliedTimer->setSingleShot(true);
    joinAppliedTimer->setInterval(5000);
    connect(joinAppliedTimer, &QTimer::timeout, this, [this] { joinButton->setText(joinText()); });
    attachAppliedTimer = new QTimer(this);
    attachAppliedTimer->setSingleShot(true);
    attachAppliedTimer->setInterval(5000);
    connect(attachAppliedTimer, &QTimer::timeout, this, [this] { attachButton->setText(kAttach); });

    setMinimumSize(280, 554);
    rebuildConfigList();
    rebuildPrefList();
    rebuildMemberList();
    refreshMode();
}

QSize ConnectSettingsTab::minimumSizeHint() const
{
    return QSize(280, 554);
}

void ConnectSettingsTab::setClock(std::function<qint64()> clockFunction)
{
    clock = std::move(clockFunction);
}

qint64 ConnectSettingsTab::now() const
{
    return clock ? clock() : QDateTime::currentMSecsSinceEpoch();
}

QString ConnectSettingsTab::joinText() const
{
    return inRoom ? kJoinInRoom : kJoinLobby;
}

void ConnectSettingsTab::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void ConnectSettingsTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    relayout();
}

// ---- codes -------------------------------------------------------------------------

void ConnectSettingsTab::codeClicked(bool attach)
{
    if (busyMode != None)
        return;
    const QString code = codeEdit->text().trimmed().toLower();
    if (code.isEmpty())
        return;
    codeEdit->setStatus(CodeInputEdit::NoStatus, QString());
    beginBusy(attach ? AttachByCode : JoinByCode);
    if (attach)
        emit attachByCodeRequested(code);
    else
        emit joinByCodeRequested(code);
}

void ConnectSettingsTab::beginBusy(int mode)
{
    joinAppliedTimer->stop();
    attachAppliedTimer->stop();
    joinButton->setText(joinText());
    attachButton->setText(kAttach);
    busyMode = mode;
    codeEdit->setEnabled(false);
    joinButton->setEnabled(false);
    attachButton->setEnabled(false);
    if (mode == JoinByCode)
        showButtonSpinner(joinButton, ThemePalette::color("onPrimary"));
    else if (mode == AttachByCode)
        showButtonSpinner(attachButton, ThemePalette::color("primaryText"));
}

void ConnectSettingsTab::beginRowBusy(int mode, QAbstractButton *button, const QString &restoreText)
{
    beginBusy(mode);
    busyButton = button;
    busyButtonText = restoreText;
    if (button)
        showButtonSpinner(button, ThemePalette::color("primaryText"));
}

void ConnectSettingsTab::clearBusy()
{
    busyMode = None;
    hideButtonSpinner(joinButton);
    hideButtonSpinner(attachButton);
    joinButton->setText(joinText());
    attachButton->setText(kAttach);
    codeEdit->setEnabled(true);
    joinButton->setEnabled(true);
    attachButton->setEnabled(true);
    if (busyButton) {
        hideButtonSpinner(busyButton);
        busyButton->setText(busyButtonText);
    }
    busyButton.clear();
    busyButtonText.clear();
}

void ConnectSettingsTab::markApplied(QPushButton *button)
{
    button->setText(kApplied);
    (button == attachButton ? attachAppliedTimer : joinAppliedTimer)->start();
}

void ConnectSettingsTab::applyCodeSuccess()
{
    clearBusy();
    codeEdit->clear();
}

void ConnectSettingsTab::applyChannelJoined()
{
    clearBusy();
    codeEdit->clear();
    codeEdit->setStatus(CodeInputEdit::InfoStatus, QStringLiteral("已加入频道，频道列表暂未接入"));
}

void ConnectSettingsTab::applyJoinPending()
{
    clearBusy();
    codeEdit->clear();
    markApplied(joinButton);
}

void ConnectSettingsTab::applyAttachPending()
{
    clearBusy();
    codeEdit->clear();
    markApplied(attachButton);
}

void ConnectSettingsTab::applyJoinError(MatchErrorCode code, const QString &message)
{
    applyCodeError(code, message, QStringLiteral("加入失败"));
}

void ConnectSettingsTab::applyAttachError(MatchErrorCode code, const QString &message)
{
    applyCodeError(code, message, QStringLiteral("挂载失败"));
}

void ConnectSettingsTab::applyCodeError(MatchErrorCode code, const QString &message, const QString &fixedText)
{
    clearBusy();
    const QString shown = message.trimmed().isEmpty() ? fixedText : message.trimmed();
    codeEdit->setStatus(CodeInputEdit::ErrorStatus, shown);
    if (code == MatchErrorCode::InvalidCode) {
        codeEdit->setFocus(Qt::OtherFocusReason);
        codeEdit->selectAll();
    }
}

// ---- mode and follow code ------------------------------------------------------------

void ConnectSettingsTab::setInRoom(bool value)
{
    if (value != inRoom) {
        inRoom = value;
        clearBusy();
        joinAppliedTimer->stop();
        attachAppliedTimer->stop();
        codeEdit->clear();
        codeEdit->setStatus(CodeInputEdit::NoStatus, QString());
    }
    refreshMode();
}

void ConnectSettingsTab::setFollowCode(const QString &code, qint64 expiresAtMs)
{
    followCode = code;
    followCodeExpiresAtMs = expiresAtMs;
    if (inRoom)
        refreshFollowCode();
}

void ConnectSettingsTab::setCanAttach(bool can)
{
    canAttach = can;
    refreshMode();
}

void ConnectSettingsTab::setCanManageFollowCode(bool can)
{
    canManageFollowCode = can;
    if (inRoom)
        refreshFollowCode();
}

void ConnectSettingsTab::refreshMode()
{
    if (busyMode == None)
        joinButton->setText(joinAppliedTimer->isActive() ? kApplied : joinText());
    attachButton->setVisible(inRoom && canAttach);
    configSection->setVisible(!inRoom);
    prefSection->setVisible(!inRoom);
    followSection->setVisible(inRoom);
    roomPrefSection->setVisible(inRoom);
    if (inRoom) {
        refreshFollowCode();
    } else {
        followTimer->stop();
        relayout();
    }
}

void ConnectSettingsTab::refreshFollowCode()
{
    const bool hasCode = !followCode.isEmpty();
    const QString sheet = QStringLiteral("background:transparent;font-size:26px;font-weight:600;color:%1;");
    if (!hasCode) {
        followCodeLabel->setText(QStringLiteral("------"));
        followCodeLabel->setStyleSheet(sheet.arg(hexOf("textMuted")));
        followExpiryLabel->clear();
        followTimer->stop();
    } else {
        followCodeLabel->setText(followCode);
        followCodeLabel->setStyleSheet(sheet.arg(hexOf("text")));
        if (followCodeExpiresAtMs > 0) {
            tickFollowCode();
            // The tick stops the timer itself once the code has expired.
            if (!followTimer->isActive() && followCodeExpiresAtMs > now())
                followTimer->start();
        } else {
            followExpiryLabel->clear();
            followTimer->stop();
        }
    }
    copyButton->setVisible(hasCode);
    invalidateButton->setVisible(hasCode && canManageFollowCode);
    assignButton->setVisible(!hasCode && canManageFollowCode);
    followButtonRow->setVisible(hasCode || canManageFollowCode);
    relayout();
}

void ConnectSettingsTab::tickFollowCode()
{
    if (followCodeExpiresAtMs <= 0 || followCode.isEmpty()) {
        followTimer->stop();
        return;
    }
    const qint64 remaining = followCodeExpiresAtMs - now();
    const QString sheet = QStringLiteral("background:transparent;font-size:12px;color:%1;");
    if (remaining > 0) {
        const qint64 seconds = remaining / 1000;
        followExpiryLabel->setText(QStringLiteral("%1:%2 后过期")
                                       .arg(seconds / 60, 2, 10, QLatin1Char('0'))
                                       .arg(seconds % 60, 2, 10, QLatin1Char('0')));
        followExpiryLabel->setStyleSheet(sheet.arg(hexOf(seconds > 60 ? "textMuted" : "dangerText")));
        return;
    }
    followExpiryLabel->setText(QStringLiteral("已过期"));
    followExpiryLabel->setStyleSheet(sheet.arg(hexOf("dangerText")));
    followTimer->stop();
}

void ConnectSettingsTab::relayout()
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0)
        return;
    const int column = std::max(std::min(std::max(w - 48, 0), 620), std::min(w, 232));
    const int x = std::max((w - column) / 2, 0);
    const int band = std::max((std::max(h - 72, 0) - 182) / 2, 0);
    codeSection->setGeometry(x, band + 66, column, 122);

    QWidget *upper = inRoom ? followSection : configSection;
    const int upperWanted = inRoom ? (followButtonRow->isHidden() ? 100 : 132) : configListHeight + 30;
    const int upperHeight = std::min(upperWanted, band);
    upper->setGeometry(x, band - upperHeight + 36, column, upperHeight);

    QWidget *lower = inRoom ? roomPrefSection : prefSection;
    const int lowerWanted = (inRoom ? memberListHeight : prefListHeight) + 30;
    lower->setGeometry(x, band + 218, column, std::min(lowerWanted, band));
}

// ---- lists ---------------------------------------------------------------------------

QWidget *ConnectSettingsTab::makeConfigRow(int index, const QString &title, const QString &roomName, int bitrate)
{
    auto *row = new ConnectListRow;
    auto *layout = row->layout();
    layout->addWidget(makeRowTitleLabel(title, row));
    QString shownRoom = roomName.trimmed();
    if (shownRoom.isEmpty())
        shownRoom = defaultRoomName.isEmpty() ? QStringLiteral("昵称的房间") : defaultRoomName;
    static_cast<QHBoxLayout *>(layout)->addWidget(
        makeRowSubLabel(QStringLiteral("%1 · %2kbps").arg(shownRoom).arg(bitrate / 1000), row), 1);
    QPushButton *create = nullptr;
    QPushButton *edit = nullptr;
    layout->addWidget(makeButtonBox(&create, &edit, QStringLiteral("创建")));
    connect(edit, &QPushButton::clicked, this, [this, index] { emit editConfigRequested(index); });
    const QPointer<QPushButton> guarded(create);
    const auto launchFromConfig = [this, index, guarded] {
        if (busyMode != None)
            return;
        beginRowBusy(CreateFromConfig, guarded, QStringLiteral("创建"));
        emit createRoomFromConfigRequested(index);
    };
    connect(create, &QPushButton::clicked, this, launchFromConfig);
    row->action = launchFromConfig;
    return row;
}

void ConnectSettingsTab::rebuildConfigList()
{
    clearListLayout(configListLayout);
    configListLayout->addWidget(makeConfigRow(-1, QStringLiteral("默认"), QString(), 64000));
    auto *separatorBlock = new QWidget;
    separatorBlock->setFixedHeight(9);
    auto *separatorLayout = new QHBoxLayout(separatorBlock);
    separatorLayout->setContentsMargins(8, 4, 8, 4);
    auto *separator = new QWidget(separatorBlock);
    separator->setFixedHeight(1);
    separator->setProperty("role", QStringLiteral("rowSeparator"));
    separator->setAttribute(Qt::WA_StyledBackground);
    separatorLayout->addWidget(separator);
    configListLayout->addWidget(separatorBlock);
    for (int i = 0; i < configs.size(); ++i) {
        const ConfigEntry &entry = configs.at(i);
        configListLayout->addWidget(makeConfigRow(i, entry.name, entry.roomName, entry.bitrate));
    }
    configListLayout->addStretch();
    configListHeight = 49 + 40 * int(configs.size());
    relayout();
}

void ConnectSettingsTab::rebuildPrefList()
{
    clearListLayout(prefListLayout);
    if (prefGroups.isEmpty())
        prefListLayout->addWidget(makePlaceholderLabel(QStringLiteral("无偏好组")));
    for (int i = 0; i < prefGroups.size(); ++i) {
        const PrefGroupEntry &group = prefGroups.at(i);
        auto *row = new ConnectListRow;
        auto *layout = static_cast<QHBoxLayout *>(row->layout());
        layout->addWidget(makeRowTitleLabel(group.name, row));
        layout->addWidget(makeRowSubLabel(QStringLiteral("%1 人").arg(group.memberCount), row), 1);
        QPushButton *start = nullptr;
        QPushButton *edit = nullptr;
        layout->addWidget(makeButtonBox(&start, &edit, QStringLiteral("连接")));
        connect(edit, &QPushButton::clicked, this, [this, i] { emit openPrefEditRequested(i); });
        const QPointer<QPushButton> guarded(start);
        const auto launchPrefMatch = [this, i, guarded] {
            if (busyMode != None)
                return;
            beginRowBusy(PrefMatch, guarded, QStringLiteral("连接"));
            emit prefMatchRequested(i);
        };
        connect(start, &QPushButton::clicked, this, launchPrefMatch);
        row->action = launchPrefMatch;
        prefListLayout->addWidget(row);
    }
    prefListLayout->addStretch();
    prefListHeight = prefGroups.isEmpty() ? 48 : 40 * int(prefGroups.size());
    relayout();
}

void ConnectSettingsTab::rebuildMemberList()
{
    clearListLayout(roomPrefListLayout);
    if (roomPrefMembers.isEmpty())
        roomPrefListLayout->addWidget(makePlaceholderLabel(QStringLiteral("无成员")));
    for (const MemberEntry &member : std::as_const(roomPrefMembers)) {
        auto *row = new ConnectListRow;
        ElideLabel *name = makeRowSubLabel(member.name, row);
        name->setStyleSheet(QStringLiteral("background:transparent;font-size:13px;color:%1;").arg(hexOf("text")));
        static_cast<QHBoxLayout *>(row->layout())->addWidget(name, 1);
        roomPrefListLayout->addWidget(row);
    }
    roomPrefListLayout->addStretch();
    memberListHeight = roomPrefMembers.isEmpty() ? 48 : 40 * int(roomPrefMembers.size());
    relayout();
}

void ConnectSettingsTab::setConfigs(const QList<ConfigEntry> &entries)
{
    configs = entries;
    rebuildConfigList();
}

void ConnectSettingsTab::setDefaultRoomName(const QString &name)
{
    if (name == defaultRoomName)
        return;
    defaultRoomName = name;
    rebuildConfigList();
}

void ConnectSettingsTab::setPrefGroups(const QList<PrefGroupEntry> &groups)
{
    prefGroups = groups;
    rebuildPrefList();
}

void ConnectSettingsTab::setRoomPrefMembers(const QList<MemberEntry> &members)
{
    // The composition pushes the list on every change of the room; an equal list keeps
    // the rows it has instead of making them again.
    if (hasRoomPrefMembers && members == roomPrefMembers)
        return;
    hasRoomPrefMembers = true;
    roomPrefMembers = members;
    rebuildMemberList();
}
