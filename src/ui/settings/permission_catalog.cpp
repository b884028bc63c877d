#include "ui/settings/permission_catalog.h"

#include <iterator>

namespace {

const PermissionDef kRoomAbility[] = {
    {"core.room.speak", "语音聊天"},
    {"core.room.send_message", "文字聊天"},
    {"core.room.invite_members", "邀人进房"},
    {"core.room.bypass_admission", "免审进房"},
};
const PermissionDef kRoomMembers[] = {
    {"core.room.kick_members", "踢出房间"},       {"core.room.ban_members", "禁止进入"},
    {"core.room.mute_voice_members", "强制闭麦"}, {"core.room.mute_text_members", "强制禁字"},
    {"core.room.hide_message", "隐藏消息"},
};
const PermissionDef kRoomTags[] = {
    {"core.room.create_tag", "创建新标签"},
    {"core.room.edit_own_tag", "编辑自己的标签"},
    {"core.room.retag_own_message", "修改自己消息的标签"},
    {"core.room.edit_other_tags", "编辑其他标签"},
    {"core.room.retag_other_messages", "修改他人消息的标签"},
    {"core.room.config_tag_system", "配置标签系统"},
};
const PermissionDef kRoomRoles[] = {
    {"core.room.assign_roles", "分配身份"},
    {"core.room.manage_roles", "管理身份权限"},
};
const PermissionDef kRoomBase[] = {
    {"core.room.change_name", "修改房名"},
    {"core.room.change_bitrate", "修改码率"},
    {"core.room.manage_room_code", "管理房间码"},
    {"core.room.manage_follow_code", "管理跟随码"},
};
const PermissionDef kRoomExtra[] = {
    {"core.room.change_access_mode", "修改准入模式"},
    {"core.room.toggle_require_approval", "修改准入审核"},
    {"core.room.toggle_code_direct_entry", "修改连接码直入"},
    {"core.room.manage_pref", "管理偏好组"},
    {"core.room.toggle_allow_subroom_attach", "修改接受子房挂载"},
    {"core.room.toggle_allow_subroom_broadcast", "修改允许子房广播"},
    {"core.room.toggle_allow_subroom_chat", "修改允许子房文字聊天"},
};
const PermissionDef kRoomModules[] = {
    {"core.room.manage_module", "挂载/卸载模块"},
};
const PermissionDef kRoomReview[] = {
    {"core.room.approve_requests", "审核进房申请"},
    {"core.room.approve_subroom_attach", "审核子房挂载申请"},
};
const PermissionDef kRoomChildren[] = {
    {"core.room.override_child_broadcast", "单独禁止子房间广播"},
    {"core.room.override_child_chat", "单独禁止子房间聊天"},
    {"core.room.manage_attach_to_parent_room", "挂载/脱离此房间至其他房间"},
};

const PermissionDef kChannelMembers[] = {
    {"core.channel.remove_members", "移出成员"},
    {"core.channel.ban_members", "封禁成员"},
};
const PermissionDef kChannelRoles[] = {
    {"core.channel.assign_roles", "分配身份"},
    {"core.channel.manage_roles", "管理身份"},
};
const PermissionDef kChannelManage[] = {
    {"core.channel.change_name", "修改频道名称"},
    {"core.channel.change_description", "修改频道简介"},
    {"core.channel.manage_code", "管理频道码"},
    {"core.channel.create_attached_room", "创建频道房间"},
    {"core.channel.delete_attached_room", "删除频道房间"},
    {"core.channel.reorder_rooms", "调整房间顺序"},
    {"core.channel.cascade_rooms", "管理频道全部房间"},
};

} // namespace

const PermissionGroup kRoomPermissionGroups[] = {
    {"能力", kRoomAbility, std::size(kRoomAbility)},
    {"成员管理", kRoomMembers, std::size(kRoomMembers)},
    {"标签", kRoomTags, std::size(kRoomTags)},
    {"身份管理", kRoomRoles, std::size(kRoomRoles)},
    {"房间基础设置", kRoomBase, std::size(kRoomBase)},
    {"房间额外设置", kRoomExtra, std::size(kRoomExtra)},
    {"模块管理", kRoomModules, std::size(kRoomModules)},
    {"审核管理", kRoomReview, std::size(kRoomReview)},
    {"子房间管理", kRoomChildren, std::size(kRoomChildren)},
};
const int kRoomPermissionGroupCount = int(std::size(kRoomPermissionGroups));

const PermissionDef kRoomOwnerOnlyPermissions[] = {
    {"core.room.transfer_ownership", "转让房主"},
    {"core.room.dissolve", "解散房间"},
    {"core.room.delete", "删除房间"},
};
const int kRoomOwnerOnlyPermissionCount = int(std::size(kRoomOwnerOnlyPermissions));
const char *const kRoomOwnerNote = " 为房主专属，不可分配给身份";

const PermissionGroup kChannelPermissionGroups[] = {
    {"成员管理", kChannelMembers, std::size(kChannelMembers)},
    {"身份管理", kChannelRoles, std::size(kChannelRoles)},
    {"频道管理", kChannelManage, std::size(kChannelManage)},
};
const int kChannelPermissionGroupCount = int(std::size(kChannelPermissionGroups));

const PermissionDef kChannelOwnerOnlyPermissions[] = {
    {"core.channel.transfer_ownership", "转让频道主"},
    {"core.channel.delete_channel", "解散频道"},
};
const int kChannelOwnerOnlyPermissionCount = int(std::size(kChannelOwnerOnlyPermissions));
const char *const kChannelOwnerNote = " 为频道主专属，不可分配给身份";
