#include "ui/main/control_panel.h"

#include "theme/style_helpers.h"
#include "theme/theme_palette.h"
#include "theme/tinted_icon.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPushButton>

namespace {

QPushButton *consoleButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setProperty("console", QStringLiteral("true"));
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

void fitRow(QPushButton *button, int minimumWidth)
{
    button->setMinimumWidth(minimumWidth);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QPushButton *iconButton(const char *svg, const char *normal, QWidget *parent)
{
    auto *button = consoleButton(QString(), parent);
    button->setIcon(
        makeTintedIcon(QString::fromLatin1(svg), ThemePalette::color(normal), ThemePalette::color("textFaint"), 16));
    button->setIconSize(QSize(16, 16));
    // The sheet's icon-only rule tests "icon", but on a push button that name is the
    // button's own icon property: the flag cannot be stored, so these buttons keep the
    // ordinary console padding. The call is kept so the intent stays visible.
    button->setProperty("icon", QStringLiteral("true"));
    button->setCursor(Qt::PointingHandCursor);
    fitRow(button, 30);
    return button;
}

} // namespace

ControlPanel::ControlPanel(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("controlPanel"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(style::resolveTheme(QStringLiteral("\n#controlPanel {\n    background: @white@;\n}\n")));

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(6);

    broadcast = consoleButton(QStringLiteral("广播（按住）"), this);
    broadcast->setToolTip(QStringLiteral("按住说话给所有人听"));
    broadcast->hide();
    broadcast->installEventFilter(this);

    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    mic = consoleButton(QStringLiteral("自由发言"), this);
    fitRow(mic, 90);
    connect(mic, &QPushButton::clicked, this, &ControlPanel::toggleMicRequested);
    speaker = consoleButton(QStringLiteral("扬声器: 开"), this);
    fitRow(speaker, 90);
    connect(speaker, &QPushButton::clicked, this, &ControlPanel::toggleSpeakerRequested);
    QPushButton *gear = iconButton(":/icons/gear.svg", "text", this);
    connect(gear, &QPushButton::clicked, this, &ControlPanel::audioSettingsRequested);
    disconnect = iconButton(":/icons/power.svg", "white", this);
    disconnect->setProperty("state", QStringLiteral("danger"));
    disconnect->setToolTip(QStringLiteral("断开连接"));
    connect(disconnect, &QPushButton::clicked, this, &ControlPanel::disconnectRoomRequested);
    row->addWidget(mic, 3);
    row->addWidget(speaker, 3);
    row->addWidget(gear, 1);
    row->addWidget(disconnect, 1);

    column->addStretch(1);
    column->addWidget(broadcast);
    column->addLayout(row);
    column->addStretch(1);

    QCoreApplication::instance()->installEventFilter(this);

    updateMicButton();
    updateSpeakerButton();
    updateBroadcastButton();
}

void ControlPanel::updateMicButton()
{
    if (forceMuted) {
        mic->setText(QStringLiteral("被禁言"));
        style::setStyleProperty(mic, "state", "danger");
    } else if (speaking) {
        mic->setText(QStringLiteral("说话中"));
        style::setStyleProperty(mic, "state", "primary");
    } else if (freeTalk) {
        mic->setText(QStringLiteral("自由发言"));
        style::setStyleProperty(mic, "state", nullptr);
    } else {
        mic->setText(QStringLiteral("按键发言"));
        style::setStyleProperty(mic, "state", "off");
    }
}

void ControlPanel::updateSpeakerButton()
{
    speaker->setText(speakerOn ? QStringLiteral("扬声器: 开") : QStringLiteral("扬声器: 关"));
    style::setStyleProperty(speaker, "state", speakerOn ? nullptr : "off");
}

void ControlPanel::updateBroadcastButton()
{
    const bool enabled = broadcastAllowed && broadcastAvailable;
    broadcast->setEnabled(enabled);
    if (broadcastAvailable) {
        broadcast->setText(broadcasting ? QStringLiteral("广播中...") : QStringLiteral("广播（按住）"));
        broadcast->setToolTip(QStringLiteral("按住说话给所有人听"));
    } else {
        broadcast->setText(QStringLiteral("广播禁用"));
        broadcast->setToolTip(QStringLiteral("父房间已关闭子房广播"));
    }
    style::setStyleProperty(broadcast, "state", !enabled ? nullptr : (broadcasting ? "primaryHold" : "primary"));
}

void ControlPanel::setMicState(bool newFreeTalk, bool newSpeaking, bool newForceMuted)
{
    freeTalk = newFreeTalk;
    speaking = newSpeaking;
    forceMuted = newForceMuted;
    updateMicButton();
}

void ControlPanel::setSpeakerOn(bool on)
{
    speakerOn = on;
    updateSpeakerButton();
}

void ControlPanel::setBroadcasting(bool on)
{
    if (on == broadcasting)
        return;
    if (on && (broadcast->isHidden() || !broadcast->isEnabled()))
        return;
    broadcasting = on;
    updateBroadcastButton();
    emit broadcastStateChanged(on);
}

void ControlPanel::endBroadcast()
{
    if (!broadcasting)
        return;
    broadcasting = false;
    updateBroadcastButton();
    emit broadcastStateChanged(false);
}

void ControlPanel::setBroadcastAvailable(bool available)
{
    if (available == broadcastAvailable)
        return;
    broadcastAvailable = available;
    updateBroadcastButton();
    if (!available)
        endBroadcast();
}

void ControlPanel::setBroadcastAllowed(bool allowed)
{
    if (allowed == broadcastAllowed)
        return;
    broadcastAllowed = allowed;
    updateBroadcastButton();
    if (!allowed)
        endBroadcast();
}

void ControlPanel::setBroadcastVisible(bool visible)
{
    if (broadcast->isHidden() == !visible)
        return;
    const int spacing = layout()->spacing();
    const int height = broadcast->sizeHint().height();
    broadcast->setVisible(visible);
    emit contentHeightDeltaRequested(visible ? spacing + height : -(spacing + height));
    if (!visible)
        endBroadcast();
}

bool ControlPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == broadcast) {
        if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton
            && !broadcasting) {
            if (broadcast->isVisible() && broadcast->isEnabled()) {
                broadcasting = true;
                updateBroadcastButton();
                emit broadcastStateChanged(true);
            }
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton
            && broadcasting) {
            endBroadcast();
            return true;
        }
    }
    if (event->type() == QEvent::ApplicationDeactivate && broadcasting)
        endBroadcast();
    return QWidget::eventFilter(watched, event);
}
