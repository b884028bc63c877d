#include "ui/panels/participant_context_menu_builder.h"

#include "ui/panels/popup_menu.h"
#include "ui/widgets/volume_control.h"

#include <QAction>
#include <QHBoxLayout>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int kLevelIntervalMs = 50;

QWidget *makeVolumeRow(const ParticipantContextMenuBuilder::State &state,
                       const ParticipantContextMenuBuilder::Actions &actions)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 3, 14, 3);
    auto *control = new VolumeControl(bool(actions.level), row);
    control->setFixedWidth(150);
    control->setGainDb(state.gainDb);
    layout->addWidget(control);
    QObject::connect(control, &VolumeControl::gainDbChanged, control,
                     [gainChanged = actions.gainChanged](int db) { gainChanged(db); });
    if (actions.level) {
        control->setLevel(actions.level());
        auto *timer = new QTimer(row);
        timer->setInterval(kLevelIntervalMs);
        QObject::connect(timer, &QTimer::timeout, control,
                         [control, level = actions.level] { control->setLevel(level()); });
        timer->start();
    }
    return row;
}

} // namespace

void ParticipantContextMenuBuilder::exec(QWidget *parent, QPoint globalPos, const State &state, const Actions &actions)
{
    PopupMenu menu(parent);
    if (state.canVoiceMute) {
        if (state.voiceMuted) {
            if (actions.voiceUnmute)
                menu.addAction(QStringLiteral("语音解禁"), actions.voiceUnmute);
        } else if (actions.voiceMute) {
            menu.addAction(QStringLiteral("语音禁言"), actions.voiceMute);
        }
    }
    if (state.canTextMute) {
        if (state.textMuted) {
            if (actions.textUnmute)
                menu.addAction(QStringLiteral("文字解禁"), actions.textUnmute);
        } else if (actions.textMute) {
            menu.addAction(QStringLiteral("文字禁言"), actions.textMute);
        }
    }
    if (state.canKick && actions.kick)
        menu.addAction(QStringLiteral("踢出房间"), actions.kick);
    if (state.canBan && actions.ban)
        menu.addAction(QStringLiteral("封禁"), actions.ban);
    if (state.invitePlaceholder) {
        menu.addSeparator();
        menu.addAction(QStringLiteral("邀请"), [] {})->setEnabled(false);
    }
    menu.addSeparator();
    if (actions.gainChanged)
        menu.addWidget(makeVolumeRow(state, actions));
    menu.exec(globalPos);
}
